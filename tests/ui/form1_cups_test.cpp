// The main window against a real CUPS scheduler of the test's own, whose
// queues print to capture printers on loopback ports: what the user sees,
// and what reached the printer.

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include "capture_server.h"
#include "current_printer.h"
#include "form1.h"
#include "frm_about.h"
#include "messages.h"
#include "private_cupsd.h"
#include "recording_msg_box.h"
#include "system_printing.h"
#include "system_sys_info.h"
#include "warmup_stream.h"

using namespace brisakett;
using namespace std::chrono_literals;
using brisakett::testing::PrivateCupsd;
using brisakett::testing::RecordingMsgBox;
using brisakett::tools::CaptureServer;

class Form1CupsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<PrivateCupsd> cupsd_;
  std::map<QString, std::unique_ptr<CaptureServer>> printers_;

  // The program as main() puts it together, on the private scheduler.
  struct Program {
    std::unique_ptr<PrinterCatalog> catalog = MakeSystemPrinterCatalog();
    std::unique_ptr<Spooler> spooler = MakeSystemSpooler();
    std::unique_ptr<Registry> registry = MakeSystemRegistry();
    std::unique_ptr<ProcessStarter> processes = MakeSystemProcessStarter();
    CurrentPrinter printer = CurrentPrinter::FromDefault(*catalog);
    RecordingMsgBox msgBox;
    Form1 form{Services{*catalog, *spooler, printer, *registry, *processes, msgBox}};

    QComboBox* combo() { return form.findChild<QComboBox*>("Combo1"); }
    QStringList list() {
      QStringList items;
      for (int i = 0; i < combo()->count(); ++i) items << combo()->itemText(i);
      return items;
    }
    // Presses "OK" with `text` in the box; returns what the user was told.
    QString pressOk(const QString& text) {
      combo()->setEditText(text);
      QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
      return msgBox.texts.isEmpty() ? QString() : msgBox.texts.takeLast();
    }
  };

  bool addQueue(const QString& name) {
    auto printer = std::make_unique<CaptureServer>();
    std::string why;
    if (!cupsd_->AddQueue(name.toStdString(), printer->Port(), &why)) {
      qWarning("%s", why.c_str());
      return false;
    }
    printers_[name] = std::move(printer);
    return true;
  }

  std::size_t jobsIn(const char* queue) const {
    std::size_t count = 0;
    for (const auto& job : cupsd_->Jobs()) count += job.queue == queue;
    return count;
  }

private slots:
  void initTestCase() {
    std::string why;
    cupsd_ = PrivateCupsd::Start(&why);
    if (!cupsd_) {
      if (testing::CupsdRequired()) QFAIL(("cupsd did not start: " + why).c_str());
      QSKIP(("cupsd did not start: " + why).c_str());
    }
    for (const char* name : {"Laser", "Tinte", "Zentrale"}) QVERIFY(addQueue(name));
    QVERIFY(cupsd_->SetDefault("Tinte"));
  }

  void cleanupTestCase() {
    cupsd_.reset();
    printers_.clear();
  }

  void okWakesTheChosenPrinterThroughTheSpooler() {
    Program program;
    QCOMPARE(program.list(), QStringList({"Laser", "Tinte", "Zentrale"}));
    QCOMPARE(program.combo()->currentText(), QString("Tinte"));

    QCOMPARE(program.pressOk("Zentrale"), QString::fromUtf8("Kommando ausgeführt"));
    QVERIFY(program.form.AboutWindow() && program.form.AboutWindow()->isVisible());
    QCOMPARE(program.printer.DeviceName(), std::string("Tinte"));

    CaptureServer& zentrale = *printers_.at("Zentrale");
    QVERIFY(zentrale.WaitForJobs(1, 20s));
    QCOMPARE(zentrale.Jobs(), std::vector<std::string>{std::string(kWarmUpStream)});
    QVERIFY(cupsd_->WaitForCompletedJobs(1, 20s));
    const auto jobs = cupsd_->Jobs();
    QCOMPARE(jobs.size(), std::size_t(1));
    QCOMPARE(jobs[0].queue, std::string("Zentrale"));
    QCOMPARE(jobs[0].title, std::string("Command Print"));
    QCOMPARE(jobs[0].pages, 1);
    QVERIFY(printers_.at("Laser")->Jobs().empty());
    QVERIFY(printers_.at("Tinte")->Jobs().empty());
  }

  void refusedJobIsReportedWithTheSchedulersReason() {
    QVERIFY(cupsd_->Reject("Laser"));
    Program program;
    const std::size_t before = cupsd_->Jobs().size();
    const QString told = program.pressOk("Laser");
    QVERIFY(cupsd_->Accept("Laser"));

    QVERIFY2(told.startsWith(QString::fromUtf8("Kommando fehlgeschlagen\n")), qPrintable(told));
    QVERIFY2(told.size() > int(strlen("Kommando fehlgeschlagen\n")), "the reason is missing");
    QVERIFY(program.form.AboutWindow() == nullptr);
    QCOMPARE(cupsd_->Jobs().size(), before);
    QCOMPARE(program.printer.DeviceName(), std::string("Tinte"));
  }

  void unknownNamesSendNothing() {
    Program program;
    const std::size_t before = cupsd_->Jobs().size();
    for (const QString& text : {QString("Combo1"), QString("laser"), QString("Tinte/x"),
                                QString::fromUtf8("Drucker im Büro"), QString("a#b?c")}) {
      QCOMPARE(program.pressOk(text), QString(messages::kPrinterNotRecognized));
    }
    QVERIFY(program.form.AboutWindow() == nullptr);
    QCOMPARE(cupsd_->Jobs().size(), before);
  }

  // Last: it stops the scheduler.
  void schedulerGoneIsReportedNotClaimed() {
    {
      Program program;  // started while the scheduler ran
      cupsd_->Stop();
      QElapsedTimer answered;
      answered.start();
      const QString told = program.pressOk("Laser");
      QVERIFY2(answered.elapsed() < 5000, "the window hung on the dead scheduler");
      QVERIFY2(told != QString::fromUtf8(messages::kCommandExecuted), qPrintable(told));
      QVERIFY(program.form.AboutWindow() == nullptr);
    }
    Program program;  // started without a scheduler
    QVERIFY(program.list().isEmpty());
    QCOMPARE(program.combo()->currentText(), QString("Combo1"));
    QCOMPARE(program.pressOk("Combo1"), QString(messages::kPrinterNotRecognized));
  }
};

QTEST_MAIN(Form1CupsTest)
#include "form1_cups_test.moc"
