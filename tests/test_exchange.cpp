// Places in KML and GPX: our own files come back as the same rows; what
// other programs write is read for its points; bad files are refused whole.

#include "exchange/places.h"
#include "hostilexml.h"
#include "journal/row.h"
#include "worldwind/links.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "printers.h"

using exchange::Import;

namespace {

QString row(const char* name, const char* link, const char* comment)
{
    return makeRow(QString::fromUtf8(name), QString::fromUtf8(link), QString::fromUtf8(comment));
}

QByteArray bytesIn(exchange::Format format, const QStringList& rows)
{
    switch (format) {
    case exchange::Format::Kml: return exchange::kmlBytes(rows);
    case exchange::Format::Gpx: return exchange::gpxBytes(rows);
    case exchange::Format::GeoJson: return exchange::geoJsonBytes(rows);
    case exchange::Format::Csv: return exchange::csvBytes(rows);
    case exchange::Format::Kmz: break;
    }
    return {};
}

// Names, comments and links that have broken XML writers and readers.
QStringList hostileRows()
{
    return {
        row("<b>Joe's \"bar\"</b>", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "a < b > c & d"),
        row("back\\slash \\\" \\n", "worldwind://goto/world=Earth&lat=-33.8688&lon=151.2093", "C:\\temp\\"),
        row("&lt; &amp; &#39; &#x41; &nbsp;", "worldwind://goto/world=Earth&lat=0&lon=0", "&quot;literal&quot;"),
        row("]]> <![CDATA[ x ]]>", "worldwind://goto/world=Earth&lat=1e1&lon=-0.000001", "<!-- no -->"),
        row("東京 Łódź 😀 €", "worldwind://goto/world=Earth&lat=35.6895&lon=139.69171", "ĳ ŀ \u2028 end"),
        row("  blanks around  ", "worldwind://goto/world=Earth&lat=10&lon=20&alt=500&dir=0", "  "),
        row("", "worldwind://goto/world=Earth&lat=90&lon=-180", ""),
        row("Noname", "worldwind://goto/world=Mars&lat=abc&lon=", "no position: at 0,0 like on the globe"),
        row("quote in link", "worldwind://goto/\"x\"&lat=95&lon=200<tag>&amp;", "out of range"),
        row("lf in link", "worldwind://goto/a\nb&lat=1&lon=2", "cr too"),
        row("cr in link", "worldwind://goto/a\rb&lat=1&lon=2", ""),
    };
}

QStringList fullJournal()
{
    QStringList rows;
    rows.reserve(kMaxRows);
    for (int i = 0; i < kMaxRows; ++i)
        rows.append(makeRow(QStringLiteral("Place %1 <%2> \"é\"").arg(i).arg(i % 7),
                            links::linkFor(-90 + (i % 18001) * 0.01, -180 + (i % 36001) * 0.01),
                            i % 3 ? QStringLiteral("comment & %1").arg(i) : QString()));
    return rows;
}

class RoundTrip : public ::testing::TestWithParam<exchange::Format> {};

}  // namespace

TEST_P(RoundTrip, HostileRowsComeBackExactly)
{
    const Import back = exchange::parse(bytesIn(GetParam(), hostileRows()), GetParam());
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    EXPECT_EQ(back.rows, hostileRows());
    EXPECT_EQ(back.skipped, 0);
}

TEST_P(RoundTrip, FullJournalComesBackExactly)
{
    const QStringList rows = fullJournal();
    const Import back = exchange::parse(bytesIn(GetParam(), rows), GetParam());
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    EXPECT_EQ(back.rows.size(), rows.size());
    EXPECT_TRUE(back.rows == rows);
}

TEST_P(RoundTrip, FileIsUtf8WithCrLfAndNoBareControlCharacters)
{
    if (GetParam() != exchange::Format::Kml && GetParam() != exchange::Format::Gpx)
        GTEST_SKIP() << "XML only";
    const QStringList rows{row("x\x01y\x1F", "worldwind://goto/world=Earth&lat=1&lon=2", "\xEF\xBF\xBE")};
    const QByteArray bytes = bytesIn(GetParam(), rows);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"));
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    // Characters XML cannot carry at all become U+FFFD instead of making
    // the file unreadable.
    const Import back = exchange::parse(bytes);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    EXPECT_EQ(back.rows, QStringList{row("x\uFFFDy\uFFFD", "worldwind://goto/world=Earth&lat=1&lon=2", "\uFFFD")});
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         ::testing::Values(exchange::Format::Kml, exchange::Format::Gpx, exchange::Format::GeoJson,
                                           exchange::Format::Csv),
                         [](const auto& format) {
                             switch (format.param) {
                             case exchange::Format::Kml: return "Kml";
                             case exchange::Format::Gpx: return "Gpx";
                             case exchange::Format::GeoJson: return "GeoJson";
                             default: return "Csv";
                             }
                         });

