#pragma once
// Windows and controls are laid out in twips (1/1440 inch, 15 to a pixel
// at 96 dots per inch). Each control keeps its twips rectangle so layout
// arithmetic stays exact although pixels are whole numbers.

#include <QRect>

class QWidget;

namespace twips {

inline constexpr int kPerPixel = 15;

inline int toPixels(double twips)
{
    return int(twips / kPerPixel + (twips >= 0 ? 0.5 : -0.5));
}

void setGeometry(QWidget* w, int left, int top, int width, int height);
void setWidth(QWidget* w, int width);
// The control's rectangle in twips (its pixel geometry times 15 when it was
// never placed in twips).
QRect geometry(const QWidget* w);

}  // namespace twips
