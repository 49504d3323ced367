#pragma once
// The program's own artwork, drawn by code: the Earth seen from space with
// its latitude and longitude grid. The About box shows the large picture;
// the icon is the same globe, in the sizes a desktop shows and as SVG.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace art {

// 520 x 318, 24-bit colour: the globe on black, a labelled grid with both
// tropics, `title` in white outlined letters across the top.
QImage aboutPicture(const QString& title);

// `size` x `size` with transparency: the globe and a place marker, drawn
// for that size (the window's icon is 32 x 32).
QImage icon(int size = 32);

// The same icon as SVG, drawn in a 32 x 32 box of its own units: the land
// as outlines, the light as gradients, for any size.
QByteArray iconSvg();

// 16 x 16 with transparency: the mark of a place on another program's
// globe, a red dot ringed in white, its centre on the place.
QImage placeMark();

}  // namespace art
