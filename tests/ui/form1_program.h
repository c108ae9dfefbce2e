#pragma once

// The program as main() puts it together, on whatever scheduler CUPS_SERVER
// names, with a recording message box in place of the modal one.

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "form1.h"
#include "private_cupsd.h"
#include "recording_msg_box.h"
#include "system_services.h"

namespace brisakett::testing {

struct Form1Program {
  SystemServices system;
  RecordingMsgBox msgBox;
  Form1 form{system.With(msgBox)};
  CurrentPrinter& printer = *system.printer;

  Form1Program() { form.show(); }

  QComboBox* Combo1() { return form.findChild<QComboBox*>("Combo1"); }
  QStringList List() {
    QStringList items;
    for (int i = 0; i < Combo1()->count(); ++i) items << Combo1()->itemText(i);
    return items;
  }

  struct Answer {
    QStringList told;  // every message shown for the press
    qint64 ms;         // from the click until the window answered
  };
  // Puts `text` in the box and clicks "OK".
  Answer PressOk(const QString& text) {
    Combo1()->setEditText(text);
    msgBox.texts.clear();
    QElapsedTimer answered;
    answered.start();
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    return {msgBox.texts, answered.elapsed()};
  }
};

}  // namespace brisakett::testing

// For Qt Test cases that need the private scheduler of a PrintingSetup: on
// CI its absence is a failure, elsewhere a skip.
#define QREQUIRE_SCHEDULER(setup)                                                  \
  do {                                                                             \
    if (!(setup).cupsd) {                                                          \
      const std::string message = "cupsd did not start: " + (setup).why;          \
      if (::brisakett::testing::CupsdRequired()) QFAIL(message.c_str());           \
      QSKIP(message.c_str());                                                      \
    }                                                                              \
  } while (false)
