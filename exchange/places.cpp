#include "places.h"

#include "exchange/kmz.h"
#include "exchange/xmldoc.h"
#include "journal/journal.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "worldwind/links.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace exchange {
namespace {

links::Position exportedPosition(QStringView link)
{
    return links::position(link).value_or(links::Position{});
}

// The file's bytes, appended into one buffer reserved ahead: markup as it
// is, texts escaped a run at a time. Places files are written one place per
// line, which keeps them readable and quick to read back.
class Out {
public:
    explicit Out(qsizetype rows) { bytes_.resize(4096 + rows * 400); }

    Out& operator<<(std::string_view markup)
    {
        char* o = room(qsizetype(markup.size()));
        std::memcpy(o, markup.data(), markup.size());
        used_ += qsizetype(markup.size());
        return *this;
    }

    // Text as XML carries it: markup characters escaped, line ends (and in
    // an attribute tabs) as character references, since a reader would
    // take them for blanks; characters XML cannot hold at all (control
    // characters, lone surrogates) as U+FFFD.
    void text(QStringView s, bool attribute = false)
    {
        char* const start = room(s.size() * 6);
        char* o = start;
        const char16_t* p = s.utf16();
        const char16_t* const end = p + s.size();
        const auto put = [&o](std::string_view v) {
            std::memcpy(o, v.data(), v.size());
            o += v.size();
        };
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (c < 0x80) {
                if (c >= 0x20 && c != u'<' && c != u'>' && c != u'&' && c != u'"') {
                    *o++ = char(c);
                    continue;
                }
                switch (c) {
                case u'<': put("&lt;"); break;
                case u'>': put("&gt;"); break;
                case u'&': put("&amp;"); break;
                case u'"': put("&quot;"); break;
                case u'\n': put("&#10;"); break;
                case u'\r': put("&#13;"); break;
                case u'\t':
                    if (attribute)
                        put("&#9;");
                    else
                        *o++ = '\t';
                    break;
                default: put("\xEF\xBF\xBD"); break;
                }
            } else if (c < 0x800) {
                *o++ = char(0xC0 | (c >> 6));
                *o++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xD800 || (c >= 0xE000 && c < 0xFFFE)) {
                *o++ = char(0xE0 | (c >> 12));
                *o++ = char(0x80 | ((c >> 6) & 0x3F));
                *o++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xDC00 && p + 1 < end && p[1] >= 0xDC00 && p[1] < 0xE000) {
                const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(p[1]) - 0xDC00);
                *o++ = char(0xF0 | (cp >> 18));
                *o++ = char(0x80 | ((cp >> 12) & 0x3F));
                *o++ = char(0x80 | ((cp >> 6) & 0x3F));
                *o++ = char(0x80 | (cp & 0x3F));
                ++p;
            } else {
                put("\xEF\xBF\xBD");
            }
        }
        used_ += o - start;
    }

    void element(std::string_view name, QStringView content)
    {
        *this << "<" << name << ">";
        text(content);
        *this << "</" << name << ">";
    }

    void number(double value)
    {
        const QString digits = links::decimal(value);
        char* o = room(digits.size());
        for (const QChar c : digits)
            *o++ = char(c.unicode());
        used_ += digits.size();
    }

    QByteArray finish()
    {
        bytes_.truncate(used_);
        return std::move(bytes_);
    }

private:
    QByteArray bytes_;
    qsizetype used_ = 0;

    char* room(qsizetype more)
    {
        if (used_ + more > bytes_.size())
            bytes_.resize(std::max(bytes_.size() * 2, used_ + more));
        return bytes_.data() + used_;
    }
};

constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

constexpr std::string_view kLabelStyleId = "velmora-label";

// The shared style of the names: KML colours are aabbggrr in hex, opaque
// here; the settings' default size draws at the globe's own scale 1.
void labelStyle(Out& out, const placenames::LabelFont& font)
{
    const placenames::ColorBytes c = placenames::colorBytes(font.color);
    const QByteArray color = QByteArray::number(0xFF000000u | quint32(c.blue & 0xFF) << 16 | quint32(c.green) << 8
                                                    | quint32(c.red),
                                                16)
                                 .rightJustified(8, '0');
    const int points = std::clamp(int(font.size), 1, 100);  // a hand-edited size past any sense
    out << "<Style id=\"" << kLabelStyleId << "\"><LabelStyle><color>" << color.toStdString() << "</color><scale>";
    out.number(double(points) / kDefaultFontSize);
    out << "</scale></LabelStyle></Style>\r\n";
}

}  // namespace