TEST(Export, ExactFiles)
{
    const QStringList rows{row("Paris & <co>", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "capital")};
    EXPECT_EQ(exchange::kmlBytes(rows),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\r\n"
              "<name>Velmora</name>\r\n"
              "<Placemark><name>Paris &amp; &lt;co&gt;</name><description>capital</description>"
              "<ExtendedData><Data name=\"worldwind-link\">"
              "<value>worldwind://goto/world=Earth&amp;lat=48.85&amp;lon=2.35</value></Data></ExtendedData>"
              "<Point><coordinates>2.35,48.85</coordinates></Point></Placemark>\r\n"
              "</Document>\r\n"
              "</kml>\r\n");
    EXPECT_EQ(exchange::gpxBytes(rows),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" version=\"1.1\" creator=\"Velmora\">\r\n"
              "<wpt lat=\"48.85\" lon=\"2.35\"><name>Paris &amp; &lt;co&gt;</name><desc>capital</desc>"
              "<link href=\"worldwind://goto/world=Earth&amp;lat=48.85&amp;lon=2.35\"/></wpt>\r\n"
              "</gpx>\r\n");
}

// The globe's copy draws the names as Configuration chose them; the file
// still reads back as the same places.
TEST(Export, GlobeLabelsTakeTheLabelColourAndSize)
{
    const QStringList rows{row("Paris", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "")};
    placenames::LabelFont font;
    font.color = 0x0080FF;  // orange: red in the low byte
    font.size = 14;
    EXPECT_EQ(exchange::kmlBytes(rows, font),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\r\n"
              "<name>Velmora</name>\r\n"
              "<Style id=\"velmora-label\"><IconStyle><Icon><href>velmora-place.png</href></Icon></IconStyle>"
              "<LabelStyle><color>ff0080ff</color><scale>1.4</scale></LabelStyle></Style>\r\n"
              "<Placemark><name>Paris</name><styleUrl>#velmora-label</styleUrl>"
              "<ExtendedData><Data name=\"worldwind-link\">"
              "<value>worldwind://goto/world=Earth&amp;lat=48.85&amp;lon=2.35</value></Data></ExtendedData>"
              "<Point><coordinates>2.35,48.85</coordinates></Point></Placemark>\r\n"
              "</Document>\r\n"
              "</kml>\r\n");
    const struct {
        qint32 color;
        qint16 size;
        const char* style;
    } cases[] = {
        {16777215, 10, "<color>ffffffff</color><scale>1</scale>"},  // the settings' defaults
        {255, 8, "<color>ff0000ff</color><scale>0.8</scale>"},
        {16711680, 20, "<color>ffff0000</color><scale>2</scale>"},
        {0x123456, 11, "<color>ff123456</color><scale>1.1</scale>"},
        {0, 0, "<color>ff000000</color><scale>0.1</scale>"},
        {0x7F123456, -5, "<color>ff123456</color><scale>0.1</scale>"},  // hand-edited settings
        {-1, 32767, "<color>ffffffff</color><scale>10</scale>"},
    };
    for (const auto& c : cases) {
        font.color = c.color;
        font.size = c.size;
        const QByteArray kml = exchange::kmlBytes(hostileRows(), font);
        EXPECT_TRUE(kml.contains(QByteArray("<LabelStyle>") + c.style + "</LabelStyle>")) << c.color << " " << c.size;
        EXPECT_EQ(kml.count("<styleUrl>#velmora-label</styleUrl>"), hostileRows().size());
        const Import back = exchange::parse(kml);
        EXPECT_TRUE(back.ok()) << back.error.toStdString();
        EXPECT_EQ(back.rows, hostileRows());
    }
}

