#include "places.h"

#include "exchange/kmz.h"
#include "exchange/readrules.h"
#include "exchange/xmldoc.h"
#include "journal/journal.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "worldwind/links.h"

#include <QSet>
#include <QStringDecoder>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace exchange {
namespace {

// Compared a character at a time: most names differ in the first.
inline bool is(const char* name, std::string_view wanted)
{
    for (const char c : wanted)
        if (*name++ != c)
            return false;
    return *name == '\0';
}

// One place as found in the file: where its texts are, read only when the
// place is taken, straight into its row.
struct Found {
    pugi::xml_node node;  // for the line number of a message
    pugi::xml_node name;
    pugi::xml_node comment;
    QByteArrayView link;  // trimmed; in the document or the reader's scratch
    QByteArrayView latitude;
    QByteArrayView longitude;

    void start(pugi::xml_node at) { *this = Found{at, {}, {}, {}, {}, {}}; }
};

class Reader {
public:
    // The places of `doc` join `result`. With `networkLinks`, the links
    // of the document's NetworkLinks are put there for the caller to
    // follow; without, each counts as skipped.
    Reader(const xml::Document& doc, Import& result, QStringList* networkLinks = nullptr)
        : d_(doc), result_(result), networkLinks_(networkLinks)
    {}

    void run()
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
    }

private:
    const xml::Document& d_;
    Import& result_;
    QStringList* networkLinks_;
    Found found_;
    // Texts that XML changes on reading (references, line ends) are
    // decoded into these; most are read where they stand.
    QByteArray linkBytes_, coordinateBytes_, latitudeBytes_, longitudeBytes_, nameBytes_, commentBytes_;
    QString wide_;  // a text beyond ASCII, for the rules that need it whole

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
            } else if (is(name, "NetworkLink") && networkLinks_) {
                readNetworkLink(c);
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

    // Its Link (KML 2.2) or Url (KML 2.0) href; one without counts as skipped.
    void readNetworkLink(pugi::xml_node link)
    {
        QString href;
        children(link, [&](pugi::xml_node c, const char* name) {
            if (is(name, "Link") || is(name, "Url"))
                children(c, [&](pugi::xml_node h, const char* child) {
                    if (is(child, "href"))
                        href = d_.text(h);
                });
        });
        if (href.trimmed().isEmpty())
            ++result_.skipped;
        else
            networkLinks_->append(href);
    }

    // The last name, description and link of the placemark count, and its
    // last Point (each Point must be sound).
    void readPlacemark(pugi::xml_node placemark)
    {
        Found& f = found_;
        f.start(placemark);
        bool point = false;
        children(placemark, [&](pugi::xml_node c, const char* name) {
            if (is(name, "name")) {
                f.name = c;
            } else if (is(name, "description")) {
                f.comment = c;
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
                if (is(child, "value"))
                    f.link = trimmedLink(d_.textBytes(c, linkBytes_));
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
                    if (!splitCoordinates(d_.textBytes(c, coordinateBytes_), f))
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
    bool splitCoordinates(QByteArrayView text, Found& f)
    {
        text = withoutBom(text);
        if (!ascii(text))
            return splitWide(text, f);
        const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        QByteArrayView parts[3];
        int n = 0;
        for (qsizetype from = 0;;) {
            const qsizetype comma = text.indexOf(',', from);
            qsizetype begin = from, end = comma < 0 ? text.size() : comma;
            while (begin < end && space(text[begin]))
                ++begin;
            while (end > begin && space(text[end - 1]))
                --end;
            if (n == 3 || begin == end)
                return false;
            for (qsizetype i = begin; i < end; ++i)
                if (space(text[i]))
                    return false;  // more than one position
            parts[n++] = text.sliced(begin, end - begin);
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

    // The same for a text beyond ASCII, whose blanks are Unicode's.
    bool splitWide(QByteArrayView text, Found& f)
    {
        wide_ = wide(text);
        const QStringView all = wide_;
        QStringView parts[3];
        int n = 0;
        for (qsizetype from = 0;;) {
            const qsizetype comma = all.indexOf(u',', from);
            const QStringView part = all.sliced(from, (comma < 0 ? all.size() : comma) - from).trimmed();
            if (n == 3 || part.isEmpty())
                return false;
            for (const QChar c : part)
                if (c.isSpace())
                    return false;
            parts[n++] = part;
            if (comma < 0)
                break;
            from = comma + 1;
        }
        if (n < 2)
            return false;
        longitudeBytes_ = parts[0].toUtf8();
        latitudeBytes_ = parts[1].toUtf8();
        f.longitude = longitudeBytes_;
        f.latitude = latitudeBytes_;
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

    // The last name counts; the last desc, or without one the last cmt;
    // the first link that is a location link.
    void readWaypoint(pugi::xml_node wpt)
    {
        Found& f = found_;
        f.start(wpt);
        f.latitude = withoutBom(d_.attributeBytes(wpt, "lat", latitudeBytes_));
        f.longitude = withoutBom(d_.attributeBytes(wpt, "lon", longitudeBytes_));
        pugi::xml_node desc, cmt;
        children(wpt, [&](pugi::xml_node c, const char* name) {
            if (is(name, "name")) {
                f.name = c;
            } else if (is(name, "desc")) {
                desc = c;
            } else if (is(name, "cmt")) {
                cmt = c;
            } else if (is(name, "link") || is(name, "url")) {  // GPX 1.1, 1.0
                if (!f.link.isEmpty())
                    return;  // the first of our links counts
                f.link = trimmedLink(is(name, "link") ? d_.attributeBytes(c, "href", linkBytes_)
                                                      : d_.textBytes(c, linkBytes_));
                if (!links::isLocationLink(f.link))
                    f.link = QByteArrayView();
            }
        });
        if (!busy())
            return;
        f.comment = desc ? desc : cmt;
        addPlace(f);
    }

    // Named only when something is wrong with it.
    QString place(const Found& f) const
    {
        const QString name = f.name ? d_.text(f.name).trimmed().left(80) : QString();
        const qint64 line = d_.lineOf(f.node);
        return name.isEmpty() ? QStringLiteral("the place on line %1").arg(line)
                              : QStringLiteral("\"%1\" (line %2)").arg(name).arg(line);
    }

    std::optional<double> number(const Found& f, QByteArrayView text, const char* what, double limit)
    {
        const std::optional<double> v = links::decimalNumber(text);
        if (v && *v >= -limit && *v <= limit)
            return v;
        const QString shown = wide(text).trimmed().left(40);
        if (shown.isEmpty())
            fail(QStringLiteral("%1 has no %2").arg(place(f), QLatin1String(what)));
        else if (!v)
            fail(QStringLiteral("%1 has the %2 \"%3\", which is not a number")
                     .arg(place(f), QLatin1String(what), shown));
        else
            fail(QStringLiteral("%1 has the %2 %3, out of range (-%4 to %4)")
                     .arg(place(f), QLatin1String(what), shown)
                     .arg(limit));
        return std::nullopt;
    }

    // The place's row, its texts decoded straight into it: our own place
    // keeps its texts exactly, and its link unless the point was moved in
    // another program since; any other gets its texts trimmed and a link
    // of ours to where it is.
    void addPlace(const Found& f)
    {
        const std::optional<double> lat = number(f, f.latitude, "latitude", 90);
        if (!lat)
            return;
        const std::optional<double> lon = number(f, f.longitude, "longitude", 180);
        if (!lon)
            return;
        if (!journal::Journal::hasRoom(result_.rows.size())) {
            fail(QStringLiteral("it holds more than %1 places, more than a journal can hold").arg(kMaxRows));
            return;
        }
        const bool ours = links::isLocationLink(f.link);
        const bool keepLink = ours && pointsAt(f.link, *lat, *lon, f.latitude, f.longitude);
        const QByteArrayView name = f.name ? d_.textBytes(f.name, nameBytes_) : QByteArrayView();
        const QByteArrayView comment = f.comment ? d_.textBytes(f.comment, commentBytes_) : QByteArrayView();
        QString row;
        row.reserve(name.size() + comment.size() + (keepLink ? f.link.size() : 64) + 2);
        appendText(row, name, !ours);
        row += u'\t';
        if (keepLink)
            appendLink(row, f.link);
        else
            row += links::linkFor(*lat, *lon);
        row += u'\t';
        appendText(row, comment, !ours);
        result_.rows.append(std::move(row));
    }

    // A name or comment as a row holds it (makeRow's rule), without a
    // U+FEFF first (withoutLeadingBom).
    void appendText(QString& row, QByteArrayView text, bool trim) const
    {
        const qsizetype start = row.size();
        const bool control = d_.appendUtf16(text, row);
        QStringView kept = QStringView(row).sliced(start);
        if (trim)
            kept = kept.trimmed();
        kept = withoutLeadingBom(kept);
        const qsizetype from = kept.data() - row.constData(), size = kept.size();
        if (from != start)
            std::memmove(row.data() + start, row.constData() + from, size_t(size) * sizeof(QChar));
        row.truncate(start + size);
        if (control)
            flattenFrom(row, start);
    }

    // A link as a row holds it (makeRow's rule).
    void appendLink(QString& row, QByteArrayView link) const
    {
        const qsizetype start = row.size();
        if (d_.appendUtf16(link, row))
            escapeTabsFrom(row, start);
    }
};

Import parseXml(QByteArray bytes)
{
    Import result;
    const xml::Document doc(std::move(bytes));
    if (!doc.ok())
        result.error = doc.error();
    else
        Reader(doc, result).run();
    return result;
}

// Every KML entry of the archive, the document first: the entries its
// NetworkLinks load are read next, each once, wherever they stand in the
// archive; links that leave it (the network, "../" past its top) are never
// followed and count as skipped. What is inflated of all entries together
// stays within kMaxFileSize, and one document at a time is held.
Import parseKmz(const QByteArray& bytes)
{
    Import result;
    kmz::Archive archive(bytes);
    if (!archive.error().isEmpty()) {
        result.error = archive.error();
        return result;
    }
    const QStringList& entries = archive.kmlEntries();
    QStringList queue;
    QSet<QString> seen;
    qint64 budget = kMaxFileSize;
    for (qsizetype next = 0; result.ok();) {
        if (queue.isEmpty()) {
            while (next < entries.size() && seen.contains(entries[next]))
                ++next;
            if (next == entries.size())
                break;
            queue.append(entries[next]);
            seen.insert(entries[next]);
        }
        const QString entry = queue.takeFirst();
        kmz::Unpacked unpacked = archive.read(entry, budget);
        if (!unpacked.error.isEmpty()) {
            result.error = unpacked.error;
            break;
        }
        budget -= unpacked.kml.size();
        const xml::Document doc(std::move(unpacked.kml));
        const bool main = entry == entries.first();
        if (!doc.ok()) {
            result.error = main ? doc.error()
                                : QStringLiteral("in its document %1, %2").arg(entry.left(80), doc.error());
            break;
        }
        QStringList links;
        Reader(doc, result, &links).run();
        if (!result.ok() && !main)
            result.error = QStringLiteral("in its document %1, %2").arg(entry.left(80), result.error);
        for (const QString& link : std::as_const(links)) {
            const std::optional<QString> target = kmz::resolve(entry, link);
            if (!target || !entries.contains(*target))
                ++result.skipped;
            else if (!seen.contains(*target)) {
                seen.insert(*target);
                queue.append(*target);
            }
        }
    }
    if (!result.ok())
        result.rows.clear();
    return result;
}

// Whether the text starts as JSON does, after blanks.
bool looksLikeJson(QByteArrayView bytes)
{
    for (const char c : withoutBom(bytes)) {
        if (c == '{' || c == '[')
            return true;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return false;
}

// The bytes are parsed where they lie when handed over.
Import parseOwned(QByteArray bytes, std::optional<Format> format)
{
    if (bytes.size() > kMaxFileSize) {
        Import result;
        result.error = tooLarge(bytes.size());
        return result;
    }
    if (format == Format::Csv)
        return readCsv(bytes);
    if (format == Format::GeoJson || (!format && looksLikeJson(bytes)))
        return readGeoJson(std::move(bytes));
    if (kmz::looksLikeZip(bytes))
        return parseKmz(bytes);
    return parseXml(std::move(bytes));
}

}  // namespace

Import parse(const QByteArray& bytes, std::optional<Format> format)
{
    return parseOwned(bytes, format);
}

Import readFile(const QString& path)
{
    textfile::FileRead file = textfile::readRegularFile(path, kMaxFileSize);
    if (file.ok())
        return parseOwned(std::move(file.bytes), formatOf(path));
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
QString summary(const Import& import)
{
    const qsizetype n = import.rows.size();
    const int known = import.alreadyInList;
    QString text = n > 0 || known == 0 ? journal::placesText(n)
                   : known == 1        ? QStringLiteral("No new places: the only one is in the list already")
                   : known == 2        ? QStringLiteral("No new places: both are in the list already")
                                       : QStringLiteral("No new places: all %1 are in the list already").arg(known);
    if (import.skipped > 0)
        text += import.skipped == 1 ? QStringLiteral("; 1 item that is not a point skipped")
                                    : QStringLiteral("; %1 items that are not points skipped").arg(import.skipped);
    if (import.routeAndTrackPoints > 0)
        text += import.routeAndTrackPoints == 1
                    ? QStringLiteral("; 1 route or track point ignored")
                    : QStringLiteral("; %1 route and track points ignored").arg(import.routeAndTrackPoints);
    if (n > 0 && known > 0)
        text += known == 1 ? QStringLiteral("; 1 place already in the list left out")
                           : QStringLiteral("; %1 places already in the list left out").arg(known);
    if (const qsizetype lost = import.placesWithoutPosition; lost > 0) {
        // Named, a few at most, so that the user can capture them from the globe.
        constexpr qsizetype kNamed = 5;
        QStringList names;
        for (qsizetype i = 0; i < std::min({lost, kNamed, import.withoutPosition.size()}); ++i)
            names.append(import.withoutPosition[i]);
        QString shown = names.join(QLatin1String(", "));
        if (lost > kNamed)
            shown += QStringLiteral(" and %1 more").arg(lost - kNamed);
        text += lost == 1 ? QStringLiteral("; 1 place without a position left out: %1").arg(shown)
                          : QStringLiteral("; %1 places without a position left out: %2").arg(lost).arg(shown);
    }
    return text;
}

}  // namespace exchange
