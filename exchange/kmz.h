#pragma once
// KMZ, the zipped KML that globe programs write by default: one archive
// whose first .kml entry is the document, next to any pictures it uses and
// other KML entries its network links load.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

#include <optional>

namespace exchange::kmz {

// Whether the bytes start as a zip archive does.
bool looksLikeZip(const QByteArray& bytes);

struct Unpacked {
    QByteArray kml;
    QString error;  // why there is none; empty when it was read
};

// An archive held in memory (the bytes must outlive it), its central
// directory checked against the entries' own headers.
class Archive {
public:
    explicit Archive(const QByteArray& bytes);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Why the archive cannot be read; empty when it can.
    const QString& error() const { return error_; }

    // The entries named *.kml (any case), in the archive's order: the
    // first is the document.
    const QStringList& kmlEntries() const { return kml_; }

    // The entry, inflated. An entry that says it is, or turns out to be,
    // larger than `maxBytes` is refused without inflating more than that.
    Unpacked read(const QString& name, qint64 maxBytes);

private:
    struct Zip;
    std::unique_ptr<Zip> zip_;
    QString error_;
    QStringList kml_;
};

// Where a link of the entry `from` leads inside the archive: a relative
// path ("files/a.kml", "../b.kml" from a folder, %-escapes decoded).
// Nothing for a link that leaves the archive: a scheme ("http:",
// "file:"), an absolute path, or more "../" than folders.
std::optional<QString> resolve(const QString& from, QStringView link);

// An archive holding `kml` as "doc.kml", deflated at the fastest level.
std::optional<QByteArray> pack(const QByteArray& kml, QString* error);
// An archive of these entries, in this order, deflated the same way.
struct Entry {
    QString name;
    QByteArray bytes;
};
std::optional<QByteArray> pack(const QList<Entry>& entries, QString* error);

}  // namespace exchange::kmz
