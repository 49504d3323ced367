// Location links: reading their numbers the one way World Wind and the
// placename export do, and writing the numbers of the links we build.

#include "exchange/copied.h"
#include "platform/globebus.h"
#include "platform/readable.h"
#include "worldwind/launch.h"
#include "worldwind/links.h"

#include <algorithm>

#include <QLocale>

#include <gtest/gtest.h>

#include "printers.h"

#include <optional>

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

}  // namespace

TEST(Links, PrefixIsExactAndCaseSensitive)
{
    EXPECT_TRUE(links::isLocationLink(u"worldwind://"));
    EXPECT_TRUE(links::isLocationLink(u"worldwind://goto/world=Earth&lat=1&lon=2\nsecond line"));
    EXPECT_FALSE(links::isLocationLink(u"WorldWind://goto/"));
    EXPECT_FALSE(links::isLocationLink(u" worldwind://goto/"));
    EXPECT_FALSE(links::isLocationLink(u"worldwind:/"));
    EXPECT_FALSE(links::isLocationLink(u""));
}

TEST(Links, DecimalIsGeneralFormWithFifteenDigits)
{
    struct Case {
        double value;
        const char* text;
    };
    for (const Case& c :
         {Case{48.0 + 51.0 / 60 + 24.0 / 3600, "48.8566666666667"},
          Case{2.0 + 21.0 / 60 + 3.0 / 3600, "2.35083333333333"}, Case{-45.5, "-45.5"}, Case{0.0, "0"}, Case{-0.0, "0"},
          Case{90, "90"}, Case{0.1 + 0.2, "0.3"}, Case{1e-7, "0.0000001"}, Case{-1.5e-5, "-0.000015"},
          Case{1e20, "100000000000000000000"}, Case{123456789012345678.0, "123456789012346000"},
          Case{0.999999999999999999, "1"}, Case{1.0 / 3, "0.333333333333333"}}) {
        EXPECT_EQ(links::decimal(c.value), QString::fromLatin1(c.text)) << c.value;
    }
}

TEST(Links, BuiltAndStartLinks)
{
    EXPECT_EQ(links::linkFor(links::coordinate(48, 51, 24, 1), links::coordinate(2, 21, 3, 1)),
              u"worldwind://goto/world=Earth&lat=48.8566666666667&lon=2.35083333333333");
    EXPECT_EQ(links::linkFor(links::coordinate(45, 30, 0, -1), links::coordinate(0, 0, 0, 1)),
              u"worldwind://goto/world=Earth&lat=-45.5&lon=0");
    EXPECT_EQ(links::startLink(), u"worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000");
}

TEST(Links, CoordinateAddsSignedPartsBeforeTheHemisphere)
{
    EXPECT_EQ(links::coordinate(-10, 30, 0, 1), -9.5);
    EXPECT_EQ(links::coordinate(-10, 30, 0, -1), 9.5);
    EXPECT_EQ(links::coordinate(95, 75, 0, 1), 96.25);  // nothing normalised
    // Left to right in double: (d + m/60) + s/3600, not d + (m/60 + s/3600).
    const double d = 0.1, m = 0.7;
    const qint16 s = 1;
    EXPECT_EQ(links::coordinate(d, m, s, 1), (d + m / 60.0) + s / 3600.0);
}

TEST(Links, TypedAnglesFollowTheUsersNumberFormat)
{
    struct Case {
        const char* text;
        const QLocale* locale;
        std::optional<double> value;
    };
    for (const Case& c :
         {Case{"48", &kEnglish, 48}, Case{"48.5", &kEnglish, 48.5}, Case{" -10 ", &kEnglish, -10},
          Case{"48,5", &kGerman, 48.5}, Case{"0,25", &kGerman, 0.25},
          // A thousands separator is refused rather than guessed at.
          Case{"48.5", &kGerman, std::nullopt}, Case{"1,000", &kEnglish, std::nullopt},
          Case{"48,5", &kEnglish, std::nullopt}, Case{"", &kEnglish, std::nullopt}, Case{"  ", &kEnglish, std::nullopt},
          Case{"N48", &kEnglish, std::nullopt}, Case{"12abc", &kEnglish, std::nullopt},
          Case{"inf", &kEnglish, std::nullopt}, Case{"nan", &kEnglish, std::nullopt}}) {
        EXPECT_EQ(links::readAngle(QString::fromLatin1(c.text), *c.locale), c.value)
            << c.text << " in " << c.locale->name().toStdString();
    }
}

