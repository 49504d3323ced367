// Places from the files other programs and map services write: GeoJSON
// (saved places of both forms among it), CSV tables (saved lists among
// them), KMZ backups whose document loads other entries, and GPX
// favourites with groups and extensions. Fixtures written by hand from
// the formats' public descriptions.

#include "exchange/journalimport.h"
#include "exchange/kmz.h"
#include "exchange/places.h"
#include "journal/row.h"
#include "worldwind/links.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "printers.h"

using exchange::Format;
using exchange::Import;

namespace {

QString plain(const char* name, double lat, double lon, const char* comment = "")
{
    return makeRow(QString::fromUtf8(name), links::linkFor(lat, lon), QString::fromUtf8(comment));
}

struct Case {
    const char* what;
    Format format;
    QByteArray file;
    QStringList rows;
    int skipped = 0;
    QStringList withoutPosition = {};
};

void expectRead(const Case& c)
{
    SCOPED_TRACE(c.what);
    const Import got = exchange::parse(c.file, c.format);
    ASSERT_TRUE(got.ok()) << got.error.toStdString();
    EXPECT_EQ(got.rows, c.rows);
    EXPECT_EQ(got.skipped, c.skipped);
    EXPECT_EQ(got.withoutPosition, c.withoutPosition);
    EXPECT_EQ(got.placesWithoutPosition, c.withoutPosition.size());
}

}  // namespace