TEST(Export, FormatByExtensionAndWholeFileOrNothing)
{
    EXPECT_EQ(exchange::formatOf(QStringLiteral("a/b.KML")), exchange::Format::Kml);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("x.gpx")), exchange::Format::Gpx);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("x.kmz")), exchange::Format::Kmz);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("Saved Places.json")), exchange::Format::GeoJson);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("x.GeoJSON")), exchange::Format::GeoJson);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("x.csv")), exchange::Format::Csv);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("x.zip")), std::nullopt);
    EXPECT_EQ(exchange::formatOf(QStringLiteral("kml")), std::nullopt);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList rows{row("A", "worldwind://goto/world=Earth&lat=1&lon=2", "")};
    QString error;
    EXPECT_FALSE(exchange::writeFile(dir.filePath(QStringLiteral("places.txt")), rows, &error));
    EXPECT_TRUE(error.contains(QLatin1String(".kml, .gpx, .kmz, .geojson, .json or .csv"))) << error.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("places.txt"))));
    EXPECT_FALSE(exchange::writeFile(dir.filePath(QStringLiteral("missing/places.kml")), rows, &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(exchange::writeFile(dir.filePath(QStringLiteral("places.gpx")), rows, &error));
    EXPECT_EQ(exchange::readFile(dir.filePath(QStringLiteral("places.gpx"))).rows, rows);
}

namespace {

struct Foreign {
    const char* what;
    QByteArray file;
    QStringList rows;
    int skipped;
    int routeAndTrackPoints;
};

QString at(double lat, double lon)
{
    return links::linkFor(lat, lon);
}

QString plain(const char* name, double lat, double lon, const char* comment = "")
{
    return makeRow(QString::fromUtf8(name), at(lat, lon), QString::fromUtf8(comment));
}

}  // namespace

TEST(Import, WhatOtherProgramsWrite)
{
    const Foreign cases[] = {
        {"nested folders, styles, altitude, CDATA, blanks in texts and coordinates",
         R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2">
<Document><name>Trip</name>
 <Style id="s"><IconStyle><Icon><href>x.png</href></Icon></IconStyle></Style>
 <Folder><name>Day 1</name><Folder>
  <Placemark><name>
     Summit </name><styleUrl>#s</styleUrl>
   <description><![CDATA[<b>steep</b>
   path]]></description>
   <Point><altitudeMode>absolute</altitudeMode><coordinates> 7.6586 , 45.9763 , 4478 </coordinates></Point>
  </Placemark>
 </Folder></Folder>
 <Placemark><name>Hut</name><Point><coordinates>7.65,45.98</coordinates></Point></Placemark>
</Document></kml>)",
         {plain("Summit", 45.9763, 7.6586, "<b>steep</b>    path"), plain("Hut", 45.98, 7.65)},
         0,
         0},
        {"prefixed namespace and an older KML namespace",
         R"(<k:kml xmlns:k="http://earth.google.com/kml/2.1"><k:Placemark><k:name>A</k:name>
<k:Point><k:coordinates>-122.08,37.42,0</k:coordinates></k:Point></k:Placemark></k:kml>)",
         {plain("A", 37.42, -122.08)},
         0,
         0},
        {"lines, areas, tracks and overlays are skipped; a MultiGeometry's point is taken",
         R"(<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2"><Document>
<Placemark><name>Road</name><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark>
<Placemark><name>Park</name><MultiGeometry><Polygon><outerBoundaryIs><LinearRing>
 <coordinates>1,1 2,2 3,1 1,1</coordinates></LinearRing></outerBoundaryIs></Polygon>
 <Point><coordinates>2,1.5</coordinates></Point></MultiGeometry></Placemark>
<Placemark><name>Walk</name><gx:Track><gx:coord>1 2 3</gx:coord></gx:Track></Placemark>
<Placemark><name>No geometry</name></Placemark>
<GroundOverlay><name>Map</name></GroundOverlay><NetworkLink><name>Feed</name></NetworkLink>
</Document></kml>)",
         {plain("Park", 1.5, 2)},
         5,
         0},
        {"our link is kept, unless the point was moved in another program",
         R"(<kml><Placemark><name> Kept </name><ExtendedData><Data name="worldwind-link">
<value>worldwind://goto/world=Earth&amp;lat=10&amp;lon=20&amp;view=3</value></Data></ExtendedData>
<Point><coordinates>20,10</coordinates></Point></Placemark>
<Placemark><name>Moved</name><ExtendedData><Data name="worldwind-link">
<value>worldwind://goto/world=Earth&amp;lat=10&amp;lon=20</value></Data></ExtendedData>
<Point><coordinates>21,10</coordinates></Point></Placemark>
<Placemark><name>Not a location link</name><ExtendedData><Data name="worldwind-link">
<value>file:///etc/passwd</value></Data></ExtendedData>
<Point><coordinates>20,10</coordinates></Point></Placemark>
<Placemark><description>only this</description><Point><coordinates>20,10</coordinates></Point></Placemark>
<Placemark><Point><coordinates>5,6</coordinates></Point></Placemark></kml>)",
         {makeRow(u" Kept ", u"worldwind://goto/world=Earth&lat=10&lon=20&view=3", u""), plain("Moved", 10, 21),
          plain("Not a location link", 10, 20), plain("", 10, 20, "only this"), plain("", 6, 5)},
         0,
         0},
        {"GPX 1.1: routes and tracks counted, other links ignored, cmt when there is no desc",
         R"(<?xml version="1.0"?>
<gpx version="1.1" creator="x" xmlns="http://www.topografix.com/GPX/1/1">
<metadata><name>Not a place</name></metadata>
<wpt lat="46.5" lon="-0.25"><ele>120</ele><name>Well</name><cmt>dry</cmt>
 <link href="https://example.org/well"><text>info</text></link></wpt>
<wpt lat="-10" lon="170"><name>Isle</name><cmt>ignored</cmt><desc>beach</desc></wpt>
<rte><name>R</name><rtept lat="1" lon="1"/><rtept lat="2" lon="2"/></rte>
<trk><trkseg><trkpt lat="1" lon="1"/><trkpt lat="1" lon="2"/></trkseg><trkseg><trkpt lat="3" lon="3"/></trkseg></trk>
</gpx>)",
         {plain("Well", 46.5, -0.25, "dry"), plain("Isle", -10, 170, "beach")},
         0,
         5},
        {"GPX 1.0 with our link as url",
         R"(<gpx version="1.0" xmlns="http://www.topografix.com/GPX/1/0"><wpt lat="1.5" lon="2.5"><name>Old</name>
<desc>gps</desc><url>worldwind://goto/world=Earth&amp;lat=1.5&amp;lon=2.5&amp;alt=9</url></wpt>
<wpt lat="3" lon="4"/></gpx>)",
         {makeRow(u"Old", u"worldwind://goto/world=Earth&lat=1.5&lon=2.5&alt=9", u"gps"), plain("", 3, 4)},
         0,
         0},
        {"elements inside texts that are read whole",
         R"(<kml><Placemark><name>A</name><ExtendedData><Data name="worldwind-link"><value>worldwind://goto/<b>world=Earth&amp;lat=1&amp;lon=2</b></value>
</Data></ExtendedData><Point><coordinates>2,1</coordinates></Point></Placemark></kml>)",
         {makeRow(u"A", u"worldwind://goto/world=Earth&lat=1&lon=2", u"")},
         0,
         0},
        {"links from files are kept trimmed where they point at the place, else rebuilt",
         "<gpx version=\"1.0\"><wpt lat=\"48.85\" lon=\"2.35\"><name>Trailing</name><url>\n "
         "worldwind://goto/world=Earth&amp;"
         "lat=48.85&amp;lon=2.35<b/>\r\n\t</url></wpt>\n<wpt lat=\"48.85\" lon=\"2.35\"><name>Stored badly</name><link "
         "href=\""
         "worldwind://goto/world=Earth&amp;lat=48.85&amp;lon=2.35%0A%09\"/></wpt>\n<wpt lat=\"3\" "
         "lon=\"4\"><name>Layer reads 0"
         "</name><link href=\"worldwind://goto/world=Earth&amp;lat=&#13;3&amp;lon=4\"/></wpt></gpx>",
         {makeRow(u"Trailing", u"worldwind://goto/world=Earth&lat=48.85&lon=2.35", u""),
          makeRow(u"Stored badly", links::linkFor(48.85, 2.35), u""),
          makeRow(u"Layer reads 0", links::linkFor(3, 4), u"")},
         0,
         0},
        {"80,000 attributes, a DOCTYPE without entities, another encoding",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!DOCTYPE gpx><gpx><wpt "
             + QByteArray(" a=\"1\"").repeated(80000) + " lat=\"1\" lon=\"2\"><name>Caf\xe9</name></wpt></gpx>",
         {plain("Caf\xC3\xA9", 1, 2)},
         0,
         0},
        {"texts in and beyond ASCII, with U+FEFF first, inside and last",
         "<gpx><wpt lat=\"1\" lon=\"2\"><name>\xEF\xBB\xBF"
         "a\xEF\xBB\xBF"
         "b\xC3\xA9\xEF\xBB\xBF</name><desc>z\xEF\xBB\xBF\xF0\x9F\x8C\x8D</desc></wpt><wpt lat=\"3\" "
         "lon=\"4\"><name>\xC3\xA9"
         "a</name></wpt></gpx>",
         {plain("\xEF\xBB\xBF"
                "a\xEF\xBB\xBF"
                "b\xC3\xA9\xEF\xBB\xBF",
                1, 2, "z\xEF\xBB\xBF\xF0\x9F\x8C\x8D"),
          plain("\xC3\xA9"
                "a",
                3, 4)},
         0,
         0},
        {"U+FEFF first in a number, a link and coordinates is dropped as it is from a name",
         "<kml><Placemark><name>\xEF\xBB\xBFK</name><ExtendedData><Data name=\"worldwind-link\"><value>\xEF\xBB\xBF"
         "worldwind://goto/world=Earth&amp;lat=1&amp;lon=2&amp;z</value></Data></ExtendedData>"
         "<Point><coordinates>\xEF\xBB\xBF 2,1</coordinates></Point></Placemark></kml>",
         {makeRow(u"K", u"worldwind://goto/world=Earth&lat=1&lon=2&z", u"")},
         0,
         0},
        {"U+FEFF first once blanks are trimmed, or twice, is dropped: it would not come back from our file",
         "<gpx><wpt lat=\"1\" lon=\"2\"><name>\t\xEF\xBB\xBFgo\n/&gt;</name><desc>\xEF\xBB\xBF\xEF\xBB\xBF"
         "d</desc></wpt></gpx>",
         {plain("go />", 1, 2, "d")},
         0,
         0},
        {"U+FEFF inside a link's number: the link no longer points at the place",
         "<gpx><wpt lat=\"\xEF\xBB\xBF"
         "1\" lon=\"2\"><name>G</name><link href=\"worldwind://goto/world=Earth&amp;"
         "lat=\xEF\xBB\xBF"
         "1&amp;lon=2\"/></wpt></gpx>",
         {plain("G", 1, 2)},
         0,
         0},
        {"a bare \"&\" where it is no reference: in a comment and in CDATA",
         "<gpx><!-- a & b --><wpt lat=\"1\" lon=\"2\"><name><![CDATA[R&D]]> &amp; co</name></wpt></gpx>",
         {plain("R&D & co", 1, 2)},
         0,
         0},
        {"no places at all", "<gpx version=\"1.1\"/>", {}, 0, 0},
        {"nested 200 deep",
         "<gpx>" + QByteArray("<a>").repeated(199) + QByteArray("</a>").repeated(199) + "</gpx>",
         {},
         0,
         0},
    };
    for (const Foreign& c : cases) {
        SCOPED_TRACE(c.what);
        const Import got = exchange::parse(c.file);
        ASSERT_TRUE(got.ok()) << got.error.toStdString();
        EXPECT_EQ(got.rows, c.rows);
        EXPECT_EQ(got.skipped, c.skipped);
        EXPECT_EQ(got.routeAndTrackPoints, c.routeAndTrackPoints);
    }
}