TEST(Links, SecondsRoundHalfToEvenWithinSixteenBits)
{
    struct Case {
        const char* text;
        std::optional<qint16> value;
    };
    for (const Case& c : {Case{"30.5", 30}, Case{"31.5", 32}, Case{"30.49", 30}, Case{"-0.5", 0}, Case{"-1.5", -2},
                          Case{"32767", 32767}, Case{"32767.4", 32767}, Case{"32767.5", std::nullopt},
                          Case{"-32768", -32768}, Case{"-32768.5", -32768}, Case{"-32769", std::nullopt},
                          Case{"40000", std::nullopt}, Case{"", std::nullopt}, Case{"x", std::nullopt}}) {
        EXPECT_EQ(links::readSeconds(QString::fromLatin1(c.text), kEnglish), c.value) << c.text;
    }
    EXPECT_EQ(links::readSeconds(QStringLiteral("30,5"), kGerman), std::optional<qint16>(30));
}

TEST(Links, PairsAreReadByPosition)
{
    struct Case {
        const char* link;
        int position;
        float value;
    };
    const char* const link = "worldwind://goto/world=Earth&lat=48.85&lon=-2.5&view=180.00000";
    for (const Case& c : {Case{link, 1, 48.85f}, Case{link, 2, -2.5f}, Case{link, 3, 180}, Case{link, 0, 0},
                          Case{link, 4, 0}, Case{"worldwind://goto/x&lon=7&lat=8", 1, 7}, Case{"a&b=1=2&c", 1, 1},
                          Case{"a&b&c=3", 1, 0}, Case{"a&&c=3", 2, 3}, Case{"", 1, 0}}) {
        EXPECT_EQ(links::pairNumber(QString::fromLatin1(c.link), c.position), c.value)
            << c.link << " pair " << c.position;
    }
}

TEST(Links, NumberRule)
{
    struct Case {
        const char* text;
        float value;
    };
    for (const Case& c : {Case{"48.85837", 48.85837f},
                          Case{" - 4 8 . 5 x", -48.5f},
                          Case{"\t1\n2", 12},
                          Case{"+7", 7},
                          Case{".5", 0.5f},
                          Case{"-.25", -0.25f},
                          Case{"5.", 5},
                          Case{"1.2.3", 1.2f},
                          Case{"12abc", 12},
                          Case{"1E3", 1000},
                          Case{"2e-1", 0.2f},
                          Case{"3 E + 2", 300},
                          Case{"2E", 2},
                          Case{"2E+x", 2},
                          Case{"48,5", 48},
                          Case{"\r5", 0},
                          Case{"-", 0},
                          Case{".", 0},
                          Case{"", 0},
                          Case{"abc", 0},
                          Case{"1E999", 0},
                          Case{"1E-999", 0},
                          Case{"16777217", 16777216},
                          Case{"00000000000000000000000001.5", 1.5f},
                          Case{"0.00000000001", 1e-11f}}) {
        EXPECT_EQ(links::readNumber(QString::fromLatin1(c.text)), c.value) << c.text;
    }
    // Halfway between two floats by a hair; rounding through a double first would land on 1.
    EXPECT_EQ(links::readNumber(u"1.0000000596046447753906251"), 1.00000012f);
    EXPECT_EQ(links::readNumber(QStringLiteral("1") + QString(100, u'0') + QStringLiteral(" E - 100 x")), 1.0f);

    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(links::readNumber(u"1.5"), 1.5f);
    QLocale::setDefault(before);
}

