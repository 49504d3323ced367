#include "kmz.h"

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

Unpacked mainDocument(const QByteArray& archive, qint64 maxBytes)
{
    Unpacked out;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive.constData(), zip_uint64_t(archive.size()), 0, &error);
    if (!source) {
        out.error = QStringLiteral("it is not a readable KMZ archive (%1)").arg(zipError(&error));
        zip_error_fini(&error);
        return out;
    }
    // The central directory is checked against the entries' own headers.
    std::unique_ptr<zip_t, CloseArchive> zip(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!zip) {
        zip_source_free(source);
        out.error = QStringLiteral("it is not a readable KMZ archive (%1)").arg(zipError(&error));
        zip_error_fini(&error);
        return out;
    }
    zip_error_fini(&error);

    const zip_int64_t entries = zip_get_num_entries(zip.get(), 0);
    zip_int64_t index = -1;
    for (zip_int64_t i = 0; i < entries && index < 0; ++i) {
        const char* name = zip_get_name(zip.get(), zip_uint64_t(i), 0);
        if (name && isKmlName(name))
            index = i;
    }
    if (index < 0) {
        out.error = QStringLiteral("it is a KMZ archive without a KML document in it");
        return out;
    }
    const QString name = QString::fromUtf8(zip_get_name(zip.get(), zip_uint64_t(index), 0)).left(80);
    const QString tooLarge =
        QStringLiteral("its document %1 would inflate to more than %2 MB; it is refused").arg(name).arg(maxBytes >> 20);
    zip_stat_t stat;
    if (zip_stat_index(zip.get(), zip_uint64_t(index), 0, &stat) != 0) {
        out.error = QStringLiteral("its document %1 cannot be read (%2)").arg(name, archiveError(zip.get()));
        return out;
    }
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > zip_uint64_t(maxBytes)) {
        out.error = tooLarge;
        return out;
    }
    std::unique_ptr<zip_file_t, CloseFile> file(zip_fopen_index(zip.get(), zip_uint64_t(index), 0));
    if (!file) {
        out.error = QStringLiteral("its document %1 cannot be read (%2)").arg(name, archiveError(zip.get()));
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

std::optional<QByteArray> pack(const QByteArray& kml, QString* error)
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

    zip_source_t* data = zip_source_buffer(zip, kml.constData(), zip_uint64_t(kml.size()), 0);
    const zip_int64_t index = data ? zip_file_add(zip, "doc.kml", data, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        if (data)
            zip_source_free(data);
        return cleanup(archiveError(zip));
    }
    // The fastest level: twice as quick as the default for a file some 30%
    // larger, and read by every inflater alike.
    if (zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 1) != 0)
        return cleanup(archiveError(zip));
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