TEST(Foreign, SavedPlacesAndGeoJson)
{
    const Case cases[] = {
        {"saved places, the newer form: a ghost at 0,0 without a position is named, one with it in its link is placed",
         Format::GeoJson,
         R"({"type":"FeatureCollection","features":[
{"geometry":{"coordinates":[2.2944813,48.8583701],"type":"Point"},"properties":{"date":"2023-05-01T10:00:00Z",
 "google_maps_url":"http://maps.google.com/?cid=1234","location":{"address":"Av. Gustave Eiffel, Paris",
 "country_code":"FR","name":"Tour Eiffel"},"Comment":"at dusk"},"type":"Feature"},
{"geometry":{"coordinates":[0,0],"type":"Point"},"properties":{"date":"2022-01-01T00:00:00Z",
 "google_maps_url":"http://maps.google.com/?cid=99","location":{"name":"Bar \"Ghost\""}},"type":"Feature"},
{"geometry":{"coordinates":[0,0],"type":"Point"},"properties":{"date":"2022-01-02T00:00:00Z",
 "google_maps_url":"https://www.google.com/maps/search/41.4036,2.1744"},"type":"Feature"}]})",
         {plain("Tour Eiffel", 48.8583701, 2.2944813, "at dusk; Av. Gustave Eiffel, Paris"),
          plain("", 41.4036, 2.1744)},
         0,
         {QStringLiteral("\"Bar \"Ghost\"\"")}},
        {"saved places, the older form: Title, Location with its coordinates as text, even under a ghost point",
         Format::GeoJson,
         R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":{"type":"Point",
 "coordinates":[13.3777,52.5163]},"properties":{"Title":"Brandenburger Tor","Published":"2019-03-01T00:00:00Z",
 "Google Maps URL":"http://maps.google.com/?cid=5","Location":{"Address":"Pariser Platz, Berlin",
 "Business Name":"Brandenburger Tor","Geo Coordinates":{"Latitude":"52.5163","Longitude":"13.3777"},
 "Country Code":"DE"}}},
{"type":"Feature","geometry":{"type":"Point","coordinates":[0,0]},"properties":{"Title":"Caf\u00e9 & Co",
 "Location":{"Business Name":"Caf\u00e9 & Co","Geo Coordinates":{"Latitude":"-33.8688","Longitude":"151.2093"}}}},
{"type":"Feature","geometry":{"type":"Point","coordinates":[0,0]},"properties":{"Title":"Lost",
 "Google Maps URL":"http://maps.google.com/?q=Lost+Place&ftid=0x1"}}]})",
         {plain("Brandenburger Tor", 52.5163, 13.3777, "Pariser Platz, Berlin"),
          plain("Café & Co", -33.8688, 151.2093)},
         0,
         {QStringLiteral("\"Lost\"")}},
        {"positions in links: /@, ?q=, query= and an escaped comma",
         Format::GeoJson,
         R"({"type":"FeatureCollection","features":[
{"type":"Feature","geometry":null,"properties":{"name":"At","url":"https://www.google.com/maps/place/X/@45.5,-73.56,17z/data=!3m1"}},
{"type":"Feature","geometry":null,"properties":{"name":"Q","google_maps_url":"https://maps.google.com/?q=-22.95,-43.21"}},
{"type":"Feature","geometry":null,"properties":{"name":"Query","url":"https://www.google.com/maps/search/?api=1&query=35.68%2C139.69"}},
{"type":"Feature","geometry":null,"properties":{"name":"Out of range","url":"https://maps.google.com/?q=95,10"}}]})",
         {plain("At", 45.5, -73.56), plain("Q", -22.95, -43.21), plain("Query", 35.68, 139.69)},
         0,
         {QStringLiteral("\"Out of range\"")}},
        {"RFC 7946: MultiPoint one place each, lines and areas skipped, a collection's points, a bare Point",
         Format::GeoJson,
         R"({"type":"FeatureCollection","bbox":[0,0,1,1],"features":[
{"type":"Feature","id":7,"geometry":{"type":"MultiPoint","coordinates":[[10,20],[11,21,300]]},"properties":{"title":"Pair","description":" two "}},
{"type":"Feature","geometry":{"type":"LineString","coordinates":[[1,2],[3,4]]},"properties":{"name":"Road"}},
{"type":"Feature","geometry":{"type":"Polygon","coordinates":[[[1,1],[2,2],[3,1],[1,1]]]},"properties":null},
{"type":"Feature","geometry":{"type":"GeometryCollection","geometries":[{"type":"LineString","coordinates":[[1,2],[3,4]]},
 {"type":"Point","coordinates":[-0.1276,51.5072]}]},"properties":{"name":"  London  ","extra":{"deep":[1,[2,[3]]]}}},
{"type":"Feature","geometry":{"type":"Point","coordinates":[]},"properties":{"name":"Empty point"}}]})",
         {plain("Pair", 20, 10, "two"), plain("Pair", 21, 11, "two"), plain("London", 51.5072, -0.1276)},
         2,
         {QStringLiteral("\"Empty point\"")}},
        {"a byte-order mark, a lone Feature, numbers with exponents",
         Format::GeoJson,
         "\xEF\xBB\xBF{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[1.5e1,-4.5E0]},"
         "\"properties\":{\"name\":\"\\u6771\\u4eac \\ud83d\\ude00\"}}",
         {plain("東京 😀", -4.5, 15)}},
        {"a bare geometry, read without a format by its first character",
         Format::Kml /* ignored below */,
         " \n{\"type\":\"Point\",\"coordinates\":[7,8]}",
         {plain("", 8, 7)}},
    };
    for (const Case& c : cases) {
        if (c.format == Format::Kml) {
            SCOPED_TRACE(c.what);
            const Import got = exchange::parse(c.file);
            ASSERT_TRUE(got.ok()) << got.error.toStdString();
            EXPECT_EQ(got.rows, c.rows);
            continue;
        }
        expectRead(c);
    }
}

