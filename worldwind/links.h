#pragma once
// Location links, the program's one way of naming a point on the globe:
// "worldwind://goto/" and "&"-separated key=value pairs (world, lat, lon).
// Links copied in World Wind are kept exactly as copied; only the links the
// program builds itself follow the forms below.

#include <QString>
#include <QStringView>

namespace links {

inline constexpr auto kScheme = "worldwind://";

// Whether the text starts with exactly "worldwind://" (case and blanks count).
bool isLocationLink(QStringView text);

// The link that starts World Wind looking at the whole Earth.
QString startLink();

// A number in general decimal form: at most 15 significant digits, trailing
// zeros dropped, "." as the decimal point, never an exponent or a thousands
// separator; -0 is written "0".
QString decimal(double value);

// "worldwind://goto/world=Earth&lat=" + decimal(lat) + "&lon=" + decimal(lon).
QString linkFor(double latitude, double longitude);

}  // namespace links
