#include "places.h"

#include "journal/row.h"
#include "platform/textfile.h"
#include "worldwind/links.h"

#include <QBuffer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace exchange {
namespace {

const QString kKmlNamespace = QStringLiteral("http://www.opengis.net/kml/2.2");
const QString kGpxNamespace = QStringLiteral("http://www.topografix.com/GPX/1/1");
// The ExtendedData entry that carries the row's own link.
const QString kLinkData = QStringLiteral("worldwind-link");
const QString kCreator = QStringLiteral("Velmora");

// Element names are compared by length first: most differ there.
inline bool is(QStringView name, QStringView wanted)
{
    return name.size() == wanted.size() && name == wanted;
}

bool xmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text with every character XML 1.0 cannot hold replaced by U+FFFD;
// valid only as long as `text` is.
QString xmlSafe(QStringView text)
{
    QString out;  // stays null while nothing needs replacing
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c < 0xD800)
            continue;  // the common case, checked without copying
        char32_t cp = c;
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            cp = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            units = 2;
        }
        if (!xmlChar(cp)) {
            if (out.isNull())
                out = text.toString();
            out[i] = QChar(0xFFFD);
        }
        i += units - 1;
    }
    return out.isNull() ? QString::fromRawData(text.data(), text.size()) : out;
}

// An element holding `text`. Line breaks go as character references: a
// reader would take a CR for a line end, and the file's own line ends are
// CR LF.
void writeText(QXmlStreamWriter& w, const QString& element, QStringView text)
{
    // Most texts need no care: written without a copy.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0xD800; })) {
        w.writeTextElement(element, QString::fromRawData(text.data(), text.size()));
        return;
    }
    const QString safe = xmlSafe(text);
    w.writeStartElement(element);
    qsizetype from = 0;
    for (qsizetype i = 0; i < safe.size(); ++i) {
        const QChar c = safe[i];
        if (c != u'\r' && c != u'\n')
            continue;
        w.writeCharacters(QStringView(safe).sliced(from, i - from).toString());
        w.writeEntityReference(c == u'\r' ? QStringLiteral("#13") : QStringLiteral("#10"));
        from = i + 1;
    }
    w.writeCharacters(from == 0 ? safe : safe.sliced(from));
    w.writeEndElement();
}

links::Position exportedPosition(QStringView link)
{
    return links::position(link).value_or(links::Position{});
}

// Places files are written one place per line, which keeps them readable
// and quick to read back.
class Writer {
public:
    Writer() : w_(&text_) {}

    QXmlStreamWriter& xml() { return w_; }
    void lineEnd() { w_.writeCharacters(QStringLiteral("\r\n")); }

    void startDocument(qsizetype rows)
    {
        text_.reserve(256 + rows * 360);
        w_.writeProcessingInstruction(QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\""));
        lineEnd();
    }

    // Every element is closed by then.
    QByteArray finish() { return text_.toUtf8(); }

private:
    QString text_;
    QXmlStreamWriter w_;
};

}  // namespace

std::optional<Format> formatOf(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("kml"))
        return Format::Kml;
    if (suffix == QLatin1String("gpx"))
        return Format::Gpx;
    return std::nullopt;
}

QByteArray kmlBytes(const QStringList& rows)
{
    Writer out;
    QXmlStreamWriter& w = out.xml();
    out.startDocument(rows.size());
    w.writeDefaultNamespace(kKmlNamespace);
    w.writeStartElement(kKmlNamespace, QStringLiteral("kml"));
    w.writeStartElement(QStringLiteral("Document"));
    out.lineEnd();
    w.writeTextElement(QStringLiteral("name"), kCreator);
    out.lineEnd();
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const links::Position at = exportedPosition(f.link);
        w.writeStartElement(QStringLiteral("Placemark"));
        writeText(w, QStringLiteral("name"), f.name);
        if (!f.comment.isEmpty())
            writeText(w, QStringLiteral("description"), f.comment);
        w.writeStartElement(QStringLiteral("ExtendedData"));
        w.writeStartElement(QStringLiteral("Data"));
        w.writeAttribute(QStringLiteral("name"), kLinkData);
        writeText(w, QStringLiteral("value"), f.link);
        w.writeEndElement();
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("Point"));
        w.writeTextElement(QStringLiteral("coordinates"),
                           links::decimal(at.longitude) + u',' + links::decimal(at.latitude));
        w.writeEndElement();
        w.writeEndElement();
        out.lineEnd();
    }
    w.writeEndElement();
    out.lineEnd();
    w.writeEndElement();
    out.lineEnd();
    return out.finish();
}

