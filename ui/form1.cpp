#include "form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>

#include "clickable_image.h"
#include "current_printer.h"
#include "frm_about.h"
#include "line_control.h"
#include "messages.h"
#include "msg_box.h"
#include "run_passwords.h"
#include "slanted_label.h"
#include "twips.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

QFont WindowFont() {
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(9.75);
  return font;
}

void CentreOnScreen(QWidget& window) {
  if (const QScreen* screen = window.screen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

}  // namespace

Form1::Form1(const Services& services) : services_(services) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(messages::kAppTitle));
  setWindowIcon(QIcon(QPixmap(":/icon.bmp")));

  auto* client = new QWidget(this);
  client->setObjectName("client");
  client->setFont(WindowFont());
  client->setAutoFillBackground(true);
  QPalette background = client->palette();
  background.setColor(QPalette::Window, background.color(QPalette::Base));
  client->setPalette(background);
  setCentralWidget(client);

  Image1 = new ClickableImage(client);
  Image1->setObjectName("Image1");
  Image1->setPixmap(QPixmap(":/banner.bmp"));
  Image1->setGeometry(twips::Rect(60, 120, 6390, 1170));
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // A screen reader knows the banner only by these; clicking it is the
  // Help menu's "About".
  Image1->setAccessibleName("Brisakett");
  Image1->setAccessibleDescription("Opens the About window");

  Line1 = new LineControl(client, twips::Point(120, 1320), twips::Point(6360, 1320),
                          palette().color(QPalette::WindowText));
  Line1->setObjectName("Line1");

  Label1 = new QLabel(QString::fromUtf8("Brisakett für PCL kompatible Tamra-Drucker"), client);
  Label1->setObjectName("Label1");
  Label1->setGeometry(twips::Rect(480, 1440, 5535, 255));
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  QPalette red = Label1->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  Label1->setPalette(red);

  Line2 = new LineControl(client, twips::Point(120, 1800), twips::Point(6360, 1800),
                          palette().color(QPalette::WindowText));
  Line2->setObjectName("Line2");

  Label2 = new SlantedLabel(QString::fromUtf8("Drucker auswählen:"), client);
  Label2->setObjectName("Label2");
  Label2->setGeometry(twips::Rect(120, 1920, 1935, 255));

  Combo1 = new QComboBox(client);
  Combo1->setObjectName("Combo1");
  Combo1->setEditable(true);
  // Typed text is a printer name to look up, never a new list line, and is
  // not completed to a listed name that differs from what was typed.
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  Combo1->setCompleter(nullptr);
  // A plain list of names: with thousands of queues the combo box's own
  // item model costs more than the answer that brought them.
  Combo1->setModel(new QStringListModel(Combo1));
  Combo1->setGeometry(twips::Rect(1080, 2280, 4335, 360));
  Combo1->setEditText("Combo1");
  // The label names the box for screen readers (Qt's labelled-by relation;
  // on Windows also its name). Its text has no '&', so no key comes with it.
  Label2->setBuddy(Combo1);

  Command1 = new QPushButton("OK", client);
  Command1->setObjectName("Command1");
  Command1->setGeometry(twips::Rect(2400, 2760, 1455, 375));
  Command1->setAutoDefault(false);
  Command1->setDefault(false);

  setTabOrder(Combo1, Command1);

  File = menuBar()->addMenu("File");
  File->setObjectName("File");
  Exit = File->addAction("Exit");
  Exit->setObjectName("Exit");
  Help = menuBar()->addMenu("Help");
  Help->setObjectName("Help");
  About = Help->addAction("About");
  About->setObjectName("About");

  connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(Exit, &QAction::triggered, this, &Form1::Exit_Click);
  connect(About, &QAction::triggered, this, &Form1::About_Click);
  connect(Image1, &ClickableImage::clicked, this, &Form1::Image1_Click);

  // The layout is the client area's; the menu bar comes on top of it.
  const QSize clientSize = twips::Size(6495, 3270);
  resize(clientSize.width(), clientSize.height() + menuBar()->sizeHint().height());
  CentreOnScreen(*this);
  Combo1->setFocus();

  Form_Load();
}

Form1::~Form1() { delete aboutWindow_; }

// The menu bar's height is the platform's, known for sure only once the
// window is shown (a pixel more under Windows than its size hint said):
// the client area is made its intended size then, once.
void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (clientSized_) return;
  clientSized_ = true;
  const QSize clientSize = twips::Size(6495, 3270);
  const int missing = clientSize.height() - centralWidget()->height();
  if (missing != 0) resize(width(), height() + missing);
}

frmAbout* Form1::AboutWindow() const { return aboutWindow_; }

void Form1::Form_Load() { GetPrinters(); }

void Form1::GetPrinters() {
  const QString textBefore = Combo1->currentText();
  // An unreachable print server leaves the list empty; the press then says
  // why.
  Deadline deadline(kServerPatience);
  QStringList names;
  for (const std::string& name : services_.printers.DeviceNames(deadline).value) {
    names.append(QString::fromStdString(name));
  }
  auto* list = static_cast<QStringListModel*>(Combo1->model());
  list->setStringList(list->stringList() + names);

  if (services_.printer.HasPrinter()) {
    const int current =
        list->stringList().indexOf(QString::fromStdString(services_.printer.DeviceName()));
    if (current >= 0) {
      Combo1->setCurrentIndex(current);
      return;
    }
  }
  // Filling an empty list may select its first line; without a match the
  // box keeps showing what it showed before.
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(textBefore);
}

void Form1::Command1_Click() {
  const WarmUpOutcome outcome =
      RunWarmUp(services_.printers, services_.printer, services_.spooler,
                Combo1->currentText().toStdString());
  if (services_.passwords) services_.passwords->Forget();
  if (outcome.status == WarmUpOutcome::Status::Sent) ShowAboutWindow();
  services_.msgBox.Show(this, QString::fromStdString(outcome.message));
}

void Form1::Exit_Click() { QApplication::exit(0); }

void Form1::About_Click() { ShowAboutWindow(); }

void Form1::Image1_Click() { ShowAboutWindow(); }

void Form1::ShowAboutWindow() {
  if (!aboutWindow_) {
    aboutWindow_ = new frmAbout(services_);
    connect(aboutWindow_, &frmAbout::unloaded, this, [this] { aboutWindow_ = nullptr; });
    aboutWindow_->show();
    CentreOnScreen(*aboutWindow_);
    return;
  }
  aboutWindow_->show();
  aboutWindow_->raise();
  aboutWindow_->activateWindow();
}

}  // namespace brisakett