TEST(Foreign, TablesAndSavedLists)
{
    const Case cases[] = {
        {"a saved list: the header, a blank line, positions from the links only",
         Format::Csv,
         "Title,Note,URL,Tags,Comment\n"
         ",,,,\n"
         "Sagrada Fam\xC3\xAD"
         "lia,go early,\"https://www.google.com/maps/search/41.4036,2.1744\",,\"tickets, online\"\n"
         "Louvre,,https://www.google.com/maps/place/Louvre/data=!4m2!3m1!1s0x47e6:0x1,,\n"
         "Plaza,,\"https://www.google.com/maps/place/Plaza/@40.4168,-3.7038,15z\",,\n",
         {plain("Sagrada Família", 41.4036, 2.1744, "go early; tickets, online"), plain("Plaza", 40.4168, -3.7038)},
         0,
         {QStringLiteral("\"Louvre\"")}},
        {"a saved list with its title and description before the header, CRLF and a BOM",
         Format::Csv,
         "\xEF\xBB\xBFSummer trip\r\n\"Places, for the summer\"\r\n\r\nTitle,Note,URL,Tags,Comment\r\n"
         "Port,,https://maps.google.com/?q=43.2965%2C5.3698,,\r\n",
         {plain("Port", 43.2965, 5.3698)}},
        {"a spreadsheet: semicolons, columns in any order and case, quotes, separators and line ends in fields",
         Format::Csv,
         "Description;LAT;Lon;Name\n"
         "\"one; two\nthree\";46.5;7.25;\"The \"\"Hut\"\"\"\n"
         "\n"
         ";-33.8688;151.2093;Sydney\n",
         {plain("The \"Hut\"", 46.5, 7.25, "one; two three"), plain("Sydney", -33.8688, 151.2093)}},
        {"tabs, lng, Windows-1252",
         Format::Csv,
         "name\tlat\tlng\tnotes\nCaf\xE9 \x80\t1\t2\tna\xEFve\n",
         {plain("Café €", 1, 2, "naïve")}},
        {"a link of ours without a position does not stay with a position",
         Format::Csv,
         "name,lat,lon,link\nA,1,2,worldwind://goto/world=Earth&lat=&lon=\nB,3,4,",
         {plain("A", 1, 2), plain("B", 3, 4)}},
        {"a row of ours keeps its link and texts exactly",
         Format::Csv,
         "name,latitude,longitude,description,link\r\n  A  ,1,2,\" c "
         "\",worldwind://goto/world=Earth&lat=1&lon=2&alt=9\r\n",
         {makeRow(u"  A  ", u"worldwind://goto/world=Earth&lat=1&lon=2&alt=9", u" c ")}},
    };
    for (const Case& c : cases)
        expectRead(c);
}

