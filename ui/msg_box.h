#pragma once

#include <QString>

class QWidget;

namespace brisakett {

// Every message the program shows goes through here: a modal box with an
// OK button only, no icon, captioned with the program's name. Tests put
// their own in its place to read the text without answering a real box.
class MsgBox {
public:
  virtual ~MsgBox() = default;
  virtual void Show(QWidget* parent, const QString& text);
};

}  // namespace brisakett
