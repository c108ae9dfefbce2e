// The windows, driven offscreen with an in-memory printer list and spooler;
// the same windows against the real scheduler are in form1_cups_test.cpp.

#include <QAccessible>
#include <QComboBox>
#include <QTimer>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "current_printer.h"
#include "fake_printing.h"
#include "form1.h"
#include "frm_about.h"
#include "messages.h"
#include "recording_msg_box.h"
#include "system_sys_info.h"
#ifdef _WIN32
#include "win32_test_files.h"
#else
#include "temp_folder.h"
#endif
#include "warmup_stream.h"

using namespace brisakett;
using brisakett::testing::FakeCatalog;
using brisakett::testing::FakeSpooler;
using brisakett::testing::RecordingMsgBox;

// Catches what the link button hands to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT
public:
  QList<QUrl> urls;
public slots:
  void open(const QUrl& url) { urls << url; }
};

class Form1Test : public QObject {
  Q_OBJECT

  struct Rig {
    FakeCatalog catalog;
    FakeSpooler spooler;
    CurrentPrinter printer{std::nullopt};
    std::unique_ptr<Registry> registry = MakeSystemRegistry();
    std::unique_ptr<ProcessStarter> processes = MakeSystemProcessStarter();
    RecordingMsgBox msgBox;
    std::unique_ptr<Form1> form;

    Rig(std::vector<std::string> names, std::optional<std::string> defaultName) {
      catalog.names = std::move(names);
      catalog.defaultName = std::move(defaultName);
      spooler.openable = catalog.names;
      printer = CurrentPrinter::FromDefault(catalog);
      form = std::make_unique<Form1>(
          Services{catalog, spooler, printer, *registry, *processes, msgBox, nullptr});
      form->show();
    }
    template <typename T>
    T* find(const char* name) const { return form->findChild<T*>(name); }
    QComboBox* combo() const { return find<QComboBox>("Combo1"); }
    void pressOk() const { QTest::mouseClick(find<QPushButton>("Command1"), Qt::LeftButton); }
  };

private slots:
  void mainWindowMatchesItsLayout() {
    Rig rig({"Laser"}, "Laser");
    QCOMPARE(rig.form->windowTitle(), QString("Brisakett"));
    QCOMPARE(rig.form->centralWidget()->size(), QSize(433, 218));
    QCOMPARE(rig.form->centralWidget()->palette().color(QPalette::Window),
             rig.form->palette().color(QPalette::Base));
    QVERIFY(!rig.form->windowIcon().isNull());

    const QList<std::pair<const char*, QRect>> geometry = {
        {"Image1", QRect(4, 8, 426, 78)},     {"Label1", QRect(32, 96, 369, 17)},
        {"Label2", QRect(8, 128, 129, 17)},   {"Combo1", QRect(72, 152, 289, 24)},
        {"Command1", QRect(160, 184, 97, 25)}, {"Line1", QRect(8, 88, 417, 1)},
        {"Line2", QRect(8, 120, 417, 1)}};
    for (const auto& [name, rect] : geometry) {
      const QWidget* widget = rig.find<QWidget>(name);
      QVERIFY2(widget, name);
      QCOMPARE(widget->geometry(), rect);
    }
    QCOMPARE(rig.find<QLabel>("Image1")->pixmap().size(), QSize(426, 78));

    const QLabel* label1 = rig.find<QLabel>("Label1");
    QCOMPARE(label1->text(), QString::fromUtf8("Brisakett für PCL kompatible Tamra-Drucker"));
    QVERIFY(label1->font().bold());
    QCOMPARE(label1->palette().color(QPalette::WindowText), QColor(Qt::red));
    QLabel* label2 = rig.find<QLabel>("Label2");
    QCOMPARE(label2->text(), QString::fromUtf8("Drucker auswählen:"));
    QVERIFY(label2->font().italic());
    QCOMPARE(label2->font().family(), QString("MS Sans Serif"));
    QCOMPARE(label2->font().pointSizeF(), 9.75);
    // Where the font has no italic face the label slants the text itself.
    const QImage drawn = label2->grab().toImage();
    int inked = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) inked += qGray(drawn.pixel(x, y)) < 128;
    QVERIFY2(inked > 50, qPrintable(QString("%1 dark pixels").arg(inked)));

