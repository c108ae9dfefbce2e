// The main window against a real CUPS scheduler of the test's own, whose
// queues print to capture printers on loopback ports: what the user sees,
// and what reached the printer.
//
// The Windows build runs the same cases under Wine, whose spooler prints
// through the scheduler that CUPS_SERVER names. There this program cannot
// start or steer that scheduler: wine_printing_tests starts it with the
// same queues, Laser refusing jobs throughout, runs this program, and then
// checks the printers itself.

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include "form1_program.h"
#include "frm_about.h"
#include "messages.h"
#ifndef _WIN32
#include "capture_server.h"
#include "printing_setup.h"
#include "private_cupsd.h"
#include "warmup_stream.h"
#endif

using namespace brisakett;
using namespace std::chrono_literals;
using brisakett::testing::Form1Program;
#ifndef _WIN32
using brisakett::testing::PrivateCupsd;
using brisakett::tools::CaptureServer;
#endif

class Form1CupsTest : public QObject {
  Q_OBJECT

#ifndef _WIN32
  std::unique_ptr<testing::PrintingSetup> setup_;
  PrivateCupsd* cupsd_ = nullptr;
#endif

  // Presses "OK" with `text` in the box; returns what the user was told.
  static QString pressOk(Form1Program& program, const QString& text) {
    const QStringList told = program.PressOk(text).told;
    return told.isEmpty() ? QString() : told.last();
  }

private slots:
#ifndef _WIN32
  void initTestCase() {
    setup_ = testing::StartPrinting({"Laser", "Tinte", "Zentrale"}, "Tinte");
    QREQUIRE_SCHEDULER(*setup_);
    cupsd_ = setup_->cupsd.get();
  }

  void cleanupTestCase() { setup_.reset(); }
#endif

  void okWakesTheChosenPrinterThroughTheSpooler() {
    Form1Program program;
    QCOMPARE(program.List(), QStringList({"Laser", "Tinte", "Zentrale"}));
    QCOMPARE(program.Combo1()->currentText(), QString("Tinte"));

    QCOMPARE(pressOk(program, "Zentrale"), QString::fromUtf8("Kommando ausgeführt"));
    QVERIFY(program.form.AboutWindow() && program.form.AboutWindow()->isVisible());
    QCOMPARE(program.printer.DeviceName(), std::string("Tinte"));

#ifndef _WIN32
    CaptureServer& zentrale = setup_->Printer("Zentrale");
    QVERIFY(zentrale.WaitForJobs(1, 20s));
    QCOMPARE(zentrale.Jobs(), std::vector<std::string>{std::string(kWarmUpStream)});
    QVERIFY(cupsd_->WaitForCompletedJobs(1, 20s));
    const auto jobs = cupsd_->Jobs();
    QCOMPARE(jobs.size(), std::size_t(1));
    QCOMPARE(jobs[0].queue, std::string("Zentrale"));
    QCOMPARE(jobs[0].title, std::string("Command Print"));
    QCOMPARE(jobs[0].pages, 1);
    QVERIFY(setup_->Printer("Laser").Jobs().empty());
    QVERIFY(setup_->Printer("Tinte").Jobs().empty());
#endif
  }

  void refusedJobIsReportedWithTheSchedulersReason() {
#ifndef _WIN32
    QVERIFY(cupsd_->Reject("Laser"));
    const std::size_t before = cupsd_->Jobs().size();
#endif
    Form1Program program;
    const QString told = pressOk(program, "Laser");
#ifndef _WIN32
    QVERIFY(cupsd_->Accept("Laser"));
    QCOMPARE(cupsd_->Jobs().size(), before);
#endif

    QVERIFY2(told.startsWith(QString::fromUtf8("Kommando fehlgeschlagen\n")), qPrintable(told));
    QVERIFY2(told.size() > int(strlen("Kommando fehlgeschlagen\n")), "the reason is missing");
    QVERIFY(program.form.AboutWindow() == nullptr);
    QCOMPARE(program.printer.DeviceName(), std::string("Tinte"));
  }

  void unknownNamesSendNothing() {
    Form1Program program;
#ifndef _WIN32
    const std::size_t before = cupsd_->Jobs().size();
#endif
    for (const QString& text : {QString("Combo1"), QString("laser"), QString("Tinte/x"),
                                QString::fromUtf8("Drucker im Büro"), QString("a#b?c")}) {
      QCOMPARE(pressOk(program, text), QString(messages::kPrinterNotRecognized));
    }
    QVERIFY(program.form.AboutWindow() == nullptr);
#ifndef _WIN32
    QCOMPARE(cupsd_->Jobs().size(), before);
#endif
  }

  // Under Wine the scheduler is not this program's to stop.
#ifndef _WIN32
  // Last: it stops the scheduler.
  void schedulerGoneIsReportedNotClaimed() {
    {
      Form1Program program;  // started while the scheduler ran
      cupsd_->Stop();
      QElapsedTimer answered;
      answered.start();
      const QString told = pressOk(program, "Laser");
      QVERIFY2(answered.elapsed() < 5000, "the window hung on the dead scheduler");
      QVERIFY2(told != QString::fromUtf8(messages::kCommandExecuted), qPrintable(told));
      QVERIFY(program.form.AboutWindow() == nullptr);
    }
    Form1Program program;  // started without a scheduler
    QVERIFY(program.List().isEmpty());
    QCOMPARE(program.Combo1()->currentText(), QString("Combo1"));
    QCOMPARE(pressOk(program, "Combo1"), QString::fromUtf8(messages::kCommandFailed) +
                                             "\nThe print server localhost cannot be reached.");
  }
#endif
};

QTEST_MAIN(Form1CupsTest)
#include "form1_cups_test.moc"
