#include "copied.h"

#include "exchange/xmldoc.h"
#include "worldwind/links.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace exchange {
namespace {

struct Snippet {
    links::GeoPoint point;
    QString name;
};

// The node after `n` in document order within `root`, without recursion.
pugi::xml_node nextInTree(pugi::xml_node n, pugi::xml_node root)
{
    if (n.first_child())
        return n.first_child();
    while (n && n != root) {
        if (n.next_sibling())
            return n.next_sibling();
        n = n.parent();
    }
    return {};
}

bool named(pugi::xml_node n, const char* name)
{
    return n.type() == pugi::node_element && std::strcmp(xml::localName(n), name) == 0;
}

// The first child element called `name`, or a null node.
pugi::xml_node childNamed(pugi::xml_node parent, const char* name)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (named(c, name))
            return c;
    return {};
}

bool isPoint(pugi::xml_node n, bool kml)
{
    return kml ? named(n, "Point") : named(n, "wpt") || named(n, "rtept") || named(n, "trkpt");
}

// KML ("lon,lat[,alt]") or GPX (attributes lat and lon, an "ele" element)
// holding exactly one point, of one placemark or waypoint.
std::optional<Snippet> readSnippet(const xml::Document& doc, bool kml)
{
    const pugi::xml_node root = doc.root();
    if (!doc.ok() || !named(root, kml ? "kml" : "gpx"))
        return std::nullopt;
    pugi::xml_node point, placemark;
    int points = 0, placemarks = 0;
    for (pugi::xml_node n = root; n; n = nextInTree(n, root)) {
        if (kml && named(n, "Placemark") && ++placemarks == 1)
            placemark = n;
        if (isPoint(n, kml) && ++points == 1)
            point = n;
    }
    if (points != 1 || (kml && placemarks != 1))
        return std::nullopt;

    Snippet found;
    std::optional<double> lat, lon;
    const pugi::xml_node holder = kml ? placemark : point;
    if (const pugi::xml_node name = childNamed(holder, "name"))
        found.name = doc.text(name).simplified();
    if (kml) {
        const pugi::xml_node coordinates = childNamed(point, "coordinates");
        if (!coordinates)
            return std::nullopt;
        const QString text = doc.text(coordinates).simplified();
        const QList<QStringView> numbers = QStringView(text).split(u',');
        if (numbers.size() < 2 || numbers.size() > 3)
            return std::nullopt;
        lon = links::decimalNumber(numbers[0].trimmed());
        lat = links::decimalNumber(numbers[1].trimmed());
        if (numbers.size() == 3 && !(found.point.altitude = links::decimalNumber(numbers[2].trimmed())))
            return std::nullopt;
    } else {
        lat = links::decimalNumber(doc.attribute(point, "lat"));
        lon = links::decimalNumber(doc.attribute(point, "lon"));
        if (const pugi::xml_node ele = childNamed(point, "ele"))
            if (!(found.point.altitude = links::decimalNumber(doc.text(ele).simplified())))
                return std::nullopt;
    }
    if (!lat || !lon || !links::validLatitude(*lat) || !links::validLongitude(*lon)
        || (found.point.altitude && !std::isfinite(*found.point.altitude)))
        return std::nullopt;
    found.point.latitude = *lat;
    found.point.longitude = *lon;
    return found;
}

std::optional<CopiedLocation> fromXml(const QByteArray& data, bool kml)
{
    if (data.isEmpty() || data.size() > kMaxSnippet)
        return std::nullopt;
    const xml::Document doc(data);
    const std::optional<Snippet> s = readSnippet(doc, kml);
    if (!s)
        return std::nullopt;
    return CopiedLocation{links::linkFor(s->point.latitude, s->point.longitude, s->point.altitude), s->name};
}

std::optional<CopiedLocation> fromGeo(QStringView text)
{
    const std::optional<links::GeoPoint> p = links::readGeoUri(text);
    if (!p)
        return std::nullopt;
    return CopiedLocation{links::linkFor(p->latitude, p->longitude, p->altitude), QString()};
}

// Coordinates written for people are short: anything longer is other text.
constexpr qsizetype kMaxCoordinatesText = 120;

// Reads the plain decimal at `at` ("48", "35.6895"), no sign; moves past it.
std::optional<double> unsignedNumber(QStringView text, qsizetype& at, bool& whole)
{
    const qsizetype start = at;
    while (at < text.size() && text[at].isDigit() && text[at].unicode() < 0x80)
        ++at;
    const qsizetype digits = at - start;
    whole = true;
    if (at < text.size() && text[at] == u'.') {
        whole = false;
        const qsizetype fraction = ++at;
        while (at < text.size() && text[at].isDigit() && text[at].unicode() < 0x80)
            ++at;
        if (at == fraction)
            return std::nullopt;
    }
    if (digits == 0 || digits > 3)
        return std::nullopt;
    return links::decimalNumber(text.sliced(start, at - start));
}

void skipBlanks(QStringView text, qsizetype& at)
{
    while (at < text.size() && text[at] == u' ')
        ++at;
}

bool takeOne(QStringView text, qsizetype& at, std::initializer_list<char16_t> marks)
{
    if (at < text.size() && std::find(marks.begin(), marks.end(), text[at].unicode()) != marks.end()) {
        ++at;
        return true;
    }
    return false;
}