    QCOMPARE(rig.find<QPushButton>("Command1")->text(), QString("OK"));
    QVERIFY(!rig.find<QPushButton>("Command1")->isDefault());
    QVERIFY(rig.combo()->isEditable());
    QCOMPARE(rig.combo()->insertPolicy(), QComboBox::NoInsert);

    QStringList menus;
    for (const QAction* menu : rig.form->menuBar()->actions()) {
      menus << menu->text();
      for (const QAction* item : menu->menu()->actions()) menus << item->objectName();
    }
    QCOMPARE(menus, QStringList({"File", "Exit", "Help", "About"}));

    // What a screen reader gets: the box labelled by Label2, the banner
    // named, with what a click does.
    const QList<std::pair<QAccessibleInterface*, QAccessible::Relation>> labels =
        QAccessible::queryAccessibleInterface(rig.combo())->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->text(QAccessible::Name), QString::fromUtf8("Drucker auswählen:"));
    QAccessibleInterface* banner = QAccessible::queryAccessibleInterface(rig.find<QWidget>("Image1"));
    QCOMPARE(banner->text(QAccessible::Name), QString("Brisakett"));
    QVERIFY(banner->text(QAccessible::Description).contains("About"));

    QVERIFY(QTest::qWaitForWindowActive(rig.form.get()));
    QCOMPARE(QApplication::focusWidget(), rig.combo());
    QTest::keyClick(rig.combo(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), rig.find<QWidget>("Command1"));
  }

  void printerListPreselectsTheCurrentPrinter() {
    {
      Rig rig({"Laser", "Büro", "Büro", "Tinte"}, "Büro");
      QCOMPARE(rig.combo()->count(), 4);
      QCOMPARE(rig.combo()->itemText(3), QString("Tinte"));
      QCOMPARE(rig.combo()->currentIndex(), 1);  // the first of two equal names
      QCOMPARE(rig.combo()->currentText(), QString::fromUtf8("Büro"));
    }
    for (const std::optional<std::string>& other : {std::optional<std::string>("laser"),
                                                    std::optional<std::string>()}) {
      Rig rig({"Laser", "Tinte"}, other);  // default not listed, or no default
      QCOMPARE(rig.combo()->count(), 2);
      QCOMPARE(rig.combo()->currentIndex(), -1);
      QCOMPARE(rig.combo()->currentText(), QString("Combo1"));
    }
    {
      Rig rig({}, std::nullopt);
      QCOMPARE(rig.combo()->count(), 0);
      QCOMPARE(rig.combo()->currentText(), QString("Combo1"));
    }
  }

  void okSendsThenShowsAboutThenTheMessage() {
    Rig rig({"Saved", "Laser"}, "Saved");
    bool aboutShownBeforeMessage = false;
    rig.msgBox.whileShown = [&](const QString&) {
      aboutShownBeforeMessage = rig.form->AboutWindow() && rig.form->AboutWindow()->isVisible();
    };
    rig.combo()->setCurrentIndex(1);
    rig.pressOk();
    QCOMPARE(rig.msgBox.texts, QStringList{QString::fromUtf8("Kommando ausgeführt")});
    QVERIFY(aboutShownBeforeMessage);
    QCOMPARE(rig.spooler.writes, std::vector<std::string>{std::string(kWarmUpStream)});
    QCOMPARE(rig.printer.DeviceName(), std::string("Saved"));
    QVERIFY(rig.form->AboutWindow()->parentWidget() == nullptr);
  }

  void okWithoutSuccessShowsNoAboutWindow() {
    Rig rig({"Laser"}, std::nullopt);
    // Still reading "Combo1", then typed names that are not installed.
    for (const QString& text : {QString("Combo1"), QString("laser"), QString(""),
                                QString(10000, QChar('x')), QString("a\tb\x01/#?")}) {
      rig.combo()->setEditText(text);
      rig.pressOk();
      QCOMPARE(rig.msgBox.texts.takeLast(), QString(messages::kPrinterNotRecognized));
    }
    QVERIFY(rig.spooler.calls.empty());

    rig.spooler.failAt = "EndDoc";
    rig.combo()->setEditText("Laser");
    rig.pressOk();
    QCOMPARE(rig.msgBox.texts.takeLast(),
             QString::fromUtf8("Kommando fehlgeschlagen\nEndDoc refused by the spooler"));
    QVERIFY(rig.form->AboutWindow() == nullptr);
  }

  void aboutWindowIsOneInstanceWhereverItIsOpened() {
    Rig rig({"Laser"}, "Laser");
    rig.form->About_Click();
    QPointer<frmAbout> about = rig.form->AboutWindow();
    QVERIFY(about && about->isVisible());
    QTest::mouseClick(rig.find<QWidget>("Image1"), Qt::LeftButton);
    rig.pressOk();
    QCOMPARE(rig.form->AboutWindow(), about.data());
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(),
                           [](QWidget* w) { return qobject_cast<frmAbout*>(w) != nullptr; }),
             1);

    // "OK", Enter and Esc each unload it; the next request makes a new one.
    for (int key : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {
      about = rig.form->AboutWindow();
      QVERIFY(about);
      if (key == 0) {
        QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
      } else {
        QVERIFY(QTest::qWaitForWindowActive(about));
        QTest::keyClick(about, Qt::Key(key));
      }
      QVERIFY2(rig.form->AboutWindow() == nullptr, QByteArray::number(key));
      QTRY_VERIFY(about.isNull());
      rig.form->About_Click();
      QVERIFY(rig.form->AboutWindow() && rig.form->AboutWindow() != about);
      QCOMPARE(rig.form->AboutWindow()->findChild<QLabel*>("lblTitle")->text(),
               QString("Brisakett"));
    }
  }

  void aboutWindowMatchesItsLayoutAndOpensTheLink() {
    Rig rig({}, std::nullopt);
    rig.form->About_Click();
    frmAbout* about = rig.form->AboutWindow();
    QCOMPARE(about->windowTitle(), QString("About MyApp"));
    QCOMPARE(about->size(), QSize(382, 237));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QVERIFY(!(about->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(about->palette().color(QPalette::Window), QColor(Qt::white));

    const QList<std::tuple<const char*, QRect, QString>> controls = {
        {"picIcon", QRect(16, 16, 36, 36), QString()},
        {"lblTitle", QRect(70, 16, 259, 32), "Brisakett"},
        {"lblVersion", QRect(70, 52, 259, 15), "Version"},
        {"lblDescription", QRect(70, 75, 259, 78),
         "Sends WarmUp commando to an Tamra PCL compatible printer to get the printer "
         "Online without a printed page."},
        {"cmdOK", QRect(283, 175, 84, 23), "OK"},
        {"Command1", QRect(64, 192, 185, 33), frmAbout::HomePage()},
        {"cmdSysInfo", QRect(284, 205, 83, 23), "&System Info..."}};
    for (const auto& [name, rect, text] : controls) {
      const QWidget* widget = about->findChild<QWidget*>(name);
      QVERIFY2(widget, name);
      QCOMPARE(widget->geometry(), rect);
      if (auto* label = qobject_cast<const QLabel*>(widget); label && !text.isEmpty())
        QCOMPARE(label->text(), text);
      if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        QCOMPARE(button->text(), text);
    }
    QCOMPARE(about->findChild<QLabel*>("picIcon")->pixmap().size(), QSize(32, 32));
    QVERIFY(about->findChild<QPushButton*>("cmdOK")->isDefault());
    // A screen reader says the address and that it opens in the browser.
    QAccessibleInterface* linkForReader =
        QAccessible::queryAccessibleInterface(about->findChild<QPushButton*>("Command1"));
    QCOMPARE(linkForReader->text(QAccessible::Name), frmAbout::HomePage());
    QVERIFY(linkForReader->text(QAccessible::Description)
                .contains(frmAbout::HomePage() + " in the web browser"));

    UrlCatcher catcher;
    const QString scheme = QUrl(frmAbout::HomePage()).scheme();
    QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    auto* link = about->findChild<QPushButton*>("Command1");
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(scheme);
    QCOMPARE(catcher.urls, QList<QUrl>({QUrl(frmAbout::HomePage()), QUrl(frmAbout::HomePage())}));
    QVERIFY(rig.msgBox.texts.isEmpty());
  }

#ifdef _WIN32
  // The real registry and process start: the button starts the program
  // that HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO names.
  void systemInfoButtonStartsTheToolTheRegistryNames() {
    testing::TempFolder folder;
    const std::filesystem::path tool = folder.path() / L"tool dir" / L"msinfo32.exe";
    testing::PlaceStandIn(tool);
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    const std::wstring path = tool.wstring();
    QCOMPARE(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, L"PATH", REG_SZ, path.c_str(),
                             DWORD((path.size() + 1) * sizeof(wchar_t))),
             LONG(ERROR_SUCCESS));
    Rig rig({}, std::nullopt);
    rig.form->About_Click();
    QTest::mouseClick(rig.form->AboutWindow()->findChild<QPushButton*>("cmdSysInfo"),
                      Qt::LeftButton);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, L"PATH");
    QCOMPARE(testing::StandInLog(tool), std::string("0\n"));  // ran once, no arguments
    QVERIFY(rig.msgBox.texts.isEmpty());
  }