std::optional<Format> formatOf(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("kml"))
        return Format::Kml;
    if (suffix == QLatin1String("gpx"))
        return Format::Gpx;
    if (suffix == QLatin1String("kmz"))
        return Format::Kmz;
    return std::nullopt;
}

QByteArray kmlBytes(const QStringList& rows, const std::optional<placenames::LabelFont>& labels)
{
    Out out(rows.size());
    out << kHead << "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>\r\n<name>Velmora</name>\r\n";
    if (labels)
        labelStyle(out, *labels);
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const links::Position at = exportedPosition(f.link);
        out << "<Placemark>";
        out.element("name", f.name);
        if (labels)
            out << "<styleUrl>#" << kLabelStyleId << "</styleUrl>";
        if (!f.comment.isEmpty())
            out.element("description", f.comment);
        // The row's own link, for the way back.
        out << "<ExtendedData><Data name=\"worldwind-link\">";
        out.element("value", f.link);
        out << "</Data></ExtendedData><Point><coordinates>";
        out.number(at.longitude);
        out << ",";
        out.number(at.latitude);
        out << "</coordinates></Point></Placemark>\r\n";
    }
    out << "</Document>\r\n</kml>\r\n";
    return out.finish();
}

QByteArray gpxBytes(const QStringList& rows)
{
    Out out(rows.size());
    out << kHead << "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" version=\"1.1\" creator=\"Velmora\">\r\n";
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const links::Position at = exportedPosition(f.link);
        out << "<wpt lat=\"";
        out.number(at.latitude);
        out << "\" lon=\"";
        out.number(at.longitude);
        out << "\">";
        out.element("name", f.name);
        if (!f.comment.isEmpty())
            out.element("desc", f.comment);
        out << "<link href=\"";
        out.text(f.link, true);
        out << "\"/></wpt>\r\n";
    }
    out << "</gpx>\r\n";
    return out.finish();
}

std::optional<QByteArray> kmzBytes(const QStringList& rows, QString* error)
{
    return kmz::pack(kmlBytes(rows), error);
}

bool writeFile(const QString& path, const QStringList& rows, QString* error,
               const std::optional<placenames::LabelFont>& labels)
{
    const std::optional<Format> format = formatOf(path);
    if (!format) {
        if (error)
            *error = QStringLiteral("the file name must end in .kml, .gpx or .kmz");
        return false;
    }
    if (*format == Format::Kmz) {
        const std::optional<QByteArray> bytes = kmz::pack(kmlBytes(rows, labels), error);
        return bytes && textfile::writeAtomically(path, *bytes, error);
    }
    return textfile::writeAtomically(path, *format == Format::Kml ? kmlBytes(rows, labels) : gpxBytes(rows), error);
}

namespace {

// Compared a character at a time: most names differ in the first.
inline bool is(const char* name, std::string_view wanted)
{
    for (const char c : wanted)
        if (*name++ != c)
            return false;
    return *name == '\0';
}

// Blanks and line ends around a link copied into a file are not part of it.
QStringView trimmedLink(QStringView link)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    qsizetype from = 0, to = link.size();
    while (from < to && blank(link[from]))
        ++from;
    while (to > from && blank(link[to - 1]))
        --to;
    return link.sliced(from, to - from);
}

// Whether the link points at lat, lon as the exports read it: the KML and
// GPX exports by links::position (0,0 when it has none), and, when it has
// one, the World Wind layer by links::pairNumber.
bool pointsAt(QStringView link, double lat, double lon)
{
    const links::Readings read = links::readings(link);
    const links::Position p = read.exact.value_or(links::Position{});
    if (std::abs(p.latitude - lat) >= 1e-9 || std::abs(p.longitude - lon) >= 1e-9)
        return false;
    if (!read.exact)
        return true;
    const auto layerReads = [](float got, double value) {
        return got == float(value) || got == links::readNumber(links::decimal(value));
    };
    return layerReads(read.layerLatitude, lat) && layerReads(read.layerLongitude, lon);
}

