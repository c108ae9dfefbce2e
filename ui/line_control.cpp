#include "line_control.h"

#include <QPainter>
#include <QPen>

namespace brisakett {

LineControl::LineControl(QWidget* parent, QPoint from, QPoint to, QColor color, int width)
    : QWidget(parent), color_(color), width_(width) {
  // The widget covers the line's bounding box, thickened by the pen width
  // downwards and rightwards, so the line keeps its place in the parent.
  const QRect box = QRect(from, to).normalized().adjusted(0, 0, width - 1, width - 1);
  setGeometry(box);
  from_ = from - box.topLeft();
  to_ = to - box.topLeft();
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(QRect(from_, to_).normalized().adjusted(0, 0, width_ - 1, width_ - 1),
                   color_);
}

}  // namespace brisakett