TEST(Foreign, HostileFilesAreRefusedWholeWithAReason)
{
    QByteArray deep = "{\"type\":\"Feature\",\"properties\":{\"x\":";
    deep += QByteArray(10000, '[') + QByteArray(10000, ']') + "}}";
    QByteArray manyValues = "{\"type\":\"Feature\",\"properties\":{\"x\":[";
    manyValues += QByteArray("0,").repeated(2'000'001) + "0]}}";
    QByteArray manyFields = "name,lat,lon\n" + QByteArray(",,\n").repeated(700'000);
    QByteArray tooManyPlaces = "name,lat,lon\n" + QByteArray("a,1,2\n").repeated(kMaxRows + 1);
    const struct {
        const char* what;
        Format format;
        QByteArray file;
        const char* error;
    } cases[] = {
        {"a huge number", Format::GeoJson, R"({"type":"Point","coordinates":[1e400,2]})", "not well-formed JSON"},
        {"NaN", Format::GeoJson, R"({"type":"Point","coordinates":[NaN,2]})", "not well-formed JSON"},
        {"Infinity", Format::GeoJson, R"({"type":"Point","coordinates":[Infinity,2]})", "not well-formed JSON"},
        {"arrays nested 10,000 deep", Format::GeoJson, deep, "nested more than 200 deep"},
        {"more values than the limit", Format::GeoJson, manyValues, "more than 2000000 values"},
        {"a latitude past the pole", Format::GeoJson,
         R"({"type":"Feature","properties":{"name":"N"},"geometry":{"type":"Point","coordinates":[1,91]}})",
         "\"N\" (feature 1) has the latitude 91, out of range (-90 to 90)"},
        {"coordinates as text", Format::GeoJson, R"({"type":"Point","coordinates":["1","2"]})",
         "not [longitude, latitude]"},
        {"one coordinate", Format::GeoJson, R"({"type":"Point","coordinates":[1]})", "not [longitude, latitude]"},
        {"an unknown geometry", Format::GeoJson, R"({"type":"Circle","coordinates":[1,2]})", "unknown type \"Circle\""},
        {"not GeoJSON", Format::GeoJson, R"([1,2,3])", "it is not GeoJSON"},
        {"bytes that are not UTF-8", Format::GeoJson, "{\"type\":\"Point\",\"name\":\"\xC3\x28\"}",
         "not well-formed JSON"},
        {"text after the document", Format::GeoJson, R"({"type":"Point","coordinates":[1,2]} x)",
         "not well-formed JSON"},
        {"a collection without features", Format::GeoJson, R"({"type":"FeatureCollection"})", "no \"features\" list"},
        {"a quote never closed", Format::Csv, "name,lat,lon\n\"a,1,2\n", "starts on line 2 is never closed"},
        {"a latitude that is no number", Format::Csv, "name,lat,lon\nX,north,2\n",
         "\"X\" (line 2) has the latitude \"north\", which is not a number"},
        {"half a position", Format::Csv, "name,lat,lon\nX,1,\n", "\"X\" (line 2) has no longitude"},
        {"a longitude past the date line", Format::Csv, "name,lat,lon\nX,1,181\n", "out of range (-180 to 180)"},
        {"no header", Format::Csv, "a,b,c\n1,2,3\n", "no header line naming its columns"},
        {"more fields than the limit", Format::Csv, manyFields, "more than 2000000 fields"},
        {"more places than a journal holds", Format::Csv, tooManyPlaces, "more than 32767 places"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Import got = exchange::parse(c.file, c.format);
        EXPECT_TRUE(got.error.contains(QString::fromUtf8(c.error))) << got.error.toStdString();
        EXPECT_TRUE(got.rows.isEmpty());
    }
}

// The largest string the file limit allows, as a name: read within a
// bounded memory and refused by the field limit, never cut.
TEST(Foreign, ANameOf64MegabytesIsRefusedByTheFieldLimit)
{
    const QByteArray head =
        R"({"type":"Feature","geometry":{"type":"Point","coordinates":[1,2]},"properties":{"name":")";
    const QByteArray tail = "\"}}";
    const qsizetype length = exchange::kMaxFileSize - head.size() - tail.size();
    QByteArray file = head + QByteArray(length, 'a') + tail;
    ASSERT_EQ(file.size(), exchange::kMaxFileSize);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QList<exchange::ImportFile> files{{QStringLiteral("big.json"), exchange::parse(std::move(file), Format::GeoJson)}};
    const exchange::ImportPlan plan = exchange::planImport({}, files);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(plan.outcome, exchange::ImportPlan::Refused);
    EXPECT_TRUE(plan.why.contains(QStringLiteral("a name of %1 characters").arg(length))) << plan.why.toStdString();
    // The bytes, simdjson's copy of the string and the name's UTF-16 (an
    // AddressSanitizer build keeps freed memory aside, and is not measured).
    bool sanitized = false;
#if defined(__SANITIZE_ADDRESS__)
    sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    sanitized = true;
#endif
#endif
    if (!sanitized) {
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 6 * exchange::kMaxFileSize / 1024);
    }
}

