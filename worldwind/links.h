#pragma once
// Location links, the program's one way of naming a point on the globe:
// "worldwind://goto/" and "&"-separated key=value pairs (world, lat, lon).
// Links copied in World Wind are kept exactly as copied; only the links the
// program builds itself follow the forms below.

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <optional>

namespace links {

inline constexpr auto kScheme = "worldwind://";

// Whether the text starts with exactly "worldwind://" (case and blanks count).
bool isLocationLink(QStringView text);
bool isLocationLink(QByteArrayView utf8);

// The link that starts World Wind looking at the whole Earth.
QString startLink();

// A number in general decimal form: at most 15 significant digits, trailing
// zeros dropped, "." as the decimal point, never an exponent or a thousands
// separator; -0 is written "0".
QString decimal(double value);

// "worldwind://goto/world=Earth&lat=" + decimal(lat) + "&lon=" + decimal(lon).
QString linkFor(double latitude, double longitude);
// The same with "&alt=" + decimal(altitude) at the end when one is given.
QString linkFor(double latitude, double longitude, std::optional<double> altitude);

// Whether a latitude lies within -90..90 and a longitude within
// -180..180 (both false for NaN).
bool validLatitude(double degrees);
bool validLongitude(double degrees);

// A number as the links hold it, whatever the user's locale: blanks, tabs
// and line feeds are skipped anywhere; sign, digits, "." and digits, and
// an exponent are read as far as they form a number; anything else ends
// it. No number, or one beyond the range of a float, gives 0.
float readNumber(QStringView text);

// The number of the bytes from `begin` to `end`, read as readNumber reads
// it when they hold no blanks: locale-free and straight to float, 0 when
// they do not form one number or it is beyond the range of a float.
float fromChars(const char* begin, const char* end);

// The number of pair `position` ("&"-separated, counted from 0) read as
// key=value: the value after the first "=", up to a second "=". A missing
// pair or one without "=" gives 0. Latitude and longitude are pairs 1 and
// 2, whatever their keys say.
float pairNumber(QStringView link, int position);

// Degrees or minutes as the user typed them: a decimal number in the
// user's format (a fraction allowed, no thousands separators), blanks
// around it ignored. Nothing when the text is empty or not such a number.
std::optional<double> readAngle(const QString& text, const QLocale& locale = QLocale::system());

// Seconds as the user typed them: a number in the user's format rounded to
// a whole number, an exact half to the even neighbour. Nothing when it is
// not a number or lies outside -32768..32767.
std::optional<qint16> readSeconds(const QString& text, const QLocale& locale = QLocale::system());

// (degrees + minutes / 60 + seconds / 3600) * factor, summed left to right
// in double precision, nothing range-checked or normalised. The factor is
// +1 for north and east, -1 for south and west.
double coordinate(double degrees, double minutes, qint16 seconds, int factor);

// A number written in decimal with "." as the point, as links and places
// files hold it ("-12.5", "+3", "1e-3"), blanks around it allowed, never
// the locale's form. Nothing for anything else, "inf" and "nan" included.
std::optional<double> decimalNumber(QStringView text);
// The same of UTF-8 bytes.
std::optional<double> decimalNumber(QByteArrayView utf8);

// The value of pair `position` of a link in UTF-8 bytes, as pairNumber
// finds it: after its first "=", up to a second "="; nothing for a missing
// pair or one without "=".
std::optional<QByteArrayView> pairValue(QByteArrayView utf8, int position);

struct Position {
    double latitude = 0;
    double longitude = 0;
};

// Where the link points, in full precision: the values of pairs 1 and 2
// (as pairNumber finds them) as decimal numbers, latitude within -90..90
// and longitude within -180..180. Nothing when a value is missing, not a
// number or out of range.
std::optional<Position> position(QStringView link);

struct GeoPoint {
    double latitude = 0;
    double longitude = 0;
    std::optional<double> altitude;
};

// A geo: URI (blanks around it allowed), or nothing.
std::optional<GeoPoint> readGeoUri(QStringView text);

}  // namespace links
