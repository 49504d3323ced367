#include "links.h"

#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace links {

bool isLocationLink(QStringView text)
{
    return text.startsWith(QLatin1String(kScheme));
}

bool isLocationLink(QByteArrayView utf8)
{
    return utf8.startsWith(QByteArrayView(kScheme));
}

QString startLink()
{
    return QStringLiteral("worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000");
}

QString decimal(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    // 15 significant digits as d.dddddddddddddde±x, then the point moved by hand.
    // to_chars rounds exactly as printf's "%.14e" does, many times faster.
    char buf[40];
    *std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::scientific, 14).ptr = '\0';
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    char digits[16];
    int count = 0;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits[count++] = *p;
    const int exponent = std::atoi(p + 1);
    while (count > 1 && digits[count - 1] == '0')
        --count;
    if (count == 1 && digits[0] == '0')
        return QStringLiteral("0");
    // Built in place: exported places files print two of these per place.
    char out[400];
    char* o = out;
    if (negative)
        *o++ = '-';
    if (exponent < 0) {
        *o++ = '0';
        *o++ = '.';
        o = std::fill_n(o, -exponent - 1, '0');
        o = std::copy_n(digits, count, o);
    } else if (exponent + 1 >= count) {
        o = std::copy_n(digits, count, o);
        o = std::fill_n(o, exponent + 1 - count, '0');
    } else {
        o = std::copy_n(digits, exponent + 1, o);
        *o++ = '.';
        o = std::copy(digits + exponent + 1, digits + count, o);
    }
    return QString::fromLatin1(out, o - out);
}

QString linkFor(double latitude, double longitude)
{
    return QStringLiteral("worldwind://goto/world=Earth&lat=") + decimal(latitude) + QStringLiteral("&lon=")
           + decimal(longitude);
}

QString linkFor(double latitude, double longitude, std::optional<double> altitude)
{
    QString link = linkFor(latitude, longitude);
    if (altitude)
        link += QStringLiteral("&alt=") + decimal(*altitude);
    return link;
}

bool validLatitude(double degrees)
{
    return degrees >= -90 && degrees <= 90;
}

bool validLongitude(double degrees)
{
    return degrees >= -180 && degrees <= 180;
}

float fromChars(const char* begin, const char* end)
{
    // Rounds straight to float, and never looks at the locale. A number
    // beyond the range of a float gives 0, as a failed conversion does.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '+' || *begin == '-'))
            return 0.0f;
    }
    float value = 0.0f;
    const auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() ? value : 0.0f;
}

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// Most values are plain ("-122.41941"): signs, digits and points up to the
// end or a character that cannot belong to a number. from_chars then reads
// them exactly as the full rule would. Nothing when the text needs that rule.
std::optional<float> readPlainNumber(QStringView text)
{
    char plain[32];
    qsizetype taken = 0;
    for (; taken < text.size() && taken < qsizetype(sizeof plain); ++taken) {
        const char16_t c = text[taken].unicode();
        if ((c < u'0' || c > u'9') && c != u'.' && c != u'-' && c != u'+')
            break;
        plain[taken] = char(c);
    }
    const bool plainToTheEnd = taken == text.size()
                               || (taken < qsizetype(sizeof plain) && !isBlank(text[taken]) && text[taken] != u'E'
                                   && text[taken] != u'e');
    if (!plainToTheEnd)
        return std::nullopt;
    return fromChars(plain, plain + taken);
}

// The full rule: blanks are dropped wherever they stand; then sign, digits,
// "." and digits, and an exponent are taken as far as they form a number.
class SpacedNumber {
public:
    explicit SpacedNumber(QStringView text) : text_(text) {}

    float read()
    {
        at_ = skipBlanks(0);
        sign();
        const bool whole = digits();
        if (!(fraction() || whole))
            return 0.0f;
        exponent();
        return fromChars(number_.constData(), number_.constData() + number_.size());
    }

private:
    QStringView text_;
    qsizetype at_ = 0;
    QVarLengthArray<char, 64> number_;

    qsizetype skipBlanks(qsizetype k) const
    {
        while (k < text_.size() && isBlank(text_[k]))
            ++k;
        return k;
    }
    bool digitAt(qsizetype k) const { return k < text_.size() && text_[k] >= u'0' && text_[k] <= u'9'; }
    bool oneOf(qsizetype k, char16_t a, char16_t b) const
    {
        return k < text_.size() && (text_[k] == a || text_[k] == b);
    }