// One place as found in the file, before it becomes a row. One of these
// serves every place of a file: its strings keep their room, and the row
// is the only string made per place.
struct Found {
    QString name;
    QString description;
    QString cmt;
    QString linkText;
    QString coordinates;
    QString latitudeText;
    QString longitudeText;
    // Views into the strings above.
    QStringView comment;
    QStringView ourLink;
    QStringView latitude;
    QStringView longitude;
    pugi::xml_node node;  // for the line number of a message

    void start(pugi::xml_node at)
    {
        // The others are read only through the views, or written first.
        for (QString* s : {&name, &description, &cmt})
            if (!s->isEmpty())
                s->resize(0);
        comment = ourLink = latitude = longitude = QStringView();
        node = at;
    }
};

class Reader {
public:
    explicit Reader(const xml::Document& doc) : d_(doc) {}

    Import run()
    {
        const pugi::xml_node root = d_.root();
        const char* name = xml::localName(root);
        if (is(name, "kml"))
            readKml(root);
        else if (is(name, "gpx"))
            readGpx(root);
        else
            fail(QStringLiteral("it is neither KML nor GPX (its root element is <%1>)")
                     .arg(QString::fromUtf8(root.name()).left(80)));
        if (!result_.ok())
            result_.rows.clear();
        return std::move(result_);
    }

private:
    const xml::Document& d_;
    Import result_;
    Found found_;

    void fail(const QString& why)
    {
        if (result_.error.isEmpty())
            result_.error = why;
    }

    bool busy() const { return result_.error.isEmpty(); }

    // Runs `onChild` for each child element, with its local name. The
    // document's depth was checked: readers may recurse.
    template <typename F>
    void children(pugi::xml_node parent, F onChild)
    {
        for (pugi::xml_node c = parent.first_child(); c && busy(); c = c.next_sibling())
            if (c.type() == pugi::node_element)
                onChild(c, xml::localName(c));
    }

    void readKml(pugi::xml_node parent)
    {
        // Documents, Folders and anything else are looked through for
        // places, however deep.
        children(parent, [this](pugi::xml_node c, const char* name) {
            if (is(name, "Placemark")) {
                readPlacemark(c);
            } else if (is(name, "GroundOverlay") || is(name, "ScreenOverlay") || is(name, "PhotoOverlay")
                       || is(name, "NetworkLink")) {
                ++result_.skipped;
            } else if (is(name, "Style") || is(name, "StyleMap") || is(name, "Schema")) {
                // nothing in them is a place
            } else {
                readKml(c);
            }
        });
    }

    void readPlacemark(pugi::xml_node placemark)
    {
        Found& f = found_;
        f.start(placemark);
        bool point = false;
        children(placemark, [&](pugi::xml_node c, const char* name) {
            if (is(name, "name")) {
                d_.text(c, f.name);
            } else if (is(name, "description")) {
                d_.text(c, f.description);
                f.comment = f.description;
            } else if (is(name, "ExtendedData")) {
                readExtendedData(c, f);
            } else if (is(name, "Point") || is(name, "MultiGeometry")) {
                point = readGeometry(c, name, f) || point;
            }
        });
        if (!busy())
            return;
        if (!point) {
            ++result_.skipped;
            return;
        }
        addPlace(f);
    }

    void readExtendedData(pugi::xml_node extended, Found& f)
    {
        children(extended, [&](pugi::xml_node data, const char* name) {
            if (!is(name, "Data") || !d_.attributeIs(data, "name", "worldwind-link"))
                return;
            children(data, [&](pugi::xml_node c, const char* child) {
                if (is(child, "value")) {
                    d_.text(c, f.linkText);
                    f.ourLink = trimmedLink(f.linkText);
                }
            });
        });
    }

