#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "msg_box.h"

namespace brisakett::testing {

// Takes the place of the modal box: keeps each text and answers at once,
// so a test reads what the user would have read without a timer race.
class RecordingMsgBox final : public MsgBox {
public:
  QStringList texts;
  // Runs while the "box" is up, to look at the windows as the user sees them.
  std::function<void(const QString&)> whileShown;

  void Show(QWidget*, const QString& text) override {
    texts << text;
    if (whileShown) whileShown(text);
  }
};

}  // namespace brisakett::testing