TEST(Links, PositionIsExactDecimalWithinRange)
{
    const struct {
        const char16_t* link;
        std::optional<links::Position> at;
    } cases[] = {
        {u"worldwind://goto/world=Earth&lat=48.8566137&lon=-2.35", links::Position{48.8566137, -2.35}},
        {u"worldwind://goto/world=Earth&lat= +1e1 &lon=.5&alt=3", links::Position{10, 0.5}},
        {u"worldwind://goto/world=Earth&lat=90&lon=-180", links::Position{90, -180}},
        {u"worldwind://goto/world=Earth&lat=90.0001&lon=0", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=1&lon=180.5", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=1,5&lon=0", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=nan&lon=0", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=inf&lon=0", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=+-1&lon=0", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=&lon=0", std::nullopt},
        {u"worldwind://goto/world=Earth&lat=1", std::nullopt},
        {u"worldwind://goto/world=Mars", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.link).toStdString());
        const std::optional<links::Position> at = links::position(c.link);
        ASSERT_EQ(at.has_value(), c.at.has_value());
        if (at) {
            EXPECT_EQ(at->latitude, c.at->latitude);
            EXPECT_EQ(at->longitude, c.at->longitude);
        }
    }
}

namespace {

// A placemark as globes copy it, coordinates as KML writes them.
QByteArray kmlPlacemark(const char* coordinates, const char* name = "Tour Eiffel")
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">"
                      "<Document><name>Copied</name><Placemark><name>")
           + name + "</name><Point><coordinates>" + coordinates + "</coordinates></Point></Placemark></Document></kml>";
}

QByteArray gpxPoint(const char* attributes, const char* inside = "")
{
    return QByteArray("<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt ") + attributes + ">"
           + inside + "</wpt></gpx>";
}

}  // namespace