TEST(Import, BadFilesAreRefusedWholeWithAReason)
{
    const struct {
        const char* what;
        QByteArray file;
        const char* reason;
    } cases[] = {
        {"ill-formed", "<kml><Placemark><name>A</Placemark></kml>", "not well-formed XML (line 1"},
        {"cut short", "<gpx version=\"1.1\"><wpt lat=\"1\" lon=\"2\">", "not well-formed"},
        {"empty", "", "not well-formed"},
        {"more after the root", "<gpx version=\"1.1\"/><gpx>", "not well-formed"},
        {"unknown root", "<html><body/></html>", "neither KML nor GPX (its root element is <html>)"},
        {"latitude out of range",
         "<kml><Placemark><name>Far</name><Point><coordinates>10,95</coordinates></Point></Placemark></kml>",
         "\"Far\" (line 1) has the latitude 95, out of range (-90 to 90)"},
        {"longitude not a number", "<gpx><wpt lat=\"1\" lon=\"east\"><name>E</name></wpt></gpx>",
         "has the longitude \"east\", which is not a number"},
        {"infinite", "<gpx><wpt lat=\"inf\" lon=\"1\"/></gpx>", "which is not a number"},
        {"comma as decimal point", "<gpx><wpt lat=\"1,5\" lon=\"1\"/></gpx>", "which is not a number"},
        {"no latitude", "<gpx>\n<wpt lon=\"1\"/></gpx>", "the place on line 2 has no latitude"},
        {"two positions in a point",
         "<kml><Placemark><Point><coordinates>1,2 3,4</coordinates></Point></Placemark></kml>",
         "not one longitude,latitude"},
        {"point without coordinates", "<kml><Placemark><Point/></Placemark></kml>", "has no coordinates"},
        {"U+FEFF inside coordinates",
         "<kml><Placemark><Point><coordinates>2,\xEF\xBB\xBF"
         "1</coordinates></Point></Placemark></kml>",
         "has the latitude \"\xEF\xBB\xBF"
         "1\", which is not a number"},
        {"a second Point that is not sound",
         "<kml><Placemark><Point><coordinates>2,1</coordinates></Point><Point><coordinates>2 1</coordinates></Point>"
         "</Placemark></kml>",
         "the coordinates on line 1 are not one longitude,latitude"},
        {"entity expansion bomb", hostilexml::kLaughs, "declares entities"},
        {"external entity",
         "<!DOCTYPE gpx [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><gpx><wpt lat=\"1\" lon=\"2\"><name>&x;"
         "</name></wpt></gpx>",
         "declares entities"},
        {"undeclared entity, its line and column",
         "<gpx>\n<wpt lat=\"1\" lon=\"2\">\n  <name>\xC3\xA9&x;</name></wpt></gpx>",
         "not well-formed XML (line 3, column 10: \"&x;\" is not a reference"},
        {"larger than 64 MB", QByteArray(exchange::kMaxFileSize + 1, ' '), "too large (65 MB"},
        {"nested 201 deep", "<gpx>\n" + QByteArray("<a>").repeated(200) + QByteArray("</a>").repeated(200) + "</gpx>",
         "its elements are nested more than 200 deep (line 2)"},
        {"one element past the limit", "<kml>" + QByteArray("<a/>").repeated(2'000'000) + "</kml>",
         "more than 2000000 elements"},
        {"past the limit, a bad byte first", "<kml>\x01" + QByteArray("<a/>").repeated(2'000'000) + "</kml>",
         "more than 2000000 elements"},
        {"past the limit in comments at the end", "<kml/>" + QByteArray("<!---->").repeated(2'000'000),
         "more than 2000000 elements"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Import got = exchange::parse(c.file);
        EXPECT_FALSE(got.ok());
        EXPECT_TRUE(got.error.contains(QString::fromUtf8(c.reason))) << got.error.toStdString();
        EXPECT_TRUE(got.rows.isEmpty());
    }
}

// End tags are not counted, whatever their place among the bytes read
// at a time.
TEST(Import, ElementsUpToTheLimitAreRead)
{
    const Import got = exchange::parse(" <kml>" + QByteArray("<a></a>").repeated(1'999'999) + "</kml>");
    EXPECT_TRUE(got.ok()) << got.error.toStdString();
    EXPECT_TRUE(got.rows.isEmpty());
}

// Tabs and line ends in a name become blanks wherever they stand in it,
// also in long texts and beside characters beyond ASCII.
TEST(Import, TabsAndLineEndsInTextsBecomeBlanks)
{
    const QByteArray link = "worldwind://goto/world=Earth&amp;lat=1&amp;lon=2";
    for (const int length : {1, 15, 16, 17, 40}) {
        for (const char* end : {"", "\xC3\xA9"}) {
            for (int at = 0; at < length; ++at) {
                for (const char* control : {"\t", "\n", "\r", "\r\n"}) {
                    SCOPED_TRACE(std::to_string(length) + " " + end + " " + std::to_string(at) + " " + control);
                    QByteArray name(length, 'n');
                    name.replace(at, 1, control);
                    name += end;
                    const Import got = exchange::parse("<kml><Placemark><name>" + name
                                                       + "</name><ExtendedData><Data name=\"worldwind-link\"><value>"
                                                       + link + "</value></Data></ExtendedData><Point><coordinates>"
                                                       + "2,1</coordinates></Point></Placemark></kml>");
                    QString wanted = QString::fromUtf8(name);
                    wanted.replace(QLatin1String("\r\n"), QLatin1String(" "));
                    ASSERT_EQ(got.rows.size(), 1) << got.error.toStdString();
                    EXPECT_EQ(got.rows[0],
                              makeRow(wanted, QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2"), QString()));
                    EXPECT_FALSE(got.rows[0].sliced(0, got.rows[0].indexOf(u'\t')).contains(u'\r'));
                }
            }
        }
    }
}

// Our link is kept while the layer reads it where the place is: its float
// reading of the link's numbers is that of the place's, also for numbers
// that fall on or next to a point halfway between two floats.
TEST(Import, LinksAreKeptWhileTheLayerReadsThemWhereThePlaceIs)
{
    const struct {
        const char* lat;          // in the link
        const char* coordinates;  // of the point
        bool kept;
    } cases[] = {
        {"48.8566140000000", "2,48.856614", true},
        {"1.00000005960464477539062500", "2,1.00000005960464", true},     // halfway: rounds to even, as the place
        {"1.0000000596046447753906250001", "2,1.00000005960464", false},  // just past halfway: the float above
        {"1.0000000596046447753906249999", "2,1.00000005960464", true},
        {"1.00000017881393432617187500", "2,1.00000017881393", false},  // halfway, the even float above
        {"-1.0000000596046447753906250001", "2,-1.00000005960464", false},
        {"1.000000059604645", "2,1.000000059604645", true},
        {"+12.345678901234567", "2,12.345678901234567", true},
        {"12.345678901234567", "2,12.3456789012346", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lat);
        const QByteArray link = QByteArray("worldwind://goto/world=Earth&lat=") + c.lat + "&lon=2";
        const Import got = exchange::parse(
            "<kml><Placemark><name>p</name><ExtendedData><Data name=\"worldwind-link\"><value>"
            + QByteArray(link).replace("&", "&amp;") + "</value></Data></ExtendedData><Point><coordinates>"
            + c.coordinates + "</coordinates></Point></Placemark></kml>");
        ASSERT_EQ(got.rows.size(), 1) << got.error.toStdString();
        EXPECT_EQ(viewRow(got.rows[0]).link == QLatin1String(link), c.kept) << got.rows[0].toStdString();
    }
}

TEST(Import, FilesThatCannotBeRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(exchange::readFile(dir.filePath(QStringLiteral("none.kml"))).error,
              QStringLiteral("there is no such file"));
    EXPECT_EQ(exchange::readFile(dir.path()).error, QStringLiteral("it is a folder, not a file"));
    const QString fifo = dir.filePath(QStringLiteral("pipe.kml"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(exchange::readFile(fifo).error, QStringLiteral("it is not a regular file"));
    QFile big(dir.filePath(QStringLiteral("big.gpx")));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(100 * 1024 * 1024));  // sparse: no 100 MB written
    big.close();
    EXPECT_TRUE(exchange::readFile(big.fileName()).error.startsWith(QLatin1String("it is too large (100 MB")));
}

TEST(Import, MoreThanAJournalHoldsIsRefused)
{
    QStringList rows = fullJournal();
    rows.append(rows.first());
    const Import got = exchange::parse(exchange::gpxBytes(rows));
    EXPECT_TRUE(got.error.contains(QLatin1String("more than 32767 places"))) << got.error.toStdString();
}

TEST(Import, Summary)
{
    const struct {
        int places, skipped, routeAndTrackPoints, alreadyInList;
        const char* text;
    } cases[] = {
        {0, 0, 0, 0, "0 places"},
        {1, 1, 1, 0, "1 place; 1 item that is not a point skipped; 1 route or track point ignored"},
        {1, 3, 40, 0, "1 place; 3 items that are not points skipped; 40 route and track points ignored"},
        {2, 0, 0, 1, "2 places; 1 place already in the list left out"},
        {4, 0, 0, 2, "4 places; 2 places already in the list left out"},
        {0, 0, 0, 1, "No new places: the only one is in the list already"},
        {0, 0, 0, 2, "No new places: both are in the list already"},
        {0, 0, 1, 5, "No new places: all 5 are in the list already; 1 route or track point ignored"},
        {0, 2, 0, 3, "No new places: all 3 are in the list already; 2 items that are not points skipped"},
        {0, 1, 0, 0, "0 places; 1 item that is not a point skipped"},
    };
    for (const auto& c : cases) {
        Import i;
        i.rows = QStringList(c.places, QString());
        i.skipped = c.skipped;
        i.routeAndTrackPoints = c.routeAndTrackPoints;
        i.alreadyInList = c.alreadyInList;
        EXPECT_EQ(exchange::summary(i), QString::fromUtf8(c.text));
    }
}

TEST(Import, PlacesAlreadyInTheListAreLeftOut)
{
    const QStringList list = {plain("Well", 46.5, -0.25, "dry"),
                              makeRow(u"Isle", u"worldwind://goto/world=Earth&lat=-10.000&lon=170", u"")};
    Import found = exchange::parse(R"(<gpx>
<wpt lat="46.50" lon="-0.250"><name>Well</name><desc>another comment</desc></wpt>
<wpt lat="1" lon="2"><name>New</name></wpt><wpt lat="1" lon="2"><name>New</name></wpt>
<wpt lat="-10" lon="170"><name>Isle</name></wpt><wpt lat="-10" lon="170.5"><name>Isle</name></wpt>
<wpt lat="46.5" lon="-0.25"><name>well</name></wpt></gpx>)");
    ASSERT_TRUE(found.ok()) << found.error.toStdString();
    exchange::leaveOutKnown(found, list);
    // Repeats within the file are the file's own business; the list's places are not added again.
    EXPECT_EQ(found.rows, (QStringList{plain("New", 1, 2), plain("New", 1, 2), plain("Isle", -10, 170.5),
                                       plain("well", 46.5, -0.25)}));
    EXPECT_EQ(exchange::summary(found), QStringLiteral("4 places; 2 places already in the list left out"));
    Import again = found;
    again.alreadyInList = 0;
    exchange::leaveOutKnown(again, list + found.rows);
    EXPECT_TRUE(again.rows.isEmpty());
    EXPECT_EQ(exchange::summary(again), QStringLiteral("No new places: all 4 are in the list already"));
}

// The same name within a millionth of a degree is the same place, as far
// as a rounding to six decimals can move it; no position counts as 0,0.
TEST(Import, KnownPlacesMatchWithinAMillionthOfADegree)
{
    const QStringList list = {plain("A", 10, 20), plain("B", -33.86881234567, 151.20930987654),
                              makeRow(u"C", u"worldwind://goto/world=Mars", u"")};
    const struct {
        const char* name;
        double lat, lon;
        bool known;
    } cases[] = {
        {"A", 10, 20, true},
        {"A", 10 + 9e-7, 20 - 1e-6, true},
        {"A", 10 - 1.1e-6, 20, false},
        {"A", 10, 20 + 2e-6, false},
        {"a", 10, 20, false},
        {"B", -33.868812, 151.20931, true},  // six decimals
        {"B", -33.868814, 151.20931, false},
        {"C", 0, 0, true},
        {"C", 0, 1e-5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + QStringLiteral(" %1 %2").arg(c.lat, 0, 'g', 12).arg(c.lon, 0, 'g', 12).toStdString());
        Import found;
        found.rows = {plain(c.name, c.lat, c.lon)};
        exchange::leaveOutKnown(found, list);
        EXPECT_EQ(found.rows.isEmpty(), c.known);
        EXPECT_EQ(found.alreadyInList, c.known ? 1 : 0);
    }
    // Nothing to compare with: nothing is left out.
    Import found;
    found.rows = list;
    exchange::leaveOutKnown(found, {});
    EXPECT_EQ(found.rows, list);
}

namespace {

QByteArray utf16le(const QString& text)
{
    return QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

QByteArray utf16be(const QString& text)
{
    QByteArray out("\xFE\xFF");
    for (const QChar c : text)
        out += char(c.unicode() >> 8), out += char(c.unicode() & 0xFF);
    return out;
}

QByteArray utf32le(const std::u32string& text)
{
    QByteArray out("\xFF\xFE\0\0", 4);
    for (const char32_t c : text)
        out.append(reinterpret_cast<const char*>(&c), 4);
    return out;
}

const QString kBefore = QStringLiteral("<gpx>\n<wpt lat=\"1\" lon=\"2\"><name>a");
const QString kAfter = QStringLiteral("b</name></wpt></gpx>");

}  // namespace

// No place gets a "?" or a U+FFFD for a character its file does not hold:
// the file is refused where the character stands.
TEST(Import, HalfSurrogatesAndNumbersPastUnicodeAreRefusedWhereTheyStand)
{
    const struct {
        const char* what;
        QByteArray file;
        const char* reason;
    } cases[] = {
        {"a high half as a hex reference", (kBefore + QStringLiteral("&#xD800;") + kAfter).toUtf8(),
         "(line 2, column 29: \"&#xD800;\" refers to U+D800, which XML forbids)"},
        {"a low half as a decimal reference", (kBefore + QStringLiteral("&#56320;") + kAfter).toUtf8(),
         "(line 2, column 29: \"&#56320;\" refers to U+DC00, which XML forbids)"},
        {"a reference past U+10FFFF", (kBefore + QStringLiteral("&#x110000;") + kAfter).toUtf8(),
         "(line 2, column 29: \"&#x110000;\" refers past U+10FFFF, to no character)"},
        {"a huge reference in an attribute", "<gpx><wpt lat=\"&#99999999999;\" lon=\"2\"/></gpx>",
         "(line 1, column 16: \"&#99999999999;\" refers past U+10FFFF"},
        {"a lone high half in UTF-16LE", utf16le(kBefore + QChar(0xD800) + kAfter),
         "(line 2, column 29: half of a UTF-16 surrogate pair (U+D800), which is no character)"},
        {"a lone low half in UTF-16BE, after a pair",
         utf16be(kBefore + QStringLiteral("\U0001F600") + QChar(0xDC00) + kAfter),
         "(line 2, column 30: half of a UTF-16 surrogate pair (U+DC00)"},
        {"a byte the declared encoding lacks",
         "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<gpx><wpt lat=\"1\" lon=\"2\"><name>ab\xFF</name></wpt></gpx>",
         "(line 2, column 35: bytes that are not valid US-ASCII)"},
        {"a high half at the very end", utf16le(QStringLiteral("<gpx/>") + QChar(0xD83D)),
         "(line 1, column 7: half of a UTF-16 surrogate pair (U+D83D)"},
        {"a code point past U+10FFFF in UTF-32",
         utf32le(U"<gpx>\n <wpt lat=\"1\" lon=\"2\"><name>a" + std::u32string(1, 0x110000) + U"b</name></wpt></gpx>"),
         "(line 2, column 30: a code that is no character of UTF-32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Import got = exchange::parse(c.file);
        EXPECT_TRUE(got.rows.isEmpty());
        EXPECT_TRUE(got.error.startsWith(QLatin1String("it is not well-formed XML"))) << got.error.toStdString();
        EXPECT_TRUE(got.error.contains(QString::fromUtf8(c.reason))) << got.error.toStdString();
    }
    // Whole pairs are characters like any other.
    for (const QByteArray& file : {utf16le(kBefore + QStringLiteral("\U0001F600") + kAfter),
                                   utf16be(kBefore + QStringLiteral("\U0001F600") + kAfter),
                                   (kBefore + QStringLiteral("&#x1F600;") + kAfter).toUtf8()}) {
        const Import got = exchange::parse(file);
        ASSERT_TRUE(got.ok()) << got.error.toStdString();
        EXPECT_EQ(got.rows, QStringList{plain("a\xF0\x9F\x98\x80"
                                              "b",
                                              1, 2)});
    }
}

// A name or comment a spreadsheet would take for a formula goes out behind
// an apostrophe, and comes back as it was.
TEST(Export, CsvCellsThatLookLikeFormulasAreNeverFormulas)
{
    const char* link = "worldwind://goto/world=Earth&lat=1&lon=2";
    const struct {
        const char* text;
        const char* cell;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+33 1", "'+33 1"},
        {"-5 camp", "'-5 camp"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"'=1", "''=1"},
        {"'quoted'", "'quoted'"},
        {"a=b", "a=b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const QStringList rows{row(c.text, link, c.text)};
        const QByteArray bytes = exchange::csvBytes(rows);
        const QByteArray cell(c.cell);
        EXPECT_EQ(bytes, "name,latitude,longitude,description,link\r\n" + cell + ",1,2," + cell + "," + link + "\r\n")
            << c.text;
        const exchange::Import back = exchange::parse(bytes, exchange::Format::Csv);
        EXPECT_EQ(back.rows, rows) << c.text;
    }
}
