#pragma once
// Places in the formats other programs speak: KML 2.2 (globes, maps), also
// zipped as KMZ, GPX 1.1 (GPS devices, hiking tools), GeoJSON (web maps,
// GIS, saved places of map services) and CSV (spreadsheets), written as UTF-8. Each place keeps
// its own link on the way (KML ExtendedData, GPX link), so that what is
// exported comes back as exactly the same rows.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "worldwind/links.h"
#include "worldwind/placenames.h"

#include <optional>

namespace exchange {

enum class Format { Kml, Gpx, Kmz, GeoJson, Csv };

inline constexpr auto kGlobeIcon = "velmora-place.png";

// By the file name's extension (.kml, .gpx, .kmz, .geojson or .json, .csv;
// any case).
std::optional<Format> formatOf(const QString& fileName);

// Where the exports put a row: its link's position, 0,0 when it has none
// (as on the globe).
links::Position exportedPosition(QStringView link);

// One Placemark or wpt per row, in row order, at the position of the row's
// link (links::position; 0,0 when it has none, as on the globe). Characters
// that XML cannot carry at all (control characters) become U+FFFD.
// With `labels`, every place's name is drawn in the label font's colour and
// at a scale from its size (KML LabelStyle; the default size is scale 1),
// beside the icon kGlobeIcon, a file the caller puts beside the KML: a
// globe hides a placemark whose style names no icon.
QByteArray kmlBytes(const QStringList& rows, const std::optional<placenames::LabelFont>& labels = std::nullopt);
QByteArray gpxBytes(const QStringList& rows);
// A FeatureCollection of Points with "name" and "description" (and the
// row's link as "worldwind-link"); a place whose link has no position has
// no geometry (null), never a point at 0,0.
QByteArray geoJsonBytes(const QStringList& rows);
// "name,latitude,longitude,description,link" and one line per place, as
// RFC 4180 quotes it; no position leaves both numbers empty.
QByteArray csvBytes(const QStringList& rows);

// Writes the rows to `path` in the format of its extension, whole or not at
// all. On failure `error` receives a sentence saying why.
bool writeFile(const QString& path, const QStringList& rows, QString* error,
               const std::optional<placenames::LabelFont>& labels = std::nullopt);

// Larger files are refused unread: a places file of a full journal stays
// far below this.
inline constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

// The places without a position an import names: a file of ghosts alone
// must not fill the memory with their names.
inline constexpr int kNamedWithoutPosition = 100;

struct Import {
    QStringList rows;  // built with makeRow, in file order
    int skipped = 0;   // placemarks without a point, overlays, network links
    int routeAndTrackPoints = 0;
    int alreadyInList = 0;  // left out by leaveOutKnown
    // Places that hold no position (a saved place whose link names none):
    // left out, never put at 0,0, and named so that the user can find them
    // ("\"Louvre\"", or "the place at line 7" without a name).
    // Only the first kNamedWithoutPosition are named; all are counted.
    QStringList withoutPosition;
    int placesWithoutPosition = 0;
    // Why nothing of the file can be taken; empty when it was read.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Reads KML (any version, nested Documents and Folders, MultiGeometry),
// GPX 1.0 or 1.1, told apart by the root element, or a KMZ archive (a zip
// file: its first .kml entry, then the entries its NetworkLinks load, then
// any other .kml entry; links out of the archive are never followed). A place that carries a location link of
// ours keeps its texts exactly, and the link too (trimmed of blanks and
// line ends) as long as it still points where the place is, as the
// exports read it; any other gets links::linkFor(lat, lon) and its texts
// trimmed. Only well-formed XML is read; entity declarations are refused
// and external entities never fetched; a bad coordinate rejects the whole
// file.
//
// GeoJSON (a FeatureCollection, a Feature or a geometry) and CSV (a header
// naming the columns) are read when `format` says so; without one, bytes
// that start as JSON does are read as GeoJSON, and any other as KML or GPX.
Import parse(const QByteArray& bytes, std::optional<Format> format = std::nullopt);
Import readFile(const QString& path);

// Takes out of `found` the places that `list` holds already: same name and
// a position within a millionth of a degree (as the exports write it, so
// that six decimals written by another program still match). Places
// repeated within the file itself are all kept. Importing a file twice
// adds nothing the second time.
void leaveOutKnown(Import& found, const QStringList& list);

// "12 places; 3 items that are not points skipped; 40 route and track
// points ignored; 2 places already in the list left out" (all but the first
// only when there are any), then the places without a position by name;
// when every place is in the list already, "No
// new places: all 5 are in the list already" and what was skipped.
QString summary(const Import& import);

}  // namespace exchange