    void sign()
    {
        if (oneOf(at_, u'+', u'-'))
            number_.append(char(text_[at_++].unicode()));
    }

    bool digits()
    {
        bool any = false;
        for (at_ = skipBlanks(at_); digitAt(at_); at_ = skipBlanks(at_ + 1)) {
            number_.append(char(text_[at_].unicode()));
            any = true;
        }
        return any;
    }

    // The point counts only when a digit follows it.
    bool fraction()
    {
        if (at_ >= text_.size() || text_[at_] != u'.' || !digitAt(skipBlanks(at_ + 1)))
            return false;
        number_.append('.');
        ++at_;
        return digits();
    }

    // Taken only when digits follow: "5E" is the number 5.
    void exponent()
    {
        if (!oneOf(at_, u'E', u'e'))
            return;
        const qsizetype mark = number_.size();
        number_.append('E');
        at_ = skipBlanks(at_ + 1);
        sign();
        if (!digits())
            number_.resize(mark);
    }
};

}  // namespace

float readNumber(QStringView text)
{
    if (const std::optional<float> plain = readPlainNumber(text))
        return *plain;
    return SpacedNumber(text).read();
}

namespace {

// The value of pair `i` ("&"-separated): after its first "=", up to a
// second "=". Nothing for a missing pair or one without "=".
std::optional<QStringView> pairValue(QStringView link, int i)
{
    const qsizetype n = link.size();
    qsizetype k = 0;
    for (int field = 0; field < i; ++field) {
        k = link.indexOf(u'&', k);  // vectorised: links are read for every place of a file
        if (k < 0)
            return std::nullopt;
        ++k;
    }
    while (k < n && link[k] != u'&' && link[k] != u'=')
        ++k;
    if (k == n || link[k] != u'=')
        return std::nullopt;
    const qsizetype start = ++k;
    while (k < n && link[k] != u'&' && link[k] != u'=')
        ++k;
    return link.sliced(start, k - start);
}

}  // namespace

// The same rule on UTF-8 bytes, for readers of files.
std::optional<QByteArrayView> pairValue(QByteArrayView link, int i)
{
    const char* p = link.data();
    const char* const end = p + link.size();
    for (int field = 0; field < i; ++field) {
        p = static_cast<const char*>(std::memchr(p, '&', size_t(end - p)));
        if (!p)
            return std::nullopt;
        ++p;
    }
    while (p < end && *p != '&' && *p != '=')
        ++p;
    if (p == end || *p != '=')
        return std::nullopt;
    const char* const start = ++p;
    while (p < end && *p != '&' && *p != '=')
        ++p;
    return QByteArrayView(start, p - start);
}

float pairNumber(QStringView link, int i)
{
    const std::optional<QStringView> value = pairValue(link, i);
    return value ? readNumber(*value) : 0.0f;
}

