#include "kmz.h"

#include <QUrl>

#include <zip.h>

#include <memory>

namespace exchange::kmz {
namespace {

QString zipError(zip_error_t* error)
{
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

QString archiveError(zip_t* archive)
{
    return zipError(zip_get_error(archive));
}

struct CloseArchive {
    void operator()(zip_t* a) const { zip_discard(a); }
};
struct CloseFile {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

bool isKmlName(const char* name)
{
    const QByteArray n = QByteArray(name).toLower();
    return n.endsWith(".kml") && !n.endsWith('/');
}

}  // namespace

bool looksLikeZip(const QByteArray& bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

struct Archive::Zip {
    std::unique_ptr<zip_t, CloseArchive> archive;
};

Archive::Archive(const QByteArray& bytes) : zip_(std::make_unique<Zip>())
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (!source) {
        error_ = QStringLiteral("it is not a readable KMZ archive (%1)").arg(zipError(&error));
        zip_error_fini(&error);
        return;
    }
    // The central directory is checked against the entries' own headers.
    zip_->archive.reset(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!zip_->archive) {
        zip_source_free(source);
        error_ = QStringLiteral("it is not a readable KMZ archive (%1)").arg(zipError(&error));
        zip_error_fini(&error);
        return;
    }
    zip_error_fini(&error);
    const zip_int64_t entries = zip_get_num_entries(zip_->archive.get(), 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        const char* name = zip_get_name(zip_->archive.get(), zip_uint64_t(i), 0);
        if (name && isKmlName(name))
            kml_.append(QString::fromUtf8(name));
    }
    if (kml_.isEmpty())
        error_ = QStringLiteral("it is a KMZ archive without a KML document in it");
}

Archive::~Archive() = default;

Unpacked Archive::read(const QString& entry, qint64 maxBytes)
{
    Unpacked out;
    zip_t* zip = zip_->archive.get();
    const QString name = entry.left(80);
    const zip_int64_t index = zip ? zip_name_locate(zip, entry.toUtf8().constData(), 0) : -1;
    if (index < 0) {
        out.error = QStringLiteral("its document %1 is not in it").arg(name);
        return out;
    }
    const QString tooLarge =
        QStringLiteral("its document %1 would inflate to more than %2 MB; it is refused").arg(name).arg(maxBytes >> 20);
    zip_stat_t stat;
    if (zip_stat_index(zip, zip_uint64_t(index), 0, &stat) != 0) {
        out.error = QStringLiteral("its document %1 cannot be read (%2)").arg(name, archiveError(zip));
        return out;
    }
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > zip_uint64_t(maxBytes)) {
        out.error = tooLarge;
        return out;
    }
    std::unique_ptr<zip_file_t, CloseFile> file(zip_fopen_index(zip, zip_uint64_t(index), 0));
    if (!file) {
        out.error = QStringLiteral("its document %1 cannot be read (%2)").arg(name, archiveError(zip));
        return out;
    }
    // The declared size may lie: inflating stops one block past the limit.
    QByteArray kml;
    kml.reserve(qsizetype(qMin<zip_uint64_t>(stat.valid & ZIP_STAT_SIZE ? stat.size : 0, zip_uint64_t(maxBytes))) + 1);
    constexpr qsizetype kBlock = 1 << 16;
    for (;;) {
        if (kml.size() > maxBytes) {
            out.error = tooLarge;
            return out;
        }
        const qsizetype had = kml.size();
        kml.resize(had + kBlock);
        const zip_int64_t got = zip_fread(file.get(), kml.data() + had, zip_uint64_t(kBlock));
        if (got < 0) {
            out.error = QStringLiteral("its document %1 cannot be inflated (%2)")
                            .arg(name, QString::fromLocal8Bit(zip_error_strerror(zip_file_get_error(file.get()))));
            return out;
        }
        kml.resize(had + qsizetype(got));
        if (got == 0)
            break;
    }
    out.kml = std::move(kml);
    return out;
}

std::optional<QString> resolve(const QString& from, QStringView link)
{
    QString path = QUrl::fromPercentEncoding(link.trimmed().toUtf8());
    path.replace(u'\\', u'/');
    const qsizetype end = path.indexOf(u'#');
    if (end >= 0)
        path.truncate(end);
    // "http:", "file:", "C:": a scheme or a drive, never inside the archive.
    for (const QChar c : path) {
        if (c == u':')
            return std::nullopt;
        if (c == u'/')
            break;
    }
    if (path.isEmpty() || path.startsWith(u'/'))
        return std::nullopt;
    QStringList parts = from.split(u'/');
    parts.removeLast();  // the entry's own name
    for (const QString& part : path.split(u'/')) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return std::nullopt;
            parts.removeLast();
        } else {
            parts.append(part);
        }
    }
    return parts.join(u'/');
}

std::optional<QByteArray> pack(const QByteArray& kml, QString* error)
{
    return pack({{QStringLiteral("doc.kml"), kml}}, error);
}

std::optional<QByteArray> pack(const QList<Entry>& entries, QString* error)
{
    const auto failed = [error](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = QStringLiteral("the KMZ archive could not be made (%1)").arg(why);
        return std::nullopt;
    };
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &ze);
    if (!target) {
        const QString why = zipError(&ze);
        zip_error_fini(&ze);
        return failed(why);
    }
    zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, &ze);
    if (!zip) {
        zip_source_free(target);
        const QString why = zipError(&ze);
        zip_error_fini(&ze);
        return failed(why);
    }
    zip_error_fini(&ze);
    zip_source_keep(target);  // read back after the archive is closed
    const auto cleanup = [&](const QString& why) {
        zip_discard(zip);
        zip_source_free(target);
        return failed(why);
    };

    for (const Entry& entry : entries) {
        zip_source_t* data = zip_source_buffer(zip, entry.bytes.constData(), zip_uint64_t(entry.bytes.size()), 0);
        const zip_int64_t index = data ? zip_file_add(zip, entry.name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8)
                                       : -1;
        if (index < 0) {
            if (data)
                zip_source_free(data);
            return cleanup(archiveError(zip));
        }
        // The fastest level: twice as quick as the default for a file some 30%
        // larger, and read by every inflater alike.
        if (zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 1) != 0)
            return cleanup(archiveError(zip));
    }
    if (zip_close(zip) != 0)
        return cleanup(archiveError(zip));

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(target, &stat) != 0 || zip_source_open(target) != 0) {
        zip_source_free(target);
        return failed(QStringLiteral("it cannot be read back"));
    }
    QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
    const zip_int64_t got = zip_source_read(target, bytes.data(), stat.size);
    zip_source_close(target);
    zip_source_free(target);
    if (got != zip_int64_t(stat.size))
        return failed(QStringLiteral("it cannot be read back"));
    return bytes;
}

}  // namespace exchange::kmz
