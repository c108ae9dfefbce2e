#pragma once

#include <QLabel>

namespace brisakett {

// A label in an italic font that stays italic where the font has no italic
// face. Windows' "MS Sans Serif" is a bitmap font with upright faces only;
// Windows itself slants it, but Qt passes it over for some other family.
// There the label draws the upright face and shifts each pixel row right by
// its height above the baseline, as Windows does.
class SlantedLabel : public QLabel {
public:
  SlantedLabel(const QString& text, QWidget* parent);

protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace brisakett