std::optional<double> decimalNumber(QStringView text)
{
    text = text.trimmed();
    if (text.startsWith(u'+')) {
        text = text.sliced(1);  // from_chars takes no plus sign
        if (text.startsWith(u'+') || text.startsWith(u'-'))
            return std::nullopt;
    }
    // from_chars checks the form; letters other than an exponent's never
    // reach it, so "inf" and "nan" are refused.
    char plain[64];
    if (text.isEmpty() || text.size() > qsizetype(sizeof plain))
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!(c >= u'0' && c <= u'9') && c != u'.' && c != u'e' && c != u'E' && c != u'-' && c != u'+')
            return std::nullopt;
        plain[i] = char(c);
    }
    double value = 0;
    const char* end = plain + text.size();
    const auto result = std::from_chars(plain, end, value);
    if (result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

// Its rule straight from the bytes, for the ASCII texts that files hold;
// any other text goes to it as a string.
std::optional<double> decimalNumber(QByteArrayView text)
{
    const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && space(*begin))
        ++begin;
    while (end > begin && space(end[-1]))
        --end;
    for (const char* p = begin; p < end; ++p) {
        if ((*p >= '0' && *p <= '9') || *p == '.' || *p == 'e' || *p == 'E' || *p == '-' || *p == '+')
            continue;
        // Unicode's blanks may stand around the number too.
        for (const char* q = p; q < text.data() + text.size(); ++q)
            if (static_cast<unsigned char>(*q) >= 0x80) {
                // A U+FEFF there is no blank, and must not be taken for a mark.
                QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
                return decimalNumber(QStringView(QString(utf8.decode(text))));
            }
        return std::nullopt;
    }
    if (begin < end && *begin == '+') {
        ++begin;  // from_chars takes no plus sign
        if (begin < end && (*begin == '+' || *begin == '-'))
            return std::nullopt;
    }
    if (begin == end || end - begin > 64)
        return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

namespace {

std::optional<Position> positionOf(std::optional<QStringView> latText, std::optional<QStringView> lonText)
{
    if (!latText || !lonText)
        return std::nullopt;
    const std::optional<double> lat = decimalNumber(*latText), lon = decimalNumber(*lonText);
    if (!lat || !lon || !validLatitude(*lat) || !validLongitude(*lon))
        return std::nullopt;
    return Position{*lat, *lon};
}

}  // namespace

std::optional<Position> position(QStringView link)
{
    return positionOf(pairValue(link, 1), pairValue(link, 2));
}

std::optional<double> readAngle(const QString& text, const QLocale& locale)
{
    // Group separators are refused: "1.000" must not become 1000 in one
    // locale and 1 in another.
    QLocale strict = locale;
    strict.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint16> readSeconds(const QString& text, const QLocale& locale)
{
    const std::optional<double> value = readAngle(text, locale);
    if (!value)
        return std::nullopt;
    const double whole = std::nearbyint(*value);  // the default rounding: half to even
    if (whole < -32768.0 || whole > 32767.0)
        return std::nullopt;
    return qint16(whole);
}

double coordinate(double degrees, double minutes, qint16 seconds, int factor)
{
    return (degrees + minutes / 60.0 + seconds / 3600.0) * factor;
}

namespace {

bool asciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool asciiHex(QChar c)
{
    return asciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool asciiAlnum(QChar c)
{
    return asciiDigit(c) || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// RFC 5870's number: an optional "-", digits, and "." with digits.
std::optional<double> geoNumber(QStringView text)
{
    qsizetype i = text.startsWith(u'-') ? 1 : 0;
    const qsizetype whole = i;
    while (i < text.size() && asciiDigit(text[i]))
        ++i;
    if (i == whole)
        return std::nullopt;
    if (i < text.size() && text[i] == u'.') {
        const qsizetype fraction = ++i;
        while (i < text.size() && asciiDigit(text[i]))
            ++i;
        if (i == fraction)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    return decimalNumber(text);
}

// A parameter value: unreserved characters, percent escapes and "[]:&+$".
bool geoValue(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%') {
            if (i + 2 >= text.size() || !asciiHex(text[i + 1]) || !asciiHex(text[i + 2]))
                return false;
            i += 2;
        } else if (!asciiAlnum(c) && !QStringView(u"-._~[]:&+$").contains(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<GeoPoint> readGeoUri(QStringView text)
{
    text = text.trimmed();
    if (text.size() > 1024 || !text.startsWith(u"geo:", Qt::CaseInsensitive))
        return std::nullopt;
    const QList<QStringView> parts = text.sliced(4).split(u';');
    const QList<QStringView> numbers = parts.first().split(u',');
    if (numbers.size() < 2 || numbers.size() > 3)
        return std::nullopt;
    GeoPoint point;
    const std::optional<double> lat = geoNumber(numbers[0]), lon = geoNumber(numbers[1]);
    if (!lat || !lon || !validLatitude(*lat) || !validLongitude(*lon))
        return std::nullopt;
    point.latitude = *lat;
    point.longitude = *lon;
    if (numbers.size() == 3) {
        point.altitude = geoNumber(numbers[2]);
        if (!point.altitude)
            return std::nullopt;
    }
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const qsizetype equals = parts[i].indexOf(u'=');
        const QStringView name = equals < 0 ? parts[i] : parts[i].first(equals);
        const QStringView value = equals < 0 ? QStringView() : parts[i].sliced(equals + 1);
        if (name.isEmpty() || !std::all_of(name.begin(), name.end(), [](QChar c) { return asciiAlnum(c) || c == u'-'; })
            || !geoValue(value))
            return std::nullopt;
        // Coordinates of another reference system would name another point.
        if (name.compare(u"crs", Qt::CaseInsensitive) == 0 && value.compare(u"wgs84", Qt::CaseInsensitive) != 0)
            return std::nullopt;
    }
    return point;
}

}  // namespace links