TEST(Links, CopiedLocationsFromAnyGlobe)
{
    const QString at = QStringLiteral("worldwind://goto/world=Earth&lat=");
    const QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE kml [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                              "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><kml><Placemark><name>&b;</name><Point>"
                              "<coordinates>1,2</coordinates></Point></Placemark></kml>";
    const QByteArray twoPlacemarks = "<kml><Document><Placemark><Point><coordinates>1,2</coordinates></Point>"
                                     "</Placemark><Placemark><Point><coordinates>3,4</coordinates></Point>"
                                     "</Placemark></Document></kml>";
    const QByteArray line = "<kml><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString>"
                            "</Placemark></kml>";
    QByteArray padded = kmlPlacemark("2.5,48.5");
    padded.insert(padded.indexOf("<kml"), "<!--" + QByteArray(exchange::kMaxSnippet, ' ') + "-->");
    struct Case {
        const char* what;
        exchange::ClipboardOffer offer;
        QString link;  // empty: nothing taken
        QString name = {};
    };
    const auto text = [](const char* t) { return exchange::ClipboardOffer{QString::fromUtf8(t), {}, {}, {}}; };
    const auto kml = [](QByteArray data) { return exchange::ClipboardOffer{std::nullopt, data, {}, {}}; };
    const auto gpx = [](QByteArray data) { return exchange::ClipboardOffer{std::nullopt, {}, data, {}}; };
    const auto uris = [](QByteArray data) { return exchange::ClipboardOffer{std::nullopt, {}, {}, data}; };
    const Case cases[] = {
        {"worldwind text, unchanged",
         {QStringLiteral("worldwind://goto/x=1\n2"), kmlPlacemark("1,2"), {}, {}},
         QStringLiteral("worldwind://goto/x=1\n2")},
        {"geo: as a globe copies it", text("geo:48.8599477442,2.2944800000"), at + "48.8599477442&lon=2.29448"},
        {"geo: with altitude and parameters", text(" GEO:-33.5,151.25,120.0;crs=WGS84;u=35;x-y=%41b\r\n"),
         at + "-33.5&lon=151.25&alt=120"},
        {"geo: at the limits", text("geo:-90,180"), at + "-90&lon=180"},
        {"geo: as a URL", uris("# from a globe\r\ngeo:1.5,-2.5\r\n"), at + "1.5&lon=-2.5"},
        {"KML flavour", kml(kmlPlacemark(" 2.2944800000,48.8599477442,0 ")), at + "48.8599477442&lon=2.29448&alt=0",
         QStringLiteral("Tour Eiffel")},
        {"KML text, name simplified", text(kmlPlacemark("-0.5,1e1", " Big\n\tBen ")), at + "10&lon=-0.5",
         QStringLiteral("Big Ben")},
        {"GPX flavour", gpx(gpxPoint("lat=\"-12.25\" lon=\"130\"", "<ele>5.5</ele><name>Camp</name>")),
         at + "-12.25&lon=130&alt=5.5", QStringLiteral("Camp")},
        {"the KML flavour wins",
         {QStringLiteral("  2\u00b0 17' 40.1\"E,  48\u00b0 51' 35.8\"N"),
          kmlPlacemark("2.29448,48.85994,0"),
          gpxPoint("lat=\"1\" lon=\"1\""),
          {}},
         at + "48.85994&lon=2.29448&alt=0",
         QStringLiteral("Tour Eiffel")},
        {"Marble's D/M/S, east first", text("139\u00b0 41' 30.2\"E,  35\u00b0 41' 22.2\"N"),
         at + "35.6895&lon=139.691722222222"},
        {"D/M/S, padded, north first", text("  48\u00b0 51' 35.8\"N,    2\u00b0 17' 40.1\"E\n"),
         at + "48.8599444444444&lon=2.29447222222222"},
        {"D/M/S, south and west", text("40\u00b0 42' 46\"S, 74\u00b0 0' 21\"W"),
         at + "-40.7127777777778&lon=-74.0058333333333"},
        {"D/M, primes", text("33\u00b0 52.5\u2032S, 151\u00b0 12\u2032 36\u2033E"), at + "-33.875&lon=151.21"},
        {"decimal degrees with letters", text("35.6895\u00b0N, 139.6917\u00b0W"), at + "35.6895&lon=-139.6917"},
        {"D/M/S at the limits", text("90\u00b0 0' 0\"S, 180\u00b0 0' 0\"W"), at + "-90&lon=-180"},
        {"decimal pair", text("48.8584, 2.2945"), at + "48.8584&lon=2.2945"},
        {"decimal pair, signs, no blank", text(" -33.8688,+151.2093 "), at + "-33.8688&lon=151.2093"},
        // Left alone.
        {"other text", text("https://example.org/?geo:1,2"), {}},
        {"D/M/S: both north-south", text("1\u00b0 2' 3\"N,  4\u00b0 5' 6\"S"), {}},
        {"D/M/S: no letter", text("1\u00b0 2' 3\",  4\u00b0 5' 6\"E"), {}},
        {"D/M/S: letter first", text("N 1\u00b0 2' 3\",  E 4\u00b0 5' 6\""), {}},
        {"D/M/S: 60 minutes", text("1\u00b0 60' 0\"N, 4\u00b0 5' 6\"E"), {}},
        {"D/M/S: 60 seconds", text("1\u00b0 2' 60\"N, 4\u00b0 5' 6\"E"), {}},
        {"D/M/S: fraction before minutes", text("1.5\u00b0 2'N, 4\u00b0E"), {}},
        {"D/M/S: latitude past 90", text("90\u00b0 0' 0.1\"N, 0\u00b0 0' 0\"E"), {}},
        {"D/M/S: longitude past 180", text("0\u00b0N, 180\u00b0 1'W"), {}},
        {"D/M/S: a sign", text("-1\u00b0 2' 3\"N, 4\u00b0 5' 6\"E"), {}},
        {"D/M/S: three parts", text("1\u00b0N, 2\u00b0E, 3\u00b0N"), {}},
        {"D/M/S: more words", text("at 1\u00b0N, 2\u00b0E"), {}},
        {"decimal pair of counts", text("3, 4"), {}},
        {"decimal pair, one whole", text("48.5, 2"), {}},
        {"decimal pair past 90", text("90.5, 2.5"), {}},
        {"decimal pair past 180", text("-45.5, 180.25"), {}},
        {"decimal pair of three", text("1.5, 2.5, 3.5"), {}},
        {"decimal pair, exponent", text("1.5e1, 2.5"), {}},
        {"decimal pair, decimal commas", text("48,85 2,29"), {}},
        {"decimal pair, bare point", text("48., 2.5"), {}},
        {"decimal pair, long text", text(("1.5, 2." + std::string(200, '5')).c_str()), {}},
        {"geo: latitude past 90", text("geo:90.1,0"), {}},
        {"geo: longitude past 180", text("geo:0,-180.5"), {}},
        {"geo: another reference system", text("geo:1,2;crs=epsg:4326"), {}},
        {"geo: a query", text("geo:1,2?z=11"), {}},
        {"geo: exponent or plus sign", text("geo:1e1,2"), {}},
        {"geo: one number", text("geo:1"), {}},
        {"geo: four numbers", text("geo:1,2,3,4"), {}},
        {"geo: blanks inside", text("geo:1, 2"), {}},
        {"geo: a second line", text("geo:1,2\nmore"), {}},
        {"geo: not a number", text("geo:nan,inf"), {}},
        {"geo: huge number", text(("geo:1," + std::string(400, '9')).c_str()), {}},
        {"URL list with two", uris("geo:1,2\r\ngeo:3,4\r\n"), {}},
        {"KML with a document type", kml(laughs), {}},
        {"KML text with a document type", text(laughs), {}},
        {"KML with two placemarks", kml(twoPlacemarks), {}},
        {"KML line only", kml(line), {}},
        {"KML latitude past 90", kml(kmlPlacemark("0,91")), {}},
        {"KML infinite", kml(kmlPlacemark("1e999,1")), {}},
        {"KML without coordinates", kml("<kml><Placemark><Point/></Placemark></kml>"), {}},
        {"KML cut short", kml(kmlPlacemark("1,2").chopped(10)), {}},
        {"KML too large", kml(padded), {}},
        {"another root", kml("<html><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></html>"), {}},
        {"GPX with two points", gpx("<gpx><wpt lat=\"1\" lon=\"2\"/><wpt lat=\"3\" lon=\"4\"/></gpx>"), {}},
        {"GPX without longitude", gpx(gpxPoint("lat=\"1\"")), {}},
        {"GPX bad elevation", gpx(gpxPoint("lat=\"1\" lon=\"2\"", "<ele>high</ele>")), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<exchange::CopiedLocation> found = exchange::copiedLocation(c.offer);
        ASSERT_EQ(found.has_value(), !c.link.isEmpty());
        if (found) {
            EXPECT_EQ(found->link, c.link);
            EXPECT_EQ(found->name, c.name);
        }
    }
}

// What may leave the program as a place: the whole link or nothing.
TEST(LaunchLinks, OnlyWholePlaceLinksAreHandedOver)
{
    const QString ww = QStringLiteral("worldwind://goto/world=Earth&lat=48.85&lon=2.29");
    const struct {
        QString target;
        bool handed;
    } cases[] = {
        {ww, true},
        {ww + QStringLiteral("&alt=900&dir=45&view=30"), true},
        {QStringLiteral("worldwind://goto/"), true},  // World Wind reads what it can
        {QStringLiteral("geo:48.85,2.29"), true},
        {QStringLiteral("GEO:-33.5,151.25,120;crs=wgs84;u=35"), true},
        {QStringLiteral("geo:--help"), false},
        {QStringLiteral("geo:"), false},
        {QStringLiteral("geo:48.85"), false},
        {QStringLiteral("geo:48.85,2.29 --help"), false},
        {QStringLiteral(" geo:48.85,2.29"), false},
        {QStringLiteral("geo:48.85,2.29\n"), false},
        {QStringLiteral("geo:48.85,2.29;x=%0A"), true},  // escaped, it stays text
        {QStringLiteral("geo:91,0"), false},
        {ww + QStringLiteral("\n--help"), false},
        {ww + QStringLiteral("\r"), false},
        {ww + QStringLiteral("\t"), false},
        {ww + QStringLiteral("\x1B[2J"), false},
        {ww + QChar(0x7F), false},
        {ww + QChar(0x85), false},
        {ww + QChar(0x9B) + QStringLiteral("2J"), false},
        {ww + QChar(0x202E) + QStringLiteral("exe.gnp"), false},
        {ww + QChar(0x2066), false},
        {ww + QChar(0x200F), false},
        {ww + QChar(0x061C), false},
        {ww + QStringLiteral("&name=Zürich東京"), true},
        {ww + QStringLiteral("&name=") + QString::fromUcs4(U"\U0001F30D"), true},  // a pair of surrogates
        {ww + QStringLiteral("&name=Zürich 東京"), false},
        // Invisible and format characters: the link opened would not be
        // the one the user sees.
        {ww + QChar(0x200B), false},
        {ww + QChar(0x2028), false},
        {ww + QChar(0x2029), false},
        {ww + QChar(0xFEFF), false},
        {ww + QChar(0x206E), false},
        {ww + QChar(0x180E), false},
        {ww + QChar(0xFFF9), false},
        {ww + QChar(0x00AD), false},
        {ww + QChar(0x00A0), false},
        {ww + QChar(0x3000), false},
        {ww + QChar(0x3164), false},
        {ww + QChar(0xFE0F), false},
        {ww + QChar(0xE000), false},
        {ww + QString::fromUcs4(U"\U000E0041"), false},
        {QStringLiteral("geo:48.85,2.29") + QChar(0x200B), false},
        // Lone halves of a surrogate pair, wherever they stand.
        {ww + QChar(0xD83C), false},
        {ww + QChar(0xDF0D) + QStringLiteral("&x=1"), false},
        {ww + QChar(0xDF0D) + QChar(0xD83C), false},
        // Quotes end a link on a command line.
        {ww + QStringLiteral("\"&x=1"), false},
        {ww + QStringLiteral("'"), false},
        {ww + QStringLiteral("`id`"), false},
        {ww + QChar(0x2028) + QStringLiteral("--help"), false},
        {QStringLiteral("WORLDWIND://goto/"), false},
        {QStringLiteral("https://example.org/"), false},
        {QString(), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(launch::isPlaceLink(c.target), c.handed) << c.target.toStdString();
        // Messages show escaped the control and bidirectional characters that
        // keep a link from being handed over.
        const bool movesText = std::any_of(c.target.begin(), c.target.end(),
                                           [](QChar ch) { return readable::controlOrBidi(ch.unicode()); });
        if (c.target.startsWith(ww) && movesText) {
            EXPECT_NE(readable::message(c.target), c.target) << c.target.toStdString();
        }
    }
}

// A refused link is named in one line, shortened, with what moves text escaped.
TEST(LaunchLinks, ARefusedLinkIsNamedReadably)
{
    const QString longLink = QStringLiteral("https://example.com/") + QString(200, u'a');
    const struct {
        QString link;
        QString named;
    } cases[] = {
        {QStringLiteral("/bin/sh"), QStringLiteral("\"/bin/sh\"")},
        {QStringLiteral("file:///etc/passwd"), QStringLiteral("\"file:///etc/passwd\"")},
        {QStringLiteral("C:\\Windows\\system32\\calc.exe"), QStringLiteral("\"C:\\Windows\\system32\\calc.exe\"")},
        {QStringLiteral("\\\\server\\share\\run.bat"), QStringLiteral("\"\\\\server\\share\\run.bat\"")},
        {QStringLiteral("javascript:alert(1)"), QStringLiteral("\"javascript:alert(1)\"")},
        {QStringLiteral("WORLDWIND://goto/world=Earth"), QStringLiteral("\"WORLDWIND://goto/world=Earth\"")},
        {longLink, QStringLiteral("\"") + longLink.left(80) + QStringLiteral("…\"")},
        {QStringLiteral(" worldwind://goto/world=Earth"), QStringLiteral("\" worldwind://goto/world=Earth\"")},
        {QStringLiteral("x\u202Egnp.exe\x1B[2J\r\nrm"), QStringLiteral("\"x\\u202egnp.exe\\x1b[2J\\r\\nrm\"")},
        {QString(), QStringLiteral("There is no location link to show.")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(launch::isPlaceLink(c.link)) << c.link.toStdString();
        const QString message = launch::refusal(c.link);
        EXPECT_TRUE(message.contains(c.named)) << message.toStdString();
        EXPECT_FALSE(message.contains(u'\n') || message.contains(u'\x1B') || message.contains(u'\u202E'))
            << message.toStdString();
    }
}

TEST(LaunchLinks, GlobeViewAndFallbackOfEachTarget)
{
    const struct {
        QString target;
        std::optional<launch::GlobeView> view;
        QStringList fallbacks;
    } cases[] = {
        {QStringLiteral("worldwind://goto/world=Earth&lat=35.6895&lon=139.6917&alt=5000"),
         launch::GlobeView{35.6895, 139.6917, launch::kTownZoom},
         {QStringLiteral("geo:35.6895,139.6917")}},
        {QStringLiteral("geo:-33.5,151.25;u=10"), launch::GlobeView{-33.5, 151.25, launch::kTownZoom}, {}},
        {links::startLink(), launch::GlobeView{0, 0, launch::kEarthZoom}, {}},
        {QStringLiteral("worldwind://goto/world=Earth&lat=95&lon=2"), std::nullopt, {}},
        {QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2\n"), std::nullopt, {}},
        {QStringLiteral("help.html"), std::nullopt, {}},
        {QStringLiteral("/home/me/.cache/places.kml"), std::nullopt, {}},
    };
    for (const auto& c : cases) {
        const std::optional<launch::GlobeView> view = launch::globeView(c.target);
        ASSERT_EQ(view.has_value(), c.view.has_value()) << c.target.toStdString();
        if (view) {
            EXPECT_EQ(view->latitude, c.view->latitude) << c.target.toStdString();
            EXPECT_EQ(view->longitude, c.view->longitude) << c.target.toStdString();
            EXPECT_EQ(view->zoom, c.view->zoom) << c.target.toStdString();
        }
#ifndef Q_OS_WIN
        EXPECT_EQ(launch::fallbackForms(c.target), c.fallbacks) << c.target.toStdString();
#endif
    }
}

TEST(LaunchLinks, RunningGlobeIsFoundAmongTheBussNames)
{
    const QString well = QStringLiteral("org.kde.marble");
    EXPECT_EQ(GlobeBus::globeAmong({QStringLiteral(":1.7"), well, well + QStringLiteral("-42")}), well);
    EXPECT_EQ(GlobeBus::globeAmong({QStringLiteral(":1.7"), well + QStringLiteral("-42")}),
              well + QStringLiteral("-42"));
    for (const char* other : {"org.kde.marble-", "org.kde.marble-x1", "org.kde.marblex", "org.kde.kmarble", ":1.2"})
        EXPECT_EQ(GlobeBus::globeAmong({QString::fromLatin1(other)}), QString()) << other;
    EXPECT_EQ(GlobeBus::globeAmong({}), QString());
}
