// Text typed into Combo1 that names no printer, however odd: each press
// tells the user the name was not recognized, and nothing is sent.
//
// The Windows build runs the same cases under Wine; there
// wine_printing_tests owns the scheduler (Laser, Tinte the default) and
// checks afterwards that nothing reached a printer.

#include <QTest>

#include "form1_program.h"
#include "messages.h"
#ifndef _WIN32
#include "printing_setup.h"
#endif

using namespace brisakett;
using brisakett::testing::Form1Program;

class Form1BadInputTest : public QObject {
  Q_OBJECT

#ifndef _WIN32
  std::unique_ptr<testing::PrintingSetup> setup_;
#endif

private slots:
#ifndef _WIN32
  void initTestCase() {
    setup_ = testing::StartPrinting({"Laser", "Tinte"}, "Tinte");
    QREQUIRE_SCHEDULER(*setup_);
  }

  void cleanupTestCase() { setup_.reset(); }
#endif

  void pressWithUnknownText_data() {
    QTest::addColumn<QString>("text");
    const QString laser("Laser");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << QString("   ");
    QTest::newRow("10,000 characters") << QString(10000, QChar('x'));
    QTest::newRow("a name and 9,995 more") << laser + QString(9995, QChar('x'));
    QTest::newRow("tab") << QString("\t");
    QTest::newRow("name and line break") << laser + "\n";
    QTest::newRow("name and CR LF") << laser + "\r\n";
    QTest::newRow("name and NUL") << laser + QChar(0);
    QTest::newRow("NUL and name") << QChar(0) + laser;
    QTest::newRow("escape sequence") << QString("\x1b%-12345X@PJL");
    QTest::newRow("C0 and DEL") << QString("\x01\x02\x7f");
    QTest::newRow("invalid UTF-8") << QString::fromUtf8("\xff\xfe\xc3\x28\xed\xa0\x80");
    QTest::newRow("name in invalid UTF-8") << QString::fromUtf8("Las\xe9r");
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800));
    QTest::newRow("name and lone surrogate") << laser + QChar(0xDC00);
    QTest::newRow("slash") << QString("/");
    QTest::newRow("name and slash") << laser + "/";
    QTest::newRow("unknown instance") << laser + "/Entwurf";
    QTest::newRow("leading slash") << "/" + laser;
    QTest::newRow("hash") << laser + "#1";
    QTest::newRow("question mark") << laser + "?waiting=1";
    QTest::newRow("percent escape") << QString("Las%65r");
    QTest::newRow("leading blank") << " " + laser;
    QTest::newRow("trailing blank") << laser + " ";
    QTest::newRow("inner blank") << QString("La ser");
    QTest::newRow("Cyrillic") << QString::fromUtf8("Принтер");
    QTest::newRow("Chinese") << QString::fromUtf8("打印机");
    QTest::newRow("Arabic") << QString::fromUtf8("طابعة");
    QTest::newRow("Cyrillic look-alike") << QString::fromUtf8("Lаser");  // Cyrillic а
    QTest::newRow("emoji") << QString::fromUtf8("🖨️");
  }

  void pressWithUnknownText() {
    QFETCH(QString, text);
    Form1Program program;
#ifndef _WIN32
    const std::size_t jobs = setup_->cupsd->Jobs().size();
#endif

    const Form1Program::Answer answer = program.PressOk(text);
    QCOMPARE(answer.told, QStringList{QString::fromUtf8(messages::kPrinterNotRecognized)});
    QVERIFY(answer.ms < 5000);
    QVERIFY(program.form.AboutWindow() == nullptr);
    QCOMPARE(program.printer.DeviceName(), std::string("Tinte"));
#ifndef _WIN32
    QCOMPARE(setup_->cupsd->Jobs().size(), jobs);
#endif
    // The window still works afterwards, text and all.
    QCOMPARE(program.Combo1()->currentText(), text);
  }

#ifndef _WIN32
  // Last, so that a job sent by mistake above has had time to arrive.
  void nothingReachedAPrinter() {
    QCOMPARE(setup_->cupsd->Jobs().size(), std::size_t(0));
    for (const auto& [queue, printer] : setup_->printers) QVERIFY2(printer->Jobs().empty(), queue.c_str());
  }
#endif
};

QTEST_MAIN(Form1BadInputTest)
#include "form1_bad_input_test.moc"
