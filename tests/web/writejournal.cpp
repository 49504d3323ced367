// Writes a journal for the web view tests with the program's own writer:
//   writejournal FOLDER hostile   places with hostile names, comments and
//                                 links, and expected.json: what the page
//                                 must show, as the program reads them back
//                                 (lat and lon null where it shows a dash,
//                                 "shownName" where it shows another name)
//   writejournal FOLDER N         N ordinary places spread over the globe

#include "journal/journalfile.h"
#include "journal/row.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct Place {
    const char* name;
    const char* link;
    const char* comment;
    double lat, lon;  // as World Wind's layer reads them from the link; NaN: no position
};

const Place kHostile[] = {
    {"<img src=x onerror=\"window.__pwned=1\">", "worldwind://goto/world=Earth&lat=48.8566&lon=2.3522",
     "</script><script>window.__pwned=2</script>", 48.8566, 2.3522},
    {"Joe's \"quoted\" \\ back\\\\slash", "javascript:window.__pwned=3", "&amp; stays, &#60;b&#62; turns back", 0, 0},
    {"Caf\xC3\xA9 Z\xC3\xBCrich \xE2\x80\x93 \xE2\x80\x9Cquotes\xE2\x80\x9D \xE2\x82\xAC",
     "worldwind://goto/world=Earth&lat=47.3769&lon=8.5417",
     "Windows-1252: \xC3\xA0\xC3\xA9\xC3\xAE\xC3\xB5\xC3\xBC \xC3\x9F \xC5\x92 \xC5\x93 \xC5\xA0 \xC5\xBE \xC5\xB8",
     47.3769, 8.5417},
    {"\xC5\x81\xC3\xB3\x64\xC5\xBA \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80",
     "worldwind://goto/world=Earth&lat=35.6762&lon=139.6503", "two  spaces kept", 35.6762, 139.6503},
    {"'; alert(1); '", "WORLDWIND://goto/world=Earth&lat=1&lon=1", "\"); window.__pwned=4; (\"", 1, 1},
    {"&lt;b&gt;not bold&lt;/b&gt;", "worldwind://goto/world=Earth&lat=-22.9068&lon=-43.1729",
     "Rio, southern and western", -22.9068, -43.1729},
    {"Sydney", "worldwind://goto/world=Earth&lat=-33.8688&lon=151.2093\"><script>window.__pwned=5</script>",
     "a link with a quote", -33.8688, 151.2093},
    {"data:text/html,<script>", "data:text/html,<script>window.__pwned=6</script>", "", 0, 0},
    {" worldwind://leading blank", " worldwind://goto/world=Earth&lat=10&lon=10", "not a location link", 10, 10},
    {"Off the globe", "worldwind://goto/world=Earth&lat=1e308&lon=200", "", kNone, kNone},
    {nullptr, "worldwind://goto/world=Earth&lat=-45&lon=-150", "half a surrogate pair in the name", -45, -150},
    {nullptr, "worldwind://goto/world=Earth&lat=89.9&lon=179.9", nullptr, 89.9, 179.9},
};

// Names and comments that are no C strings: half a surrogate pair, and a
// name and a comment far longer than any column.
constexpr int kLone = 10, kLong = 11;
const QString kLoneName = QStringLiteral("Lone ") + QChar(0xD800) + QStringLiteral(" half");
const QString kLoneShown = QStringLiteral("Lone \uFFFD half");

QString longText(const char* what, int size)
{
    QString text = QString::fromLatin1(what);
    while (text.size() < size)
        text += QStringLiteral(" and so on, ") + QString::number(text.size());
    return text;
}

QString nameOf(int i)
{
    return i == kLone ? kLoneName : i == kLong ? longText("Long name", 200000) : QString::fromUtf8(kHostile[i].name);
}

QString commentOf(int i)
{
    return i == kLong ? longText("A long comment", 5000) : QString::fromUtf8(kHostile[i].comment);
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER hostile|COUNT\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString mode = QString::fromLocal8Bit(argv[2]);
    QStringList rows;
    if (mode == QLatin1String("hostile")) {
        for (int i = 0; i < int(std::size(kHostile)); ++i)
            rows << makeRow(nameOf(i), QString::fromUtf8(kHostile[i].link), commentOf(i));
    } else {
        const int count = mode.toInt();
        for (int i = 0; i < count; ++i) {
            const double lat = -80.0 + std::fmod(i * 37.77, 160.0);
            const double lon = -179.0 + std::fmod(i * 91.3, 358.0);
            rows << makeRow(
                QStringLiteral("Place %1").arg(i + 1),
                QStringLiteral("worldwind://goto/world=Earth&lat=%1&lon=%2").arg(lat, 0, 'f', 5).arg(lon, 0, 'f', 5),
                QStringLiteral("Visited in spring, note %1").arg(i + 1));
        }
    }
    const QByteArray bytes = journal::journalBytes(rows);
    if (!write(folder.filePath(QStringLiteral("velmora.js")), bytes))
        return 1;
    if (mode != QLatin1String("hostile"))
        return 0;

    // What the page must show: the journal as the program reads it back.
    const QStringList read = journal::parseJournal(bytes).rows;
    QJsonArray expected;
    for (qsizetype i = 0; i < read.size(); ++i) {
        const RowFields f = splitRow(read[i]);
        const auto coordinate = [](double v) { return std::isnan(v) ? QJsonValue() : QJsonValue(v); };
        QJsonObject place{{QStringLiteral("name"), f.name},
                          {QStringLiteral("link"), f.link},
                          {QStringLiteral("comment"), f.comment},
                          {QStringLiteral("lat"), coordinate(kHostile[i].lat)},
                          {QStringLiteral("lon"), coordinate(kHostile[i].lon)}};
        // The program keeps the reference to half a pair as text; the page
        // shows the replacement character.
        if (i == kLone)
            place.insert(QStringLiteral("shownName"), kLoneShown);
        expected.append(place);
    }
    return write(folder.filePath(QStringLiteral("expected.json")), QJsonDocument(expected).toJson()) ? 0 : 1;
}