// A file of nothing but places without a position, as many as the file
// limit allows: all counted, a hundred named.
TEST(Foreign, GhostsUpToTheFileLimitAreCountedNotAllNamed)
{
    const QByteArray ghost = R"({"type":"Feature","geometry":null},)";
    QByteArray file = R"({"type":"FeatureCollection","features":[)";
    const qsizetype count = (exchange::kMaxFileSize - file.size() - 64) / ghost.size();
    file += ghost.repeated(count);
    file.chop(1);
    file += "]}";
    const Import got = exchange::parse(file, Format::GeoJson);
    ASSERT_TRUE(got.error.contains(QLatin1String("more than 2000000 values")) || got.ok()) << got.error.toStdString();
    if (got.ok()) {
        EXPECT_EQ(got.placesWithoutPosition, count);
        EXPECT_EQ(got.withoutPosition.size(), exchange::kNamedWithoutPosition);
    }
    const QByteArray fewer = R"({"type":"FeatureCollection","features":[)" + ghost.repeated(300'000).chopped(1) + "]}";
    const Import counted = exchange::parse(fewer, Format::GeoJson);
    ASSERT_TRUE(counted.ok()) << counted.error.toStdString();
    EXPECT_EQ(counted.placesWithoutPosition, 300'000);
    EXPECT_EQ(counted.withoutPosition.size(), exchange::kNamedWithoutPosition);
    EXPECT_TRUE(exchange::summary(counted).endsWith(QLatin1String(", the place at feature 5 and 299995 more")))
        << exchange::summary(counted).toStdString();
}

namespace {

QByteArray kml(const QByteArray& body)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?><kml xmlns="http://www.opengis.net/kml/2.2" xmlns:mwm="https://comaps.app"><Document>)"
           + body + "</Document></kml>";
}

QByteArray link(const char* href)
{
    return QByteArray("<NetworkLink><name>l</name><Link><href>") + href + "</href></Link></NetworkLink>";
}

QByteArray placemark(const char* name, const char* coordinates)
{
    return QByteArray("<Placemark><name>") + name
           + "</name><ExtendedData xmlns:mwm=\"https://comaps.app\"><mwm:icon>Star</mwm:icon><mwm:scale>1</mwm:scale>"
             "</ExtendedData><Point><coordinates>"
           + coordinates + "</coordinates></Point></Placemark>";
}

}  // namespace

TEST(Foreign, KmzBackupsFollowTheirLinksInsideTheArchiveOnly)
{
    const QByteArray lists = kml("<ExtendedData><mwm:name><mwm:lang code=\"default\">Lists</mwm:lang></mwm:name>"
                                 "</ExtendedData>"
                                 + link("files/Food.kml") + link("files/Trip%20one.kml") + link("../outside.kml")
                                 + link("http://example.com/x.kml") + link("files/missing.kml")
                                 + link("/etc/passwd.kml"));
    const QByteArray food = kml("<Folder><name>A</name><Folder><name>B</name>" + placemark("Pizza", "12.5,41.9")
                                + "</Folder></Folder>" + link("../doc.kml"));
    const QByteArray trip = kml(placemark("Hut", "7.25,46.5") + link("./../files/Food.kml")
                                + "<Placemark><name>Road</name><LineString><coordinates>1,2 3,4</coordinates>"
                                  "</LineString></Placemark>");
    const QByteArray lone = kml(placemark("Lone", "1,2"));
    const std::optional<QByteArray> archive = exchange::kmz::pack({{QStringLiteral("doc.kml"), lists},
                                                                   {QStringLiteral("files/Unlinked.kml"), lone},
                                                                   {QStringLiteral("images/i.png"), "PNG"},
                                                                   {QStringLiteral("files/Trip one.kml"), trip},
                                                                   {QStringLiteral("files/Food.kml"), food}},
                                                                  nullptr);
    ASSERT_TRUE(archive);
    const Import got = exchange::parse(*archive);
    ASSERT_TRUE(got.ok()) << got.error.toStdString();
    // The linked entries in link order, each once, then the others.
    EXPECT_EQ(got.rows, (QStringList{plain("Pizza", 41.9, 12.5), plain("Hut", 46.5, 7.25), plain("Lone", 2, 1)}));
    // ../outside.kml, http:, the missing entry, the absolute path, and the road.
    EXPECT_EQ(got.skipped, 5);

    const struct {
        const char* from;
        const char* link;
        const char* to;  // nothing: leaves the archive
    } paths[] = {
        {"doc.kml", "files/a.kml", "files/a.kml"},
        {"files/b.kml", "a.kml", "files/a.kml"},
        {"files/b.kml", "../doc.kml", "doc.kml"},
        {"doc.kml", "../doc.kml", nullptr},
        {"doc.kml", "files/../../x.kml", nullptr},
        {"doc.kml", "http://example.com/a.kml", nullptr},
        {"doc.kml", "file:///etc/a.kml", nullptr},
        {"doc.kml", "C:\\a.kml", nullptr},
        {"doc.kml", "/a.kml", nullptr},
        {"doc.kml", "%2e%2e/a.kml", nullptr},
        {"doc.kml", "files\\a.kml#x", "files/a.kml"},
    };
    for (const auto& p : paths) {
        const std::optional<QString> to = exchange::kmz::resolve(QLatin1String(p.from), QString::fromLatin1(p.link));
        EXPECT_EQ(to, p.to ? std::optional<QString>(QLatin1String(p.to)) : std::nullopt) << p.from << " " << p.link;
    }
}

