#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <cmath>

// The windows were laid out in twips, 15 to a pixel.
namespace brisakett::twips {

inline int ToPixels(double twips) { return static_cast<int>(std::lround(twips / 15.0)); }

inline QRect Rect(double left, double top, double width, double height) {
  return QRect(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
}

inline QPoint Point(double x, double y) { return QPoint(ToPixels(x), ToPixels(y)); }

inline QSize Size(double width, double height) { return QSize(ToPixels(width), ToPixels(height)); }

}  // namespace brisakett::twips