    // A Point, or the first Point inside a MultiGeometry (a labelled area,
    // say): true when one was found and its coordinates taken.
    bool readGeometry(pugi::xml_node geometry, const char* name, Found& f)
    {
        bool found = false;
        if (is(name, "Point")) {
            children(geometry, [&](pugi::xml_node c, const char* child) {
                if (is(child, "coordinates") && !found) {
                    found = true;
                    d_.text(c, f.coordinates);
                    if (!splitCoordinates(f))
                        fail(QStringLiteral("the coordinates on line %1 are not one longitude,latitude[,altitude]")
                                 .arg(d_.lineOf(c)));
                }
            });
            if (!found && busy())
                fail(QStringLiteral("the Point on line %1 has no coordinates").arg(d_.lineOf(geometry)));
        } else if (is(name, "MultiGeometry")) {
            children(geometry, [&](pugi::xml_node c, const char* child) {
                if (!found && (is(child, "Point") || is(child, "MultiGeometry")))
                    found = readGeometry(c, child, f);
            });
        }
        return found;
    }

    // "lon,lat[,alt]", blanks allowed around the commas.
    static bool splitCoordinates(Found& f)
    {
        const QStringView text = f.coordinates;
        QStringView parts[3];
        int n = 0;
        for (qsizetype from = 0;;) {
            const qsizetype comma = text.indexOf(u',', from);
            const QStringView part = text.sliced(from, (comma < 0 ? text.size() : comma) - from).trimmed();
            if (n == 3 || part.isEmpty())
                return false;
            for (const QChar c : part)
                if (c.isSpace())
                    return false;  // more than one position
            parts[n++] = part;
            if (comma < 0)
                break;
            from = comma + 1;
        }
        if (n < 2)
            return false;
        f.longitude = parts[0];
        f.latitude = parts[1];
        return true;
    }

    void readGpx(pugi::xml_node gpx)
    {
        children(gpx, [this](pugi::xml_node c, const char* name) {
            if (is(name, "wpt"))
                readWaypoint(c);
            else if (is(name, "rte"))
                countPoints(c, "rtept");
            else if (is(name, "trk"))
                countPoints(c, "trkpt");
        });
    }

    void countPoints(pugi::xml_node parent, std::string_view point)
    {
        children(parent, [&](pugi::xml_node c, const char* name) {
            if (is(name, point))
                ++result_.routeAndTrackPoints;
            else if (is(name, "trkseg"))
                countPoints(c, point);
        });
    }

    void readWaypoint(pugi::xml_node wpt)
    {
        Found& f = found_;
        f.start(wpt);
        d_.attribute(wpt, "lat", f.latitudeText);
        d_.attribute(wpt, "lon", f.longitudeText);
        f.latitude = f.latitudeText;
        f.longitude = f.longitudeText;
        bool hasDesc = false;
        children(wpt, [&](pugi::xml_node c, const char* name) {
            if (is(name, "name")) {
                d_.text(c, f.name);
            } else if (is(name, "desc")) {
                d_.text(c, f.description);
                hasDesc = true;
            } else if (is(name, "cmt")) {
                d_.text(c, f.cmt);
            } else if (is(name, "link") || is(name, "url")) {  // GPX 1.1, 1.0
                if (!f.ourLink.isEmpty())
                    return;  // the first of our links counts
                if (is(name, "link"))
                    d_.attribute(c, "href", f.linkText);
                else
                    d_.text(c, f.linkText);
                f.ourLink = trimmedLink(f.linkText);
                if (!links::isLocationLink(f.ourLink))
                    f.ourLink = QStringView();
            }
        });
        if (!busy())
            return;
        f.comment = hasDesc ? f.description : f.cmt;
        addPlace(f);
    }