TEST(Foreign, AnEntryPastTheLimitIsRefusedWhereverItIsLinked)
{
    const QByteArray bad = kml(placemark("Bad", "1,95"));
    const std::optional<QByteArray> archive = exchange::kmz::pack(
        {{QStringLiteral("doc.kml"), kml(link("files/bad.kml"))}, {QStringLiteral("files/bad.kml"), bad}}, nullptr);
    ASSERT_TRUE(archive);
    const Import got = exchange::parse(*archive);
    EXPECT_TRUE(got.error.startsWith(QLatin1String("in its document files/bad.kml, \"Bad\"")))
        << got.error.toStdString();
    EXPECT_TRUE(got.rows.isEmpty());
}

TEST(Foreign, GpxFavouritesWithGroupsAndExtensions)
{
    const Case c{"favourites with groups, icons and colours",
                 Format::Gpx,
                 R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="maps" xmlns="http://www.topografix.com/GPX/1/1" xmlns:osmand="https://osmand.net">
<metadata><name>favourites</name><extensions><osmand:points_groups>
 <group name="Food" color="#ff0000" icon="restaurant" background="circle"/></osmand:points_groups></extensions></metadata>
<wpt lat="41.9" lon="12.5"><time>2024-01-01T00:00:00Z</time><name>Pizza</name><desc>thin crust</desc><type>Food</type>
 <extensions><osmand:icon>restaurant</osmand:icon><osmand:color>#ff0000</osmand:color><osmand:address>Via Roma 1</osmand:address></extensions></wpt>
<wpt lat="46.5" lon="7.25"><name>Hut</name><extensions><osmand:hidden>true</osmand:hidden></extensions></wpt>
</gpx>)",
                 {plain("Pizza", 41.9, 12.5, "thin crust"), plain("Hut", 46.5, 7.25)}};
    expectRead(c);
}

TEST(Foreign, PlacesWithoutAPositionAreNamedInTheSummary)
{
    Import found;
    found.rows = {plain("A", 1, 2)};
    found.withoutPosition = {QStringLiteral("\"B\"")};
    found.placesWithoutPosition = 1;
    EXPECT_EQ(exchange::summary(found), QStringLiteral("1 place; 1 place without a position left out: \"B\""));
    found.withoutPosition = {QStringLiteral("\"1\""), QStringLiteral("\"2\""), QStringLiteral("\"3\""),
                             QStringLiteral("\"4\""), QStringLiteral("\"5\""), QStringLiteral("the place at line 9"),
                             QStringLiteral("\"7\"")};
    found.placesWithoutPosition = 7;
    EXPECT_EQ(exchange::summary(found), QStringLiteral("1 place; 7 places without a position left out: \"1\", \"2\", "
                                                       "\"3\", \"4\", \"5\" and 2 more"));
}
