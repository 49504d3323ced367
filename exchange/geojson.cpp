// GeoJSON (RFC 7946) in and out, and the saved places of map services,
// which are GeoJSON with properties of their own. Read with simdjson: it
// checks the whole document (UTF-8, numbers, nesting) before a value is
// used, and was the quickest of the readers measured on a full journal.

#include "places.h"

#include "exchange/outbytes.h"
#include "exchange/readrules.h"
#include "journal/row.h"
#include "worldwind/links.h"

#include <simdjson.h>

#include <array>
#include <cstring>
#include <string_view>

namespace exchange {
namespace {

namespace dom = simdjson::dom;

// Deeper nesting is refused; a point's coordinates sit 5 deep.
constexpr size_t kMaxJsonDepth = 200;

// Values and object members, counted before the tree is built: each costs
// the tree some 16 bytes, and a full journal's file holds some 400,000.
// A value inside a string is no value.
qsizetype valuesIn(QByteArrayView json)
{
    qsizetype n = 1;
    const char* p = json.data();
    const char* const end = p + json.size();
    while (p < end) {
        const char c = *p++;
        if (c == '"') {
            // To the closing quote, the one after an even run of
            // backslashes; found with memchr, as texts are most of a file.
            for (;;) {
                const char* quote = static_cast<const char*>(std::memchr(p, '"', size_t(end - p)));
                if (!quote)
                    return n;
                const char* b = quote;
                while (b > p && b[-1] == '\\')
                    --b;
                p = quote + 1;
                if ((quote - b) % 2 == 0)
                    break;
            }
        } else if (c == ',' || c == '[' || c == '{') {
            ++n;
        }
    }
    return n;
}

std::optional<std::string_view> stringAt(dom::object o, std::string_view key)
{
    std::string_view s;
    if (o.at_key(key).get_string().get(s) != simdjson::SUCCESS)
        return std::nullopt;
    return s;
}

std::optional<dom::object> objectAt(dom::object o, std::string_view key)
{
    dom::object inner;
    if (o.at_key(key).get_object().get(inner) != simdjson::SUCCESS)
        return std::nullopt;
    return inner;
}

QString text(std::optional<std::string_view> s)
{
    return s ? carried(QString::fromUtf8(s->data(), qsizetype(s->size()))) : QString();
}

// A number, or a number written as a string (as older saved places hold
// their coordinates).
std::optional<double> numberAt(dom::object o, std::string_view key)
{
    double v = 0;
    if (o.at_key(key).get_double().get(v) == simdjson::SUCCESS)
        return v;
    if (const auto s = stringAt(o, key))
        return links::decimalNumber(text(s));
    return std::nullopt;
}

class Reader {
public:
    Import run(dom::element root)
    {
        dom::object top;
        std::string_view type;
        if (root.get_object().get(top) == simdjson::SUCCESS)
            type = stringAt(top, "type").value_or(std::string_view());
        if (type.empty()) {
            fail(QStringLiteral("it is not GeoJSON (no \"type\" naming a FeatureCollection, a Feature or a geometry)"));
        } else if (type == "FeatureCollection") {
            dom::array features;
            if (top.at_key("features").get_array().get(features) != simdjson::SUCCESS)
                fail(QStringLiteral("its FeatureCollection has no \"features\" list"));
            else
                for (dom::element f : features) {
                    if (!busy())
                        break;
                    readFeature(f);
                }
        } else if (type == "Feature") {
            readFeature(root);
        } else {
            Candidate place;
            place.where = QStringLiteral("its geometry");
            readGeometry(root, place);
        }
        if (!busy())
            result_.rows.clear();
        return std::move(result_);
    }

private:
    Import result_;
    int features_ = 0;

    void fail(const QString& why)
    {
        if (result_.error.isEmpty())
            result_.error = why;
    }
    bool busy() const { return result_.error.isEmpty(); }

