// An independent reader and writer of KML, GPX, GeoJSON and CSV (Debian's
// gpsbabel) reads the places we write, and we read what it writes.

#include "exchange/places.h"
#include "journal/row.h"
#include "worldwind/links.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

#include "printers.h"

namespace {

struct Place {
    QString name;
    double latitude;
    double longitude;
    QString comment;
};

// Runs gpsbabel with `args`; empty text when it worked, else why not.
QString gpsbabel(const QStringList& args)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
    if (program.isEmpty())
        return QStringLiteral("gpsbabel is not installed (scripts/setup.sh installs it)");
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("gpsbabel %1 failed: %2")
            .arg(args.join(u' '), QString::fromUtf8(p.readAllStandardError()));
    return {};
}

// One CSV record per line; fields may be quoted, "" stands for a quote.
QList<QStringList> readCsv(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> records;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        QStringList fields{QString()};
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"')
                fields.last() += line[++i];
            else if (c == u'"')
                quoted = !quoted;
            else if (c == u',' && !quoted)
                fields.append(QString());
            else if (c != u'\r' || quoted)
                fields.last() += c;
        }
        records.append(fields);
    }
    return records;
}

// The places of a unicsv file written by gpsbabel, by its header.
QList<Place> placesInCsv(const QString& path)
{
    const QList<QStringList> records = readCsv(path);
    if (records.isEmpty())
        return {};
    const QStringList& head = records.first();
    const qsizetype name = head.indexOf(QStringLiteral("Name")), lat = head.indexOf(QStringLiteral("Latitude")),
                    lon = head.indexOf(QStringLiteral("Longitude"));
    QList<Place> places;
    for (qsizetype i = 1; i < records.size(); ++i)
        places.append({records[i].value(name), records[i].value(lat).toDouble(), records[i].value(lon).toDouble(), {}});
    return places;
}

QList<Place> placesInRows(const QStringList& rows)
{
    QList<Place> places;
    for (const QString& row : rows) {
        const RowFields f = splitRow(row);
        const links::Position at = links::position(f.link).value_or(links::Position{});
        places.append({f.name, at.latitude, at.longitude, f.comment});
    }
    return places;
}

void expectSamePlaces(const QList<Place>& got, const QList<Place>& want, bool comments)
{
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(want[i].name.toStdString());
        EXPECT_EQ(got[i].name, want[i].name);
        // gpsbabel prints six decimals.
        EXPECT_NEAR(got[i].latitude, want[i].latitude, 6e-7);
        EXPECT_NEAR(got[i].longitude, want[i].longitude, 6e-7);
        if (comments) {
            EXPECT_EQ(got[i].comment, want[i].comment);
        }
    }
}

const QList<Place> kPlaces = {
    {QStringLiteral("Paris & <co> \"q\""), 48.856613, 2.352222, QStringLiteral("capital, big")},
    {QString::fromUtf8("東京 Łódź 😀"), 35.6895, 139.69171, QStringLiteral("far")},
    {QStringLiteral("back\\slash &lt; it's"), -33.8688, -151.2093, QStringLiteral("<b>bold</b>")},
    {QStringLiteral("Pole"), 90, -180, QStringLiteral("edge")},
};

// kPlaces as rows, each link with `extra` after its position.
QStringList placeRows(const QString& extra = {})
{
    QStringList rows;
    for (const Place& p : kPlaces)
        rows.append(makeRow(p.name, links::linkFor(p.latitude, p.longitude) + extra, p.comment));
    return rows;
}

// gpsbabel's reading of `file` as `format`, written to `csv`: what went
// wrong, or nothing.
QString babelToCsv(const QString& format, const QString& file, const QString& csv)
{
    return gpsbabel({QStringLiteral("-i"), format, QStringLiteral("-f"), file, QStringLiteral("-o"),
                     QStringLiteral("unicsv,utf8"), QStringLiteral("-F"), csv});
}

}  // namespace

