#include "slanted_label.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtMath>

namespace brisakett {
namespace {

// The slope of a synthesised italic: about 12 degrees.
constexpr double kSlope = 0.21;

QFont Upright(QFont font) {
  font.setItalic(false);
  return font;
}

}  // namespace

SlantedLabel::SlantedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont italic = font();
  italic.setItalic(true);
  setFont(italic);
}

void SlantedLabel::paintEvent(QPaintEvent* event) {
  const QFont upright = Upright(font());
  if (QFontInfo(font()).family() == QFontInfo(upright).family()) {
    QLabel::paintEvent(event);
    return;
  }
  const QRect area = contentsRect();
  const qreal scale = devicePixelRatioF();
  QImage rows(area.size() * scale, QImage::Format_ARGB32_Premultiplied);
  rows.setDevicePixelRatio(scale);
  rows.fill(Qt::transparent);
  {
    QPainter text(&rows);
    text.setFont(upright);
    text.setPen(palette().color(foregroundRole()));
    text.drawText(QRect(QPoint(0, 0), area.size()), alignment(), this->text());
  }
  // The baseline of the text as drawText placed it, in image rows.
  const QFontMetrics metrics(upright);
  int top = 0;
  if (alignment() & Qt::AlignVCenter) top = (area.height() - metrics.height()) / 2;
  if (alignment() & Qt::AlignBottom) top = area.height() - metrics.height();
  const int baseline = qRound((top + metrics.ascent()) * scale);

  QPainter painter(this);
  for (int row = 0; row < rows.height(); ++row) {
    const int shift = qFloor((baseline - row) * kSlope);
    painter.drawImage(QPointF(area.left() + shift / scale, area.top() + row / scale), rows,
                      QRectF(0, row, rows.width(), 1));
  }
}

}  // namespace brisakett
