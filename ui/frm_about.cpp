#include "frm_about.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "line_control.h"
#include "messages.h"
#include "msg_box.h"
#include "sys_info.h"
#include "twips.h"

namespace brisakett {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  return button;
}

}  // namespace

QString frmAbout::HomePage() { return QStringLiteral(BRISAKETT_HOMEPAGE); }

frmAbout::frmAbout(const Services& services)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services) {
  setObjectName("frmAbout");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("About MyApp");
  setFixedSize(twips::Size(5730, 3555));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);

  picIcon = new QLabel(this);
  picIcon->setObjectName("picIcon");
  picIcon->setPixmap(QPixmap(":/about.bmp"));
  picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picIcon->setLineWidth(2);
  picIcon->setAlignment(Qt::AlignCenter);
  picIcon->setGeometry(twips::Rect(240, 240, 540, 540));

  lblTitle = MakeLabel(this, "lblTitle", "Brisakett", twips::Rect(1050, 240, 3885, 480));
  lblVersion = MakeLabel(this, "lblVersion", "Version", twips::Rect(1050, 780, 3885, 225));
  lblDescription = MakeLabel(
      this, "lblDescription",
      "Sends WarmUp commando to an Tamra PCL compatible printer to get the printer "
      "Online without a printed page.",
      twips::Rect(1050, 1125, 3885, 1170));

  // Two lines, grey over white, drawn as one etched separator.
  auto* etchGrey = new LineControl(this, twips::Point(90, 2445), twips::Point(5654, 2445),
                                   QColor(128, 128, 128));
  etchGrey->setObjectName("Line1");
  etchGrey->setProperty("index", 1);
  auto* etchWhite = new LineControl(this, twips::Point(105, 2460), twips::Point(5654, 2460),
                                    Qt::white, 2);
  etchWhite->setObjectName("Line1");
  etchWhite->setProperty("index", 0);

  cmdOK = MakeButton(this, "cmdOK", "OK", twips::Rect(4245, 2625, 1260, 345));
  // A button caption takes '&' as the mark of an access key; the address
  // is shown as it is opened, every '&' in it included.
  Command1 = MakeButton(this, "Command1", QString(HomePage()).replace('&', "&&"),
                        twips::Rect(960, 2880, 2775, 495));
  // The caption stays its name; a screen reader also says where it leads.
  Command1->setAccessibleDescription("Opens " + HomePage() + " in the web browser");
  cmdSysInfo = MakeButton(this, "cmdSysInfo", "&System Info...",
                          twips::Rect(4260, 3075, 1245, 345));

  cmdOK->setDefault(true);
  setTabOrder(cmdOK, cmdSysInfo);
  setTabOrder(cmdSysInfo, Command1);
  cmdOK->setFocus();

  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::cmdOK_Click() { close(); }

void frmAbout::reject() { cmdOK_Click(); }

void frmAbout::Command1_Click() {
  const QUrl address(HomePage());
  if (!QDesktopServices::openUrl(address)) {
    services_.msgBox.Show(this, "The web page " + address.toString() +
                                    " could not be opened: no web browser answered.");
  }
}

void frmAbout::cmdSysInfo_Click() {
  if (!StartSysInfo(services_.registry, services_.processes)) {
    services_.msgBox.Show(this, QString::fromUtf8(messages::kSysInfoUnavailable));
  }
}

// Closing always unloads; QDialog's own handling would route it through
// reject(), which here is the "OK" button itself.
void frmAbout::closeEvent(QCloseEvent* event) {
  event->accept();
  emit unloaded();
}

}  // namespace brisakett
