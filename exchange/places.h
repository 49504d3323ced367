#pragma once
// Places in the formats other programs speak: KML 2.2 (globes, maps) and
// GPX 1.1 (GPS devices, hiking tools), written as UTF-8. Each place keeps
// its own link on the way (KML ExtendedData, GPX link), so that what is
// exported comes back as exactly the same rows.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace exchange {

enum class Format { Kml, Gpx };

// By the file name's extension (.kml or .gpx, any case).
std::optional<Format> formatOf(const QString& fileName);

// One Placemark or wpt per row, in row order, at the position of the row's
// link (links::position; 0,0 when it has none, as on the globe). Characters
// that XML cannot carry at all (control characters) become U+FFFD.
QByteArray kmlBytes(const QStringList& rows);
QByteArray gpxBytes(const QStringList& rows);

// Writes the rows to `path` in the format of its extension, whole or not at
// all. On failure `error` receives a sentence saying why.
bool writeFile(const QString& path, const QStringList& rows, QString* error);

// Larger files are refused unread: a places file of a full journal stays
// far below this.
inline constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

struct Import {
    QStringList rows;  // built with makeRow, in file order
    int skipped = 0;   // placemarks without a point, overlays, network links
    int routeAndTrackPoints = 0;
    // Why nothing of the file can be taken; empty when it was read.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Reads KML (any version, nested Documents and Folders, MultiGeometry) or
// GPX 1.0 or 1.1, told apart by the root element. A place that carries a
// location link of ours keeps it and its texts exactly, unless the point
// was moved elsewhere since; any other gets links::linkFor(lat, lon) and
// its texts trimmed. Entity declarations are refused and external
// entities never fetched; a bad coordinate rejects the whole file.
Import parse(const QByteArray& bytes);
Import readFile(const QString& path);

// "12 places; 3 items that are not points skipped; 40 route and track
// points ignored" (the last two only when there are any).
QString summary(const Import& import);

}  // namespace exchange