TEST(Gpsbabel, ReadsOurKmlGpxGeoJsonAndCsv)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList rows = placeRows(QStringLiteral("&alt=100"));
    const struct {
        const char* file;
        const char* format;
    } cases[] = {{"ours.kml", "kml"}, {"ours.gpx", "gpx"}, {"ours.geojson", "geojson"}, {"ours.csv", "unicsv,utf8"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString ours = dir.filePath(QLatin1String(c.file));
        const QString csv = dir.filePath(QStringLiteral("theirs.csv"));
        QString error;
        ASSERT_TRUE(exchange::writeFile(ours, rows, &error)) << error.toStdString();
        const QString failure = babelToCsv(QLatin1String(c.format), ours, csv);
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        expectSamePlaces(placesInCsv(csv), kPlaces, false);
    }
}

// gpsbabel reads no archives: the document of our KMZ, unpacked by
// unzip (which checks the archive first), is what it reads.
TEST(Gpsbabel, ReadsTheDocumentOfOurKmz)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList rows = placeRows();
    const QString kmz = dir.filePath(QStringLiteral("ours.kmz")), kml = dir.filePath(QStringLiteral("doc.kml"));
    QString error;
    ASSERT_TRUE(exchange::writeFile(kmz, rows, &error)) << error.toStdString();
    const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
    ASSERT_FALSE(unzip.isEmpty()) << "unzip is not installed";
    QProcess test;
    test.start(unzip, {QStringLiteral("-tq"), kmz});
    ASSERT_TRUE(test.waitForFinished(60000) && test.exitCode() == 0) << test.readAll().toStdString();
    QProcess unpack;
    unpack.setStandardOutputFile(kml);
    unpack.start(unzip, {QStringLiteral("-p"), kmz, QStringLiteral("doc.kml")});
    ASSERT_TRUE(unpack.waitForFinished(60000) && unpack.exitCode() == 0);
    const QString csv = dir.filePath(QStringLiteral("ours.csv"));
    const QString failure = babelToCsv(QStringLiteral("kml"), kml, csv);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    expectSamePlaces(placesInCsv(csv), kPlaces, false);
}

// gpsbabel writes six decimals: our places that went through it are still
// the places the list holds, and importing them adds nothing.
TEST(Gpsbabel, PlacesBackFromItsKmlAreKnown)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList rows;
    for (const Place& p : kPlaces)
        rows.append(
            makeRow(p.name, links::linkFor(p.latitude - 4.4e-7, std::max(-180.0, p.longitude - 3.21e-7)), p.comment));
    const QString ours = dir.filePath(QStringLiteral("ours.kml")), theirs = dir.filePath(QStringLiteral("theirs.kml"));
    QString error;
    ASSERT_TRUE(exchange::writeFile(ours, rows, &error)) << error.toStdString();
    const QString failure = gpsbabel({QStringLiteral("-i"), QStringLiteral("kml"), QStringLiteral("-f"), ours,
                                      QStringLiteral("-o"), QStringLiteral("kml"), QStringLiteral("-F"), theirs});
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    exchange::Import back = exchange::readFile(theirs);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    ASSERT_EQ(back.rows.size(), rows.size());
    EXPECT_NE(back.rows, rows);  // the positions did move
    exchange::leaveOutKnown(back, rows);
    EXPECT_EQ(back.rows, QStringList());
    EXPECT_EQ(exchange::summary(back), QStringLiteral("No new places: all 4 are in the list already"));
}

namespace {

// kPlaces as a CSV file that gpsbabel reads.
bool writeCsv(const QString& csv)
{
    QFile f(csv);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("name,lat,lon,desc\n");
    for (const Place& p : kPlaces) {
        QString name = p.name, comment = p.comment;
        name.replace(u'"', QLatin1String("\"\""));
        comment.replace(u'"', QLatin1String("\"\""));
        f.write(QStringLiteral("\"%1\",%2,%3,\"%4\"\n")
                    .arg(name, links::decimal(p.latitude), links::decimal(p.longitude), comment)
                    .toUtf8());
    }
    return true;
}

}  // namespace

