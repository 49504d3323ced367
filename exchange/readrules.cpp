#include "readrules.h"

#include "journal/journal.h"
#include "journal/row.h"
#include "platform/codepage.h"
#include "platform/readable.h"
#include "worldwind/links.h"

#include <QStringDecoder>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace exchange {

QStringView withoutLeadingBom(QStringView text)
{
    while (text.startsWith(QChar(0xFEFF)))
        text = text.sliced(1);
    return text;
}

// A text read as a string would lose a U+FEFF first in it, as the names
// and comments do: so do the texts read from the bytes.
QByteArrayView withoutBom(QByteArrayView text)
{
    return text.sliced(codepage::utf8MarkLength(text));
}

// A piece of such a text as a string, for the rules that need one: a
// U+FEFF first in it is kept, since it was not first in the text.
QString wide(QByteArrayView text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(text);
}

// Blanks and line ends around a link copied into a file are not part of it.
namespace {

template <typename Char>
bool linkBlank(Char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

QStringView trimmedLink(QStringView link)
{
    if (link.startsWith(QChar(0xFEFF)))
        link = link.sliced(1);
    while (!link.isEmpty() && linkBlank(link.front().unicode()))
        link = link.sliced(1);
    while (!link.isEmpty() && linkBlank(link.back().unicode()))
        link.chop(1);
    return link;
}

QByteArrayView trimmedLink(QByteArrayView link)
{
    link = withoutBom(link);
    const auto blank = [](char c) { return linkBlank(c); };
    qsizetype from = 0, to = link.size();
    while (from < to && blank(link[from]))
        ++from;
    while (to > from && blank(link[to - 1]))
        --to;
    return link.sliced(from, to - from);
}

bool ascii(QByteArrayView text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

namespace {

// links::readNumber, World Wind's layer's reading, for the plain numbers
// of links (signs, digits and points only) straight from the bytes; any
// other text goes to it as a string.
float layerNumber(QByteArrayView text)
{
    bool plain = text.size() <= 32;
    for (qsizetype i = 0; plain && i < text.size(); ++i)
        plain = (text[i] >= '0' && text[i] <= '9') || text[i] == '.' || text[i] == '-' || text[i] == '+';
    if (!plain)
        return links::readNumber(wide(text));
    return links::fromChars(text.data(), text.data() + text.size());
}

// layerNumber of a text that decimalNumber read as `exact`, mostly without
// reading it again: for the plain numbers it reads straight from the
// bytes, both readings round the same decimal to nearest, so the float is
// the one nearest to `exact`, unless `exact` lies just halfway between two
// floats, where rounding twice may go the other way.
float layerNumber(QByteArrayView text, double exact)
{
    bool plain = text.size() <= 32;
    for (qsizetype i = 0; plain && i < text.size(); ++i)
        plain = (text[i] >= '0' && text[i] <= '9') || text[i] == '.' || text[i] == '-' || text[i] == '+';
    const float near = float(exact);
    if (!plain || !std::isfinite(near))
        return layerNumber(text);
    if (double(near) == exact)
        return near;
    const float other = std::nextafter(near, double(near) < exact ? std::numeric_limits<float>::infinity()
                                                                  : -std::numeric_limits<float>::infinity());
    if ((double(near) + double(other)) / 2 == exact)
        return layerNumber(text);
    return near;
}

// A plain decimal ("-33.8688") of at most 15 significant digits: the
// layer's float reading of it is that of its decimal(), and so agrees.
bool shortDecimal(QByteArrayView text)
{
    int digits = 0;
    bool leading = true;
    for (qsizetype i = text.startsWith('-') ? 1 : 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.')
            continue;
        if (c < '0' || c > '9')
            return false;
        leading = leading && c == '0';
        digits += !leading;
    }
    return digits <= 15;
}

}  // namespace

// Whether our link still points at the place, as the exports read it: the
// KML and GPX exports by its exact position (0,0 when it has none), and,
// when it has one, the World Wind layer by its float reading. `latText`
// and `lonText` are what the place's own numbers were read from: the link
// usually holds the same, read already.
bool pointsAt(QByteArrayView link, double lat, double lon, QByteArrayView latText, QByteArrayView lonText)
{
    const std::optional<QByteArrayView> linkLat = links::pairValue(link, 1), linkLon = links::pairValue(link, 2);
    std::optional<double> exactLat, exactLon;
    if (linkLat && linkLon) {
        // The same text is the same number; an empty one is none.
        exactLat = *linkLat == latText && !latText.isEmpty() ? lat : links::decimalNumber(*linkLat);
        exactLon = *linkLon == lonText && !lonText.isEmpty() ? lon : links::decimalNumber(*linkLon);
    }
    const bool exact = exactLat && exactLon && links::validLatitude(*exactLat) && links::validLongitude(*exactLon);
    const double atLat = exact ? *exactLat : 0, atLon = exact ? *exactLon : 0;
    if (std::abs(atLat - lat) >= 1e-9 || std::abs(atLon - lon) >= 1e-9)
        return false;
    if (!exact)
        return true;
    const auto layerReads = [](QByteArrayView text, double exactValue, double value) {
        if (shortDecimal(text))
            return true;
        const float got = layerNumber(text, exactValue);
        return got == float(value) || got == links::readNumber(links::decimal(value));
    };
    return layerReads(*linkLat, *exactLat, lat) && layerReads(*linkLon, *exactLon, lon);
}

namespace {

// The first number pair "LAT,LON" at `from`: blanks ("+", %20) around the
// numbers allowed, a comma also as %2C; anything after the longitude
// (",17z", "&zoom") ends it.
std::optional<links::Position> pairAt(QStringView link, qsizetype from)
{
    QString text = link.sliced(from).toString();
    text.replace(QLatin1String("%2C"), QLatin1String(","), Qt::CaseInsensitive);
    text.replace(QLatin1String("%20"), QLatin1String(" "));
    text.replace(u'+', u' ');
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    qsizetype end = comma + 1;
    while (end < text.size() && (text[end].isDigit() || text[end] == u'.' || text[end] == u'-' || text[end] == u' '))
        ++end;
    const std::optional<double> lat = links::decimalNumber(QStringView(text).first(comma));
    const std::optional<double> lon = links::decimalNumber(QStringView(text).sliced(comma + 1, end - comma - 1));
    if (!lat || !lon || !links::validLatitude(*lat) || !links::validLongitude(*lon))
        return std::nullopt;
    return links::Position{*lat, *lon};
}

}  // namespace

std::optional<links::Position> positionInLink(QStringView link)
{
    if (links::isLocationLink(link))
        return links::position(link);
    for (const QLatin1StringView marker : {QLatin1StringView("/maps/search/"), QLatin1StringView("/@")}) {
        const qsizetype at = link.indexOf(marker);
        if (at >= 0)
            if (const auto found = pairAt(link, at + marker.size()))
                return found;
    }
    const qsizetype query = link.indexOf(u'?');
    if (query < 0)
        return std::nullopt;
    for (const QStringView pair : link.sliced(query + 1).split(u'&')) {
        for (const QLatin1StringView key :
             {QLatin1StringView("q="), QLatin1StringView("query="), QLatin1StringView("ll=")})
            if (pair.startsWith(key))
                if (const auto found = pairAt(pair, key.size()))
                    return found;
    }
    return std::nullopt;
}

QString joinedComment(const QStringList& texts)
{
    QStringList kept;
    QString blanks;
    for (const QString& t : texts) {
        if (t.trimmed().isEmpty()) {
            if (blanks.isEmpty())
                blanks = t;
        } else if (!kept.contains(t)) {
            kept.append(t);
        }
    }
    return kept.isEmpty() ? blanks : kept.join(QLatin1String("; "));
}

QString placeNamed(const QString& name, const QString& where)
{
    const QString shown = name.trimmed().left(80);
    return shown.isEmpty() ? QStringLiteral("the place at %1").arg(where)
                           : QStringLiteral("\"%1\" (%2)").arg(shown, where);
}

bool takePlace(Import& result, const Candidate& place)
{
    const QStringView link = trimmedLink(QStringView(place.link));
    const bool ours = links::isLocationLink(link);
    std::optional<links::Position> at = place.at;
    if (at && at->latitude == 0 && at->longitude == 0 && !ours)
        at.reset();  // a place the service could not locate
    if (at) {
        const auto outOfRange = [&](const char* what, double value, int limit) {
            result.error = QStringLiteral("%1 has the %2 %3, out of range (-%4 to %4)")
                               .arg(placeNamed(place.name, place.where), QLatin1String(what), links::decimal(value))
                               .arg(limit);
            return false;
        };
        if (!links::validLatitude(at->latitude))
            return outOfRange("latitude", at->latitude, 90);
        if (!links::validLongitude(at->longitude))
            return outOfRange("longitude", at->longitude, 180);
    }
    if (!at && !ours)
        at = positionInLink(link);
    if (!at && !ours) {
        const QString name = place.name.trimmed();
        if (++result.placesWithoutPosition <= kNamedWithoutPosition)
            result.withoutPosition.append(name.isEmpty() ? placeNamed(name, place.where)
                                                         : QStringLiteral("\"%1\"").arg(readable::text(name)));
        return true;
    }
    if (!journal::Journal::hasRoom(result.rows.size())) {
        result.error = QStringLiteral("it holds more than %1 places, more than a journal can hold").arg(kMaxRows);
        return false;
    }
    if (ours) {
        const bool keep = !at || pointsAt(link.toUtf8(), at->latitude, at->longitude, {}, {});
        const QString kept = keep ? link.toString() : links::linkFor(at->latitude, at->longitude);
        result.rows.append(makeRow(withoutLeadingBom(place.name), kept, withoutLeadingBom(place.comment)));
        return true;
    }
    result.rows.append(makeRow(withoutLeadingBom(QStringView(place.name).trimmed()),
                               links::linkFor(at->latitude, at->longitude),
                               withoutLeadingBom(QStringView(place.comment).trimmed())));
    return true;
}

QString tooLarge(qint64 size)
{
    return QStringLiteral("it is too large (%1 MB; places files of up to %2 MB are read)")
        .arg((size + (1 << 20) - 1) >> 20)
        .arg(kMaxFileSize >> 20);
}

QString carried(QString text)
{
    for (qsizetype i = text.indexOf(QChar(0xFFFE)); i >= 0; i = text.indexOf(QChar(0xFFFE), i + 1))
        text[i] = QChar(0xFFFD);
    for (qsizetype i = text.indexOf(QChar(0xFFFF)); i >= 0; i = text.indexOf(QChar(0xFFFF), i + 1))
        text[i] = QChar(0xFFFD);
    return text;
}

}  // namespace exchange