    void addPlace(const Found& f)
    {
        // Named only when something is wrong with it.
        const auto place = [&] {
            const QString name = f.name.trimmed().left(80);
            const qint64 line = d_.lineOf(f.node);
            return name.isEmpty() ? QStringLiteral("the place on line %1").arg(line)
                                  : QStringLiteral("\"%1\" (line %2)").arg(name).arg(line);
        };
        const auto number = [&](QStringView text, const char* what, double limit) -> std::optional<double> {
            const std::optional<double> v = links::decimalNumber(text);
            if (v && *v >= -limit && *v <= limit)
                return v;
            const QString shown = text.trimmed().left(40).toString();
            if (shown.isEmpty())
                fail(QStringLiteral("%1 has no %2").arg(place(), QLatin1String(what)));
            else if (!v)
                fail(QStringLiteral("%1 has the %2 \"%3\", which is not a number")
                         .arg(place(), QLatin1String(what), shown));
            else
                fail(QStringLiteral("%1 has the %2 %3, out of range (-%4 to %4)")
                         .arg(place(), QLatin1String(what), shown)
                         .arg(limit));
            return std::nullopt;
        };
        const std::optional<double> lat = number(f.latitude, "latitude", 90);
        if (!lat)
            return;
        const std::optional<double> lon = number(f.longitude, "longitude", 180);
        if (!lon)
            return;
        if (!journal::Journal::hasRoom(result_.rows.size())) {
            fail(QStringLiteral("it holds more than %1 places, more than a journal can hold").arg(kMaxRows));
            return;
        }
        if (links::isLocationLink(f.ourLink)) {
            // Our own place: exact texts; the link too unless the point was
            // moved in another program since.
            const bool same = pointsAt(f.ourLink, *lat, *lon);
            result_.rows.append(makeRow(f.name, same ? f.ourLink : links::linkFor(*lat, *lon), f.comment));
            return;
        }
        result_.rows.append(makeRow(QStringView(f.name).trimmed(), links::linkFor(*lat, *lon), f.comment.trimmed()));
    }
};

QString tooLarge(qint64 size)
{
    return QStringLiteral("it is too large (%1 MB; places files of up to %2 MB are read)")
        .arg((size + (1 << 20) - 1) >> 20)
        .arg(kMaxFileSize >> 20);
}

Import parseXml(const QByteArray& bytes)
{
    const xml::Document doc(bytes);
    if (!doc.ok()) {
        Import result;
        result.error = doc.error();
        return result;
    }
    return Reader(doc).run();
}

}  // namespace

Import parse(const QByteArray& bytes)
{
    if (bytes.size() > kMaxFileSize) {
        Import result;
        result.error = tooLarge(bytes.size());
        return result;
    }
    if (kmz::looksLikeZip(bytes)) {
        const kmz::Unpacked main = kmz::mainDocument(bytes, kMaxFileSize);
        if (!main.error.isEmpty()) {
            Import result;
            result.error = main.error;
            return result;
        }
        return parseXml(main.kml);
    }
    return parseXml(bytes);
}

Import readFile(const QString& path)
{
    const textfile::FileRead file = textfile::readRegularFile(path, kMaxFileSize);
    if (file.ok())
        return parse(file.bytes);
    Import result;
    switch (file.outcome) {
    case textfile::FileRead::TooLarge: result.error = tooLarge(file.size); break;
    case textfile::FileRead::Unreadable:
        result.error = QStringLiteral("it cannot be read (%1)").arg(file.whyNot);
        break;
    default: result.error = file.whyNot; break;
    }
    return result;
}

namespace {

// What makes two places the same: name and position, as exported.
QString placeKey(QStringView row)
{
    const RowView f = viewRow(row);
    const links::Position at = exportedPosition(f.link);
    return f.name.toString() + u'\t' + links::decimal(at.latitude) + u',' + links::decimal(at.longitude);
}

}  // namespace

void leaveOutKnown(Import& found, const QStringList& list)
{
    QSet<QString> known;
    known.reserve(list.size());
    for (const QString& row : list)
        known.insert(placeKey(row));
    const qsizetype before = found.rows.size();
    found.rows.removeIf([&known](const QString& row) { return known.contains(placeKey(row)); });
    found.alreadyInList += int(before - found.rows.size());
}

QString summary(const Import& import)
{
    const qsizetype n = import.rows.size();
    QString text = journal::placesText(n);
    if (import.skipped > 0)
        text += import.skipped == 1 ? QStringLiteral("; 1 item that is not a point skipped")
                                    : QStringLiteral("; %1 items that are not points skipped").arg(import.skipped);
    if (import.routeAndTrackPoints > 0)
        text += import.routeAndTrackPoints == 1
                    ? QStringLiteral("; 1 route or track point ignored")
                    : QStringLiteral("; %1 route and track points ignored").arg(import.routeAndTrackPoints);
    if (import.alreadyInList > 0)
        text += import.alreadyInList == 1
                    ? QStringLiteral("; 1 place already in the list left out")
                    : QStringLiteral("; %1 places already in the list left out").arg(import.alreadyInList);
    return text;
}

}  // namespace exchange
