#pragma once
// KMZ, the zipped KML that globe programs write by default: one archive
// whose first .kml entry is the document, next to any pictures it uses.

#include <QByteArray>
#include <QString>

#include <optional>

namespace exchange::kmz {

// Whether the bytes start as a zip archive does.
bool looksLikeZip(const QByteArray& bytes);

struct Unpacked {
    QByteArray kml;
    QString error;  // why there is none; empty when it was read
};

// The archive's first entry named *.kml (any case), inflated. An entry
// that says it is, or turns out to be, larger than `maxBytes` is refused
// without inflating more than that.
Unpacked mainDocument(const QByteArray& archive, qint64 maxBytes);

// An archive holding `kml` as "doc.kml", deflated at the fastest level.
std::optional<QByteArray> pack(const QByteArray& kml, QString* error);

}  // namespace exchange::kmz
