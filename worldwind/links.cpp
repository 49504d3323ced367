#include "links.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace links {

bool isLocationLink(QStringView text)
{
    return text.startsWith(QLatin1String(kScheme));
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

namespace {

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

}  // namespace

float readNumber(QStringView text)
{
    // Most values are plain ("-122.41941"): signs, digits and points up to
    // the end or a character that cannot belong to a number. from_chars
    // then reads them exactly as the rule below would.
    char plain[32];
    qsizetype taken = 0;
    for (; taken < text.size() && taken < qsizetype(sizeof plain); ++taken) {
        const char16_t c = text[taken].unicode();
        if ((c < u'0' || c > u'9') && c != u'.' && c != u'-' && c != u'+')
            break;
        plain[taken] = char(c);
    }
    if (taken == text.size()
        || (taken < qsizetype(sizeof plain) && text[taken] != u' ' && text[taken] != u'\t' && text[taken] != u'\n'
            && text[taken] != u'E' && text[taken] != u'e'))
        return fromChars(plain, plain + taken);

    // Blanks are dropped wherever they stand; then sign, digits, "." and
    // digits, and an exponent are taken as far as they form a number.
    QVarLengthArray<char, 64> number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto at = [&](qsizetype k) {
        while (k < n && (text[k] == u' ' || text[k] == u'\t' || text[k] == u'\n'))
            ++k;
        return k;
    };
    const auto digit = [&](qsizetype k) { return k < n && text[k] >= u'0' && text[k] <= u'9'; };
    const auto digits = [&] {
        bool any = false;
        for (i = at(i); digit(i); i = at(i + 1)) {
            number.append(char(text[i].unicode()));
            any = true;
        }
        return any;
    };

    i = at(0);
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        number.append(char(text[i].unicode()));
        ++i;
    }
    bool mantissa = digits();
    if (i < n && text[i] == u'.' && digit(at(i + 1))) {
        number.append('.');
        ++i;
        mantissa = digits() || mantissa;
    }
    if (!mantissa)
        return 0.0f;
    if (i < n && (text[i] == u'E' || text[i] == u'e')) {
        // Taken only when digits follow: "5E" is the number 5.
        const qsizetype mark = number.size();
        qsizetype k = at(i + 1);
        number.append('E');
        if (k < n && (text[k] == u'+' || text[k] == u'-')) {
            number.append(char(text[k].unicode()));
            ++k;
        }
        i = k;
        if (!digits())
            number.resize(mark);
    }
    return fromChars(number.constData(), number.constData() + number.size());
}

namespace {

// The value of pair `i` ("&"-separated): after its first "=", up to a
// second "=". Nothing for a missing pair or one without "=".
std::optional<QStringView> pairValue(QStringView link, int i)
{
    const qsizetype n = link.size();
    qsizetype k = 0;
    for (int field = 0; field < i; ++k) {
        if (k == n)
            return std::nullopt;
        if (link[k] == u'&')
            ++field;
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

std::optional<Position> position(QStringView link)
{
    const std::optional<QStringView> latText = pairValue(link, 1), lonText = pairValue(link, 2);
    if (!latText || !lonText)
        return std::nullopt;
    const std::optional<double> lat = decimalNumber(*latText), lon = decimalNumber(*lonText);
    if (!lat || !lon || !(*lat >= -90 && *lat <= 90) || !(*lon >= -180 && *lon <= 180))
        return std::nullopt;
    return Position{*lat, *lon};
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

}  // namespace links
