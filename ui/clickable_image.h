#pragma once

#include <QLabel>

namespace brisakett {

// A picture that reports a click, the way a button would: pressed and
// released over it with the left mouse button.
class ClickableImage : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;

signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool pressed_ = false;
};

}  // namespace brisakett