QByteArray gpxBytes(const QStringList& rows)
{
    Writer out;
    QXmlStreamWriter& w = out.xml();
    out.startDocument(rows.size());
    w.writeDefaultNamespace(kGpxNamespace);
    w.writeStartElement(kGpxNamespace, QStringLiteral("gpx"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    w.writeAttribute(QStringLiteral("creator"), kCreator);
    out.lineEnd();
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const links::Position at = exportedPosition(f.link);
        w.writeStartElement(QStringLiteral("wpt"));
        w.writeAttribute(QStringLiteral("lat"), links::decimal(at.latitude));
        w.writeAttribute(QStringLiteral("lon"), links::decimal(at.longitude));
        writeText(w, QStringLiteral("name"), f.name);
        if (!f.comment.isEmpty())
            writeText(w, QStringLiteral("desc"), f.comment);
        w.writeEmptyElement(QStringLiteral("link"));
        w.writeAttribute(QStringLiteral("href"), xmlSafe(f.link));
        w.writeEndElement();
        out.lineEnd();
    }
    w.writeEndElement();
    out.lineEnd();
    return out.finish();
}

bool writeFile(const QString& path, const QStringList& rows, QString* error)
{
    const std::optional<Format> format = formatOf(path);
    if (!format) {
        if (error)
            *error = QStringLiteral("the file name must end in .kml or .gpx");
        return false;
    }
    return textfile::writeAtomically(path, *format == Format::Kml ? kmlBytes(rows) : gpxBytes(rows), error);
}

namespace {

// One place as found in the file, before it becomes a row.
struct Found {
    QString name;
    QString comment;
    QString ourLink;
    QString latitude;
    QString longitude;
    qint64 line = 0;
};

class Reader {
public:
    // Read through a buffer, the text is decoded a block at a time rather
    // than all at once: quicker, and far less memory for a large file.
    explicit Reader(const QByteArray& bytes)
    {
        buffer_.setData(bytes);
        buffer_.open(QIODevice::ReadOnly);
        r_.setDevice(&buffer_);
    }

    Import run()
    {
        if (!readToRoot())
            return finish();
        const QStringView root = r_.name();
        if (is(root, u"kml"))
            readKml();
        else if (is(root, u"gpx"))
            readGpx();
        else
            fail(QStringLiteral("it is neither KML nor GPX (its root element is <%1>)").arg(r_.qualifiedName()));
        while (busy())
            r_.readNext();  // what follows the root must be well-formed too
        return finish();
    }

private:
    static constexpr int kMaxDepth = 200;
    QBuffer buffer_;
    QXmlStreamReader r_;
    Import result_;
    int depth_ = 0;

    void fail(const QString& why)
    {
        if (result_.error.isEmpty())
            result_.error = why;
        r_.raiseError(why);
    }

    bool busy() { return !r_.atEnd() && !r_.hasError() && result_.error.isEmpty(); }

    Import finish()
    {
        if (result_.error.isEmpty() && r_.hasError())
            result_.error = QStringLiteral("it is not well-formed XML (line %1, column %2: %3)")
                                .arg(r_.lineNumber())
                                .arg(r_.columnNumber())
                                .arg(r_.errorString());
        if (!result_.ok())
            result_.rows.clear();
        return std::move(result_);
    }

    bool readToRoot()
    {
        while (busy()) {
            switch (r_.readNext()) {
            case QXmlStreamReader::DTD:
                // Places files never need entities; declared ones are how
                // expansion bombs and external entities get in.
                if (!r_.entityDeclarations().isEmpty())
                    fail(QStringLiteral("it declares entities (<!ENTITY> in its DOCTYPE), which places files "
                                        "do not use; it is refused for safety"));
                break;
            case QXmlStreamReader::StartElement:
                return true;
            default:
                break;
            }
        }
        if (result_.error.isEmpty() && !r_.hasError())
            fail(QStringLiteral("it holds no XML element"));
        return false;
    }

    // The text of the current element and of any elements inside it.
    QString text() { return r_.readElementText(QXmlStreamReader::IncludeChildElements); }

    // Runs `onChild` for each child element of the current one; whatever
    // `onChild` leaves unread of a child is skipped.
    template <typename F>
    void children(F onChild)
    {
        // Reading descends by recursion: a file of endlessly nested
        // elements must not run it out of stack.
        if (depth_ >= kMaxDepth) {
            fail(QStringLiteral("its elements are nested more than %1 deep (line %2)")
                     .arg(kMaxDepth)
                     .arg(r_.lineNumber()));
            return;
        }
        ++depth_;
        const auto leave = qScopeGuard([this] { --depth_; });
        while (busy()) {
            const auto token = r_.readNext();
            if (token == QXmlStreamReader::EndElement)
                return;
            if (token != QXmlStreamReader::StartElement)
                continue;
            onChild(r_.name());
            if (r_.tokenType() == QXmlStreamReader::StartElement)
                r_.skipCurrentElement();
        }
    }

    void readKml()
    {
        // Documents, Folders and anything else are looked through for
        // places, however deep.
        children([this](QStringView name) {
            if (is(name, u"Placemark")) {
                readPlacemark();
            } else if (is(name, u"GroundOverlay") || is(name, u"ScreenOverlay")
                       || is(name, u"PhotoOverlay") || is(name, u"NetworkLink")) {
                ++result_.skipped;
            } else if (is(name, u"Style") || is(name, u"StyleMap") || is(name, u"Schema")) {
                // nothing in them is a place
            } else {
                readKml();
            }
        });
    }

    void readPlacemark()
    {
        Found f;
        f.line = r_.lineNumber();
        bool point = false;
        children([&](QStringView name) {
            if (is(name, u"name"))
                f.name = text();
            else if (is(name, u"description"))
                f.comment = text();
            else if (is(name, u"ExtendedData"))
                readExtendedData(f);
            else if (is(name, u"Point") || is(name, u"MultiGeometry"))
                point = readGeometry(name, f) || point;
        });
        if (!busy())
            return;
        if (!point) {
            ++result_.skipped;
            return;
        }
        addPlace(f);
    }

    void readExtendedData(Found& f)
    {
        children([&](QStringView name) {
            if (!is(name, u"Data") || r_.attributes().value(QLatin1String("name")) != kLinkData)
                return;
            children([&](QStringView child) {
                if (is(child, u"value"))
                    f.ourLink = r_.readElementText();
            });
        });
    }

    // A Point, or the first Point inside a MultiGeometry (a labelled area,
    // say): true when one was found and its coordinates taken.
    bool readGeometry(QStringView name, Found& f)
    {
        if (is(name, u"Point")) {
            bool found = false;
            children([&](QStringView child) {
                if (is(child, u"coordinates") && !found) {
                    found = true;
                    const qint64 line = r_.lineNumber();
                    if (!splitCoordinates(r_.readElementText(), f))
                        fail(QStringLiteral("the coordinates on line %1 are not one longitude,latitude[,altitude]")
                                 .arg(line));
                }
            });
            if (!found && busy())
                fail(QStringLiteral("the Point on line %1 has no coordinates").arg(r_.lineNumber()));
            return found;
        }
        if (is(name, u"MultiGeometry")) {
            bool found = false;
            children([&](QStringView child) {
                if (!found && (is(child, u"Point") || is(child, u"MultiGeometry")))
                    found = readGeometry(child, f);
            });
            return found;
        }
        return false;
    }

    // "lon,lat[,alt]", blanks allowed around the commas.
    static bool splitCoordinates(QStringView text, Found& f)
    {
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
        f.longitude = parts[0].toString();
        f.latitude = parts[1].toString();
        return true;
    }

    void readGpx()
    {
        children([this](QStringView name) {
            if (is(name, u"wpt"))
                readWaypoint();
            else if (is(name, u"rte"))
                countPoints(u"rtept");
            else if (is(name, u"trk"))
                countPoints(u"trkpt");
        });
    }

    void countPoints(QStringView point)
    {
        children([&](QStringView name) {
            if (is(name, point))
                ++result_.routeAndTrackPoints;
            else if (is(name, u"trkseg"))
                countPoints(point);
        });
    }

    void readWaypoint()
    {
        Found f;
        f.line = r_.lineNumber();
        const QXmlStreamAttributes a = r_.attributes();
        f.latitude = a.value(QLatin1String("lat")).toString();
        f.longitude = a.value(QLatin1String("lon")).toString();
        QString cmt;
        bool hasDesc = false;
        children([&](QStringView name) {
            if (is(name, u"name")) {
                f.name = text();
            } else if (is(name, u"desc")) {
                f.comment = text();
                hasDesc = true;
            } else if (is(name, u"cmt")) {
                cmt = text();
            } else if (is(name, u"link")) {  // GPX 1.1
                const QString href = r_.attributes().value(QLatin1String("href")).toString();
                if (f.ourLink.isEmpty() && links::isLocationLink(href))
                    f.ourLink = href;
            } else if (is(name, u"url")) {  // GPX 1.0
                const QString url = r_.readElementText();
                if (f.ourLink.isEmpty() && links::isLocationLink(url))
                    f.ourLink = url;
            }
        });
        if (!busy())
            return;
        if (!hasDesc)
            f.comment = cmt;
        addPlace(f);
    }

    void addPlace(const Found& f)
    {
        // Named only when something is wrong with it.
        const auto place = [&f] {
            const QString name = f.name.trimmed();
            return name.isEmpty() ? QStringLiteral("the place on line %1").arg(f.line)
                                  : QStringLiteral("\"%1\" (line %2)").arg(name).arg(f.line);
        };
        const auto number = [&](const QString& text, const char* what, double limit) -> std::optional<double> {
            const std::optional<double> v = links::decimalNumber(text);
            if (v && *v >= -limit && *v <= limit)
                return v;
            const QString shown = text.trimmed().left(40);
            if (shown.isEmpty())
                fail(QStringLiteral("%1 has no %2").arg(place(), QLatin1String(what)));
            else if (!v)
                fail(QStringLiteral("%1 has the %2 \"%3\", which is not a number").arg(place(), QLatin1String(what), shown));
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
        if (result_.rows.size() >= kMaxRows) {
            fail(QStringLiteral("it holds more than %1 places, more than a journal can hold").arg(kMaxRows));
            return;
        }
        if (links::isLocationLink(f.ourLink)) {
            // Our own place: exact texts; the link too unless the point was
            // moved in another program since.
            const links::Position at = exportedPosition(f.ourLink);
            const bool same = std::abs(at.latitude - *lat) < 1e-9 && std::abs(at.longitude - *lon) < 1e-9;
            result_.rows.append(makeRow(f.name, same ? f.ourLink : links::linkFor(*lat, *lon), f.comment));
            return;
        }
        result_.rows.append(makeRow(f.name.trimmed(), links::linkFor(*lat, *lon), f.comment.trimmed()));
    }
};

QString tooLarge(qint64 size)
{
    return QStringLiteral("it is too large (%1 MB; places files of up to %2 MB are read)")
        .arg((size + (1 << 20) - 1) >> 20)
        .arg(kMaxFileSize >> 20);
}

}  // namespace

Import parse(const QByteArray& bytes)
{
    if (bytes.size() > kMaxFileSize) {
        Import result;
        result.error = tooLarge(bytes.size());
        return result;
    }
    return Reader(bytes).run();
}

Import readFile(const QString& path)
{
    const textfile::FileRead file = textfile::readRegularFile(path, kMaxFileSize);
    if (file.ok())
        return parse(file.bytes);
    Import result;
    switch (file.outcome) {
    case textfile::FileRead::TooLarge: result.error = tooLarge(file.size); break;
    case textfile::FileRead::Unreadable: result.error = QStringLiteral("it cannot be read (%1)").arg(file.whyNot); break;
    default: result.error = file.whyNot; break;
    }
    return result;
}

QString summary(const Import& import)
{
    const qsizetype n = import.rows.size();
    QString text = n == 1 ? QStringLiteral("1 place") : QStringLiteral("%1 places").arg(n);
    if (import.skipped > 0)
        text += import.skipped == 1 ? QStringLiteral("; 1 item that is not a point skipped")
                                    : QStringLiteral("; %1 items that are not points skipped").arg(import.skipped);
    if (import.routeAndTrackPoints > 0)
        text += import.routeAndTrackPoints == 1
                    ? QStringLiteral("; 1 route or track point ignored")
                    : QStringLiteral("; %1 route and track points ignored").arg(import.routeAndTrackPoints);
    return text;
}

}  // namespace exchange
