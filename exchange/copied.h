#pragma once
// A location copied in a globe and offered on the clipboard: a link of
// ours, a geo: URI, a single placemark as KML or GPX, or coordinates as
// text. Plain data in, the journal's link out; no clipboard access here.

#include <QByteArray>
#include <QString>

#include <optional>

namespace exchange {

// The clipboard's text and the data of the other flavours the capture
// reads (empty when absent).
struct ClipboardOffer {
    std::optional<QString> text;
    QByteArray kml;      // application/vnd.google-earth.kml+xml
    QByteArray gpx;      // application/gpx+xml
    QByteArray uriList;  // text/uri-list
};

inline constexpr auto kKmlFlavour = "application/vnd.google-earth.kml+xml";
inline constexpr auto kGpxFlavour = "application/gpx+xml";
inline constexpr auto kUriListFlavour = "text/uri-list";

// Snippets larger than this are not read: a copied location is a few
// hundred bytes.
inline constexpr qsizetype kMaxSnippet = 64 * 1024;

struct CopiedLocation {
    QString link;  // as the journal stores it
    QString name;  // the place's own name, or empty
};

// The location the capture takes from the clipboard, in this order:
// 1. text starting with "worldwind://": the whole text, unchanged;
// 2. the KML flavour, then the GPX flavour, holding a single point;
// 3. text that is a geo: URI (RFC 5870, "crs" wgs84 only) or KML with a
//    single point;
// 4. text of coordinates written for people: degrees, minutes and seconds
//    with N/S and E/W in either order ("139° 41' 30.2"E,  35° 41' 22.2"N",
//    decimal degrees with "°" too), or a decimal "lat, lon" pair;
// 5. a URI list holding one geo: URI.
// Flavours 2 to 5 become links::linkFor(lat, lon, altitude). Nothing for
// anything else, for coordinates out of range and for XML the places
// reader would refuse.
std::optional<CopiedLocation> copiedLocation(const ClipboardOffer& offer);

}  // namespace exchange