TEST(Gpsbabel, WeReadWhatItWritesFromACsvOfPlaces)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString csv = dir.filePath(QStringLiteral("places.csv"));
    ASSERT_TRUE(writeCsv(csv));
    const struct {
        const char* format;
        const char* file;
    } outputs[] = {{"kml", "theirs.kml"}, {"gpx", "theirs10.gpx"}, {"gpx,gpxver=1.1", "theirs11.gpx"}};
    for (const auto& o : outputs) {
        SCOPED_TRACE(o.format);
        const QString theirs = dir.filePath(QLatin1String(o.file));
        const QString failure = gpsbabel({QStringLiteral("-i"), QStringLiteral("unicsv,utf8"), QStringLiteral("-f"),
                                          csv, QStringLiteral("-o"), QLatin1String(o.format), QStringLiteral("-F"),
                                          theirs});
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        const exchange::Import got = exchange::readFile(theirs);
        ASSERT_TRUE(got.ok()) << got.error.toStdString();
        expectSamePlaces(placesInRows(got.rows), kPlaces, true);
        for (const QString& row : got.rows)
            EXPECT_TRUE(splitRow(row).link.startsWith(QLatin1String("worldwind://goto/world=Earth&lat=")))
                << row.toStdString();
    }
}

// kPlaces as rows, the way an import of another program's file builds them.
TEST(Gpsbabel, RoundTripsKeepExactlyTheSameRows)
{
    const QStringList rows = placeRows();
    const struct {
        const char* what;
        const char* source;  // ours.*, or places.csv for gpsbabel's own
        const char* in;      // gpsbabel's reading of the source, none for ours alone
        const char* out;
        const char* theirs;
    } cases[] = {
        {"our KML through gpsbabel's KML", "ours.kml", "kml", "kml", "theirs.kml"},
        {"our GPX through gpsbabel's GPX 1.0", "ours.gpx", "gpx", "gpx,gpxver=1.0", "theirs.gpx"},
        {"our GPX through gpsbabel's GPX 1.1", "ours.gpx", "gpx", "gpx,gpxver=1.1", "theirs.gpx"},
        {"our KML through gpsbabel's GPX", "ours.kml", "kml", "gpx", "theirs.gpx"},
        {"gpsbabel's KML of a list of places", "places.csv", "unicsv", "kml", "theirs.kml"},
        {"gpsbabel's GPX of a list of places", "places.csv", "unicsv", "gpx", "theirs.gpx"},
        {"gpsbabel's GeoJSON of a list of places", "places.csv", "unicsv", "geojson", "theirs.geojson"},
        {"our GeoJSON through gpsbabel's GeoJSON", "ours.geojson", "geojson", "geojson", "theirs.geojson"},
        {"our CSV through gpsbabel's GeoJSON", "ours.csv", "unicsv,utf8", "geojson", "theirs.geojson"},
        {"our KMZ", "ours.kmz", nullptr, nullptr, "ours.kmz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString source = dir.filePath(QLatin1String(c.source));
        QString error;
        const bool written = source.endsWith(QLatin1String("places.csv")) ? writeCsv(source)
                                                                          : exchange::writeFile(source, rows, &error);
        ASSERT_TRUE(written) << error.toStdString();
        const QString theirs = dir.filePath(QLatin1String(c.theirs));
        if (c.in) {
            const QString failure = gpsbabel({QStringLiteral("-i"), QLatin1String(c.in), QStringLiteral("-f"), source,
                                              QStringLiteral("-o"), QLatin1String(c.out), QStringLiteral("-F"),
                                              theirs});
            ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        }
        const exchange::Import got = exchange::readFile(theirs);
        ASSERT_TRUE(got.ok()) << got.error.toStdString();
        EXPECT_EQ(got.rows, rows);
        // And back out through ours, in every format.
        for (const char* again : {"again.kml", "again.gpx", "again.kmz", "again.geojson", "again.csv"}) {
            const QString path = dir.filePath(QLatin1String(again));
            ASSERT_TRUE(exchange::writeFile(path, got.rows, &error)) << error.toStdString();
            EXPECT_EQ(exchange::readFile(path).rows, rows) << again;
        }
    }
}
