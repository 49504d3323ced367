#include "copied.h"

#include "exchange/xmldoc.h"
#include "journal/row.h"
#include "worldwind/links.h"

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
    }
    if (const std::optional<QString> uri = onlyUri(offer.uriList))
        return fromGeo(*uri);
    return std::nullopt;
}

QString refusal(const CopiedLocation& found)
{
    for (const auto& [text, what] : {std::pair{&found.link, "link"}, std::pair{&found.name, "name"}})
        if (text->size() > kMaxFieldLength)
            return QStringLiteral("The location on the clipboard was not taken: it has %1.")
                .arg(fieldTooLong(QLatin1String(what), text->size()));
    return {};
}

}  // namespace exchange
