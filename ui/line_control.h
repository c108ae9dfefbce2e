#pragma once

#include <QColor>
#include <QPoint>
#include <QWidget>

namespace brisakett {

// A straight line between two points of its parent, as a separator.
class LineControl : public QWidget {
public:
  LineControl(QWidget* parent, QPoint from, QPoint to, QColor color, int width = 1);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QPoint from_;
  QPoint to_;
  QColor color_;
  int width_;
};

}  // namespace brisakett