struct Angle {
    double degrees = 0;
    char16_t hemisphere = 0;  // N, S, E or W
};

// 139° 41' 30.2"E, or 35.6895°N: degrees, then minutes and seconds that
// must each be whole before a smaller part follows and stay below 60.
std::optional<Angle> readAngle(QStringView text)
{
    qsizetype at = 0;
    bool whole = true;
    skipBlanks(text, at);
    std::optional<double> degrees = unsignedNumber(text, at, whole);
    skipBlanks(text, at);
    if (!degrees || !takeOne(text, at, {u'\u00b0'}))
        return std::nullopt;
    double value = *degrees;
    double unit = 1;
    for (const auto marks : {std::initializer_list<char16_t>{u'\'', u'\u2032'}, {u'"', u'\u2033'}}) {
        skipBlanks(text, at);
        if (at >= text.size() || !text[at].isDigit())
            break;
        bool partWhole = true;
        const std::optional<double> part = unsignedNumber(text, at, partWhole);
        skipBlanks(text, at);
        if (!whole || !part || *part >= 60 || !takeOne(text, at, marks))
            return std::nullopt;
        unit *= 60;
        value += *part / unit;
        whole = partWhole;
    }
    skipBlanks(text, at);
    Angle angle{value, 0};
    for (const char16_t h : {u'N', u'S', u'E', u'W'})
        if (takeOne(text, at, {h}))
            angle.hemisphere = h;
    skipBlanks(text, at);
    if (!angle.hemisphere || at != text.size())
        return std::nullopt;
    return angle;
}

// Degrees, minutes and seconds as a globe copies them for people
// ("139° 41' 30.2"E,  35° 41' 22.2"N"), either one first.
std::optional<links::GeoPoint> readDegreesText(const QList<QStringView>& parts)
{
    std::optional<Angle> a = readAngle(parts[0]), b = readAngle(parts[1]);
    if (!a || !b)
        return std::nullopt;
    const auto northSouth = [](const Angle& x) { return x.hemisphere == u'N' || x.hemisphere == u'S'; };
    if (!northSouth(*a))
        std::swap(a, b);
    if (!northSouth(*a) || northSouth(*b))
        return std::nullopt;
    links::GeoPoint p;
    p.latitude = a->hemisphere == u'S' ? -a->degrees : a->degrees;
    p.longitude = b->hemisphere == u'W' ? -b->degrees : b->degrees;
    return p;
}

// "48.8584, 2.2945": latitude first, each with a decimal point so that a
// pair of counts ("3, 4") copied from elsewhere is not taken for a place.
std::optional<links::GeoPoint> readDecimalPair(const QList<QStringView>& parts)
{
    double numbers[2] = {};
    for (int i = 0; i < 2; ++i) {
        QStringView number = parts[i].trimmed();
        if (number.startsWith(u'-') || number.startsWith(u'+'))
            number = number.sliced(1);
        qsizetype at = 0;
        bool whole = true;
        const std::optional<double> value = unsignedNumber(number, at, whole);
        if (!value || whole || at != number.size())
            return std::nullopt;
        numbers[i] = parts[i].trimmed().startsWith(u'-') ? -*value : *value;
    }
    return links::GeoPoint{numbers[0], numbers[1], std::nullopt};
}

std::optional<CopiedLocation> fromCoordinatesText(QStringView text)
{
    text = text.trimmed();
    if (text.size() > kMaxCoordinatesText)
        return std::nullopt;
    const QList<QStringView> parts = text.split(u',');
    if (parts.size() != 2)
        return std::nullopt;
    std::optional<links::GeoPoint> p = readDegreesText(parts);
    if (!p)
        p = readDecimalPair(parts);
    if (!p || !links::validLatitude(p->latitude) || !links::validLongitude(p->longitude))
        return std::nullopt;
    return CopiedLocation{links::linkFor(p->latitude, p->longitude), QString()};
}

// The one URI of a list ("#" lines are comments), or nothing.
std::optional<QString> onlyUri(const QByteArray& list)
{
    if (list.size() > kMaxSnippet)
        return std::nullopt;
    std::optional<QString> uri;
    for (const QByteArray& line : list.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#'))
            continue;
        if (uri)
            return std::nullopt;
        uri = QString::fromUtf8(trimmed);
    }
    return uri;
}

}  // namespace

std::optional<CopiedLocation> copiedLocation(const ClipboardOffer& offer)
{
    if (offer.text && links::isLocationLink(*offer.text))
        return CopiedLocation{*offer.text, QString()};
    if (auto found = fromXml(offer.kml, true))
        return found;
    if (auto found = fromXml(offer.gpx, false))
        return found;
    if (offer.text) {
        if (auto found = fromGeo(*offer.text))
            return found;
        const QStringView text = QStringView(*offer.text).trimmed();
        if (text.startsWith(u'<') && offer.text->size() <= kMaxSnippet)
            if (auto found = fromXml(text.toUtf8(), true))
                return found;
        if (auto found = fromCoordinatesText(*offer.text))
            return found;
    }
    if (const std::optional<QString> uri = onlyUri(offer.uriList))
        return fromGeo(*uri);
    return std::nullopt;
}

}  // namespace exchange