    void readFeature(dom::element feature)
    {
        Candidate place;
        place.where = QStringLiteral("feature %1").arg(++features_);
        dom::object f;
        if (feature.get_object().get(f) != simdjson::SUCCESS) {
            fail(QStringLiteral("%1 is not an object").arg(place.where));
            return;
        }
        if (const auto properties = objectAt(f, "properties"))
            readProperties(*properties, place);
        dom::element geometry;
        if (f.at_key("geometry").get(geometry) != simdjson::SUCCESS || geometry.is_null()) {
            takePlace(result_, place);  // from its link, or named as without a position
            return;
        }
        readGeometry(geometry, place);
    }

    // The names and texts of GeoJSON writers and of both forms of saved
    // places (the older "Title", "Location", the newer "location").
    static void readProperties(dom::object p, Candidate& place)
    {
        const std::optional<dom::object> location = objectAt(p, "location");
        const std::optional<dom::object> older = objectAt(p, "Location");
        for (const auto key : {"name", "title", "Title"})
            if (place.name.isEmpty())
                place.name = text(stringAt(p, key));
        if (place.name.isEmpty() && location)
            place.name = text(stringAt(*location, "name"));
        if (place.name.isEmpty() && older)
            place.name = text(stringAt(*older, "Business Name"));
        QStringList texts;
        for (const auto key : {"description", "Comment", "Note"})
            texts.append(text(stringAt(p, key)));
        if (location)
            texts.append(text(stringAt(*location, "address")));
        if (older)
            texts.append(text(stringAt(*older, "Address")));
        place.comment = joinedComment(texts);
        for (const auto key : {"worldwind-link", "google_maps_url", "Google Maps URL", "url"})
            if (place.link.isEmpty())
                place.link = text(stringAt(p, key));
        if (older)
            if (const auto coordinates = objectAt(*older, "Geo Coordinates")) {
                const auto lat = numberAt(*coordinates, "Latitude"), lon = numberAt(*coordinates, "Longitude");
                if (lat && lon)
                    place.at = links::Position{*lat, *lon};
            }
    }

    void readGeometry(dom::element geometry, Candidate& place)
    {
        dom::object g;
        std::optional<std::string_view> typeOf;
        if (geometry.get_object().get(g) == simdjson::SUCCESS)
            typeOf = stringAt(g, "type");
        if (!typeOf) {
            fail(QStringLiteral("%1 has a geometry without a \"type\"").arg(placeNamed(place.name, place.where)));
            return;
        }
        const std::string_view type = *typeOf;
        if (type == "Point") {
            dom::element coordinates;
            if (g.at_key("coordinates").get(coordinates) != simdjson::SUCCESS) {
                fail(QStringLiteral("%1 has a Point without coordinates").arg(placeNamed(place.name, place.where)));
                return;
            }
            readPosition(coordinates, place);
        } else if (type == "MultiPoint") {
            dom::array points;
            if (g.at_key("coordinates").get_array().get(points) != simdjson::SUCCESS) {
                fail(
                    QStringLiteral("%1 has a MultiPoint without coordinates").arg(placeNamed(place.name, place.where)));
                return;
            }
            for (dom::element point : points)
                if (busy())
                    readPosition(point, place);
        } else if (type == "GeometryCollection") {
            dom::array geometries;
            if (g.at_key("geometries").get_array().get(geometries) != simdjson::SUCCESS) {
                fail(QStringLiteral("%1 has a GeometryCollection without geometries")
                         .arg(placeNamed(place.name, place.where)));
                return;
            }
            // Like a feature of its own: skipped when nothing in it is a point.
            const qsizetype before = result_.rows.size() + result_.placesWithoutPosition;
            const int skipped = result_.skipped;
            for (dom::element inner : geometries)
                if (busy())
                    readGeometry(inner, place);
            if (result_.rows.size() + result_.placesWithoutPosition > before)
                result_.skipped = skipped;
            else
                result_.skipped = skipped + 1;
        } else if (type == "LineString" || type == "MultiLineString" || type == "Polygon" || type == "MultiPolygon") {
            ++result_.skipped;
        } else {
            fail(QStringLiteral("%1 has a geometry of the unknown type \"%2\"")
                     .arg(placeNamed(place.name, place.where), text(type).left(40)));
        }
    }