#else
  void systemInfoButtonStartsTheToolFoundOnPath() {
    testing::TempFolder folder;
    const std::filesystem::path tool = folder.path() / "tool dir" / "kinfocenter";
    testing::WriteRecorder(tool);
    const auto pressSystemInfo = [](Rig& rig) {
      rig.form->About_Click();
      QTest::mouseClick(rig.form->AboutWindow()->findChild<QPushButton*>("cmdSysInfo"),
                        Qt::LeftButton);
    };

    // The registry looks along PATH as it is when it is made; the started
    // tool then runs with the ordinary one.
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(tool.parent_path().string()));
    {
      Rig rig({}, std::nullopt);
      qputenv("PATH", savedPath);
      pressSystemInfo(rig);
      QCOMPARE(testing::RecorderLog(tool), std::string("0\n"));  // ran once, no arguments
      QVERIFY(rig.msgBox.texts.isEmpty());
    }
    std::filesystem::remove(tool.parent_path() / "ran");
    qputenv("PATH", QByteArray::fromStdString((folder.path() / "empty").string()));
    {
      Rig rig({}, std::nullopt);
      qputenv("PATH", savedPath);
      pressSystemInfo(rig);
      QCOMPARE(rig.msgBox.texts, QStringList{"System Information Is Unavailable At This Time"});
    }
    QCOMPARE(testing::RecorderLog(tool, std::chrono::milliseconds(200)), std::string());
  }
#endif

  void aboutWindowOutlivesTheMainWindow() {
    Rig rig({}, std::nullopt);
    rig.form->About_Click();
    rig.form->close();
    // Qt ends the program when the last window that quits on close closes:
    // an ownerless About window that does so keeps the program running.
    frmAbout* about = rig.form->AboutWindow();
    QVERIFY(about && about->isVisible());
    QVERIFY(about->parentWidget() == nullptr);
    QVERIFY(about->testAttribute(Qt::WA_QuitOnClose));
  }

  // Last: ending the program ends the test's event loops too.
  void exitEndsTheProgram() {
    Rig rig({}, std::nullopt);
    rig.form->About_Click();
    QTimer::singleShot(0, rig.form.get(), [&] {
      rig.form->findChild<QAction*>("Exit")->trigger();
    });
    QEventLoop loop;
    QCOMPARE(loop.exec(), 0);
  }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