    // [longitude, latitude] or [longitude, latitude, altitude]; [] is an
    // empty point, a place without a position.
    void readPosition(dom::element coordinates, Candidate place)
    {
        dom::array numbers;
        double values[2] = {0, 0};
        size_t n = 0;
        bool numeric = coordinates.get_array().get(numbers) == simdjson::SUCCESS;
        if (numeric) {
            for (dom::element v : numbers) {
                double d = 0;
                if (v.get_double().get(d) != simdjson::SUCCESS) {
                    numeric = false;
                    break;
                }
                if (n < 2)
                    values[n] = d;
                ++n;
            }
        }
        if (!numeric || n == 1 || n > 3) {
            fail(QStringLiteral("%1 has coordinates that are not [longitude, latitude]")
                     .arg(placeNamed(place.name, place.where)));
            return;
        }
        // A point at 0,0 is where services put what they could not place:
        // the position in its properties (older saved places) counts then.
        if (n == 0)
            place.at.reset();
        else if (values[0] != 0 || values[1] != 0 || !place.at)
            place.at = links::Position{values[1], values[0]};
        takePlace(result_, place);
    }
};

// JSON's escapes: the quote, the backslash and control characters.
std::string_view jsonEscape(char c)
{
    static const std::array<std::array<char, 7>, 32> controls = [] {
        std::array<std::array<char, 7>, 32> t{};
        for (int i = 0; i < 32; ++i)
            t[size_t(i)] = {'\\', 'u', '0', '0', "0123456789abcdef"[i >> 4], "0123456789abcdef"[i & 15], 0};
        return t;
    }();
    switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return c >= 0 && c < 0x20 ? std::string_view(controls[size_t(c)].data(), 6) : std::string_view();
    }
}

void jsonString(OutBytes& out, QStringView s)
{
    out << "\"";
    out.text(s, jsonEscape);
    out << "\"";
}

}  // namespace

Import readGeoJson(QByteArray bytes)
{
    Import result;
    const QByteArrayView json = withoutBom(bytes);
    if (valuesIn(json) > kMaxValues) {
        result.error = QStringLiteral("it holds more than %1 values, far more than any places file; it is refused")
                           .arg(kMaxValues);
        return result;
    }
    const qsizetype offset = json.data() - bytes.constData();
    bytes.reserve(bytes.size() + qsizetype(simdjson::SIMDJSON_PADDING));  // read past the end in blocks
    dom::parser parser;
    dom::element root;
    simdjson::error_code error = parser.allocate(size_t(json.size()), kMaxJsonDepth);
    if (!error)
        error = parser.parse(bytes.constData() + offset, size_t(json.size()), false).get(root);
    if (error == simdjson::DEPTH_ERROR) {
        result.error = QStringLiteral("its values are nested more than %1 deep").arg(kMaxJsonDepth);
        return result;
    }
    if (error == simdjson::MEMALLOC) {
        result.error = QStringLiteral("there is not enough memory to read it");
        return result;
    }
    if (error) {
        result.error =
            QStringLiteral("it is not well-formed JSON (%1)").arg(QLatin1String(simdjson::error_message(error)));
        return result;
    }
    return Reader().run(root);
}

QByteArray geoJsonBytes(const QStringList& rows)
{
    OutBytes out(rows.size());
    out << "{\"type\":\"FeatureCollection\",\"features\":[\n";
    bool first = true;
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        out << (first ? "" : ",\n") << "{\"type\":\"Feature\",\"geometry\":";
        first = false;
        if (const std::optional<links::Position> at = links::position(f.link)) {
            out << "{\"type\":\"Point\",\"coordinates\":[";
            out.number(at->longitude);
            out << ",";
            out.number(at->latitude);
            out << "]}";
        } else {
            out << "null";
        }
        out << ",\"properties\":{\"name\":";
        jsonString(out, f.name);
        if (!f.comment.isEmpty()) {
            out << ",\"description\":";
            jsonString(out, f.comment);
        }
        // The row's own link, for the way back.
        out << ",\"worldwind-link\":";
        jsonString(out, f.link);
        out << "}}";
    }
    out << "\n]}\n";
    return out.finish();
}

}  // namespace exchange
