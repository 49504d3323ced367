#include "placenames.h"

#include "folders.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <bit>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace placenames {
namespace {

// Copies s[from, first TAB or n) to `dst`, one byte per unit, and returns
// where it stopped; `seen` gets the OR of the units (0x80 or more when the
// text is not plain ASCII and the bytes are therefore wrong). Eight units
// at a time where the processor allows: this and scanLink are most of the
// export's work.
qsizetype narrowUpToTab(const char16_t* s, qsizetype from, qsizetype n, char* dst, char16_t& seen)
{
    qsizetype k = from;
    seen = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi16(u'\t');
    __m128i all = _mm_setzero_si128();
    for (; k + 8 <= n; k += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, tab)))
            break;  // the scalar loop below ends the text
        all = _mm_or_si128(all, v);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (k - from)), _mm_packus_epi16(v, v));
    }
    const __m128i high = _mm_and_si128(all, _mm_set1_epi16(short(0xFF80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF)
        seen = 0x80;
#endif
    for (; k < n && s[k] != u'\t'; ++k) {
        seen |= s[k];
        dst[k - from] = char(s[k]);
    }
    return k;
}

// Finds the end of the link s[from, first TAB or n) and the first three
// "&" in it; `amp` gets their positions, `found` their number.
qsizetype scanLink(const char16_t* s, qsizetype from, qsizetype n, qsizetype (&amp)[3], int& found)
{
    qsizetype k = from;
    found = 0;
#if defined(__SSE2__)
    const __m128i tab = _mm_set1_epi16(u'\t');
    const __m128i ampersand = _mm_set1_epi16(u'&');
    for (; k + 8 <= n; k += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        // Two mask bits per unit.
        const unsigned tabs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(v, tab)));
        unsigned amps = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(v, ampersand)));
        if (tabs)
            amps &= (1u << std::countr_zero(tabs)) - 1;
        while (amps && found < 3) {
            const int bit = std::countr_zero(amps);
            amp[found++] = k + bit / 2;
            amps &= ~(3u << bit);
        }
        if (tabs)
            return k + std::countr_zero(tabs) / 2;
    }
#endif
    for (; k < n && s[k] != u'\t'; ++k)
        if (s[k] == u'&' && found < 3)
            amp[found++] = k;
    return k;
}

// The data file is built in a buffer sized for the worst case and filled
// through a pointer, each row in one pass: with byte-by-byte appends and a
// string per field the export took several times as long.
class Bytes {
public:
    explicit Bytes(qsizetype capacity) : buffer_(capacity, Qt::Uninitialized), p_(buffer_.data()) {}

    // The most a row of `characters` UTF-16 units can take.
    static qsizetype rowRoom(qsizetype characters) { return characters + 2 * kMaxPrefix + 4 + 4 + 4 + 8; }

    void int32(qint32 value)
    {
        qToLittleEndian(value, p_);
        p_ += 4;
    }

    void float32(float value) { int32(std::bit_cast<qint32>(value)); }

    void bytes(const char* data, qsizetype size)
    {
        std::memcpy(p_, data, size_t(size));
        p_ += size;
    }

    void byte(char b) { *p_++ = b; }

    // Writes s[from, first TAB or n) as a text and returns where it stopped.
    qsizetype textUpToTab(const char16_t* s, qsizetype from, qsizetype n)
    {
        // Copied as if plain ASCII, the usual case, after a one-byte
        // length; moved or redone through the code page if that was wrong.
        char* const start = p_;
        char16_t seen;
        const qsizetype end = narrowUpToTab(s, from, n, start + 1, seen);
        const qsizetype size = end - from;
        if (seen >= 0x80) {
            const QByteArray encoded = codepage::encode(QStringView(s + from, size));
            length(encoded.size());
            bytes(encoded.constData(), encoded.size());
        } else if (size < 0x80) {
            *start = char(size);
            p_ = start + 1 + size;
        } else {
            const int prefix = prefixSize(size);
            std::memmove(start + prefix, start + 1, size_t(size));
            length(size);
            p_ += size;
        }
        return end;
    }

    QByteArray take()
    {
        buffer_.truncate(p_ - buffer_.constData());
        return std::move(buffer_);
    }

private:
    static constexpr int kMaxPrefix = 10;

    static int prefixSize(qsizetype value)
    {
        int n = 1;
        for (auto v = quint64(value); v >= 0x80; v >>= 7)
            ++n;
        return n;
    }

    // World Wind reads a text's length seven bits at a time, low bits
    // first, the high bit telling that another length byte follows. Below
    // 128 that is the plain one-byte length; longer texts must not be cut
    // nor mislabel the rest of the file.
    void length(qsizetype value)
    {
        auto v = quint64(value);
        for (; v >= 0x80; v >>= 7)
            byte(char(0x80 | (v & 0x7F)));
        byte(char(v));
    }

    QByteArray buffer_;
    char* p_;
};

// Position of `c` in s[from, end), or `end`.
qsizetype find(const char16_t* s, qsizetype from, qsizetype end, char16_t c)
{
    while (from < end && s[from] != c)
        ++from;
    return from;
}

// Link field s[start, end) read as key=value: the number after the first
// "=", up to a second "=". A field without "=" gives 0.
float fieldNumber(const char16_t* s, qsizetype start, qsizetype end)
{
    const qsizetype eq = find(s, start, end, u'=');
    if (eq == end)
        return 0.0f;
    return readNumber(QStringView(s + eq + 1, find(s, eq + 1, end, u'=') - eq - 1));
}

// The characters of a number; on the stack unless the number is absurdly long.
class NumberText {
public:
    NumberText& operator+=(char c)
    {
        if (n_ < sizeof small_)
            small_[n_++] = c;
        else
            spill(c);
        return *this;
    }
    bool isEmpty() const { return n_ == 0; }
    void clear() { n_ = 0; }
    const char* begin() const { return n_ > sizeof small_ ? big_.data() : small_; }
    const char* end() const { return begin() + n_; }

private:
    Q_NEVER_INLINE void spill(char c)
    {
        if (n_ == sizeof small_)
            big_.assign(small_, n_);
        big_ += c;
        ++n_;
    }

    char small_[64];
    std::string big_;
    std::size_t n_ = 0;
};

// Puts the characters of the number `text` begins with into `number`, as
// "-digits.digitsEdigits" with the optional parts left out and blanks
// dropped; nothing when there is none.
void readInto(NumberText& number, QStringView text)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    // The first character at or after k that is not a blank.
    auto next = [s, n](qsizetype k) {
        while (k < n && (s[k] == u' ' || s[k] == u'\t' || s[k] == u'\n'))
            ++k;
        return k;
    };
    auto digit = [s, n](qsizetype k) { return k < n && s[k] >= u'0' && s[k] <= u'9'; };

    qsizetype i = next(0);
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-')
            number += '-';
        i = next(i + 1);
    }
    bool mantissa = false;
    for (; digit(i); i = next(i + 1)) {
        number += char(s[i]);
        mantissa = true;
    }
    if (i < n && s[i] == u'.' && digit(next(i + 1))) {
        number += '.';
        for (i = next(i + 1); digit(i); i = next(i + 1))
            number += char(s[i]);
        mantissa = true;
    }
    if (!mantissa) {
        number.clear();
        return;
    }
    if (i < n && (s[i] == u'E' || s[i] == u'e')) {
        // Taken only when digits follow: "5E" is the number 5.
        const qsizetype k = next(i + 1);
        const bool sign = k < n && (s[k] == u'+' || s[k] == u'-');
        const qsizetype first = sign ? next(k + 1) : k;
        if (digit(first)) {
            number += 'E';
            if (sign && s[k] == u'-')
                number += '-';
            for (i = first; digit(i); i = next(i + 1))
                number += char(s[i]);
        }
    }
}

// Most links hold plain numbers such as "-122.41941": sign, digits, point,
// digits and then the end or a character that cannot continue a number.
// Without its point such a number and its power of ten are exact floats,
// so one division rounds correctly. Nothing for any other text, which
// takes the general road.
std::optional<float> plainNumber(QStringView text)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    const bool negative = n > 0 && s[0] == u'-';
    if (n > 0 && (s[0] == u'-' || s[0] == u'+'))
        ++i;
    quint32 mantissa = 0;
    int scale = 0;
    bool any = false;
    auto digits = [&](int step) {
        for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            mantissa = mantissa * 10 + quint32(s[i] - u'0');
            scale += step;
            any = true;
            if (mantissa > (1u << 24))
                return false;
        }
        return true;
    };
    if (!digits(0))
        return std::nullopt;
    if (i < n && s[i] == u'.') {
        ++i;
        if (!digits(-1))
            return std::nullopt;
    }
    // Blanks may hide more digits, and exponents need more care.
    if (!any || scale < -10
        || (i < n && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'E' || s[i] == u'e')))
        return std::nullopt;
    static constexpr float kPower[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const float value = float(mantissa) / kPower[-scale];
    return negative ? -value : value;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

QString xmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'&')
            out += QLatin1String("&amp;");
        else if (c == u'<')
            out += QLatin1String("&lt;");
        else if (c == u'>')
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out;
}

// The path as the user should look for it: absolute, local separators.
QString shown(const QString& joined)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(paths::local(joined)).absoluteFilePath()));
}

// Why `folder` (`relative` inside the World Wind folder) is not there to
// write into, or an empty text when it is.
QString missingFolder(const QString& wwDir, const QString& folder, QLatin1String relative)
{
    if (QFileInfo(paths::local(folder)).isDir())
        return {};
    if (!QFileInfo(paths::local(paths::join(wwDir, QString()))).isDir())
        return QStringLiteral("the World Wind folder \"%1\" does not exist").arg(wwDir);
    return QStringLiteral("the folder \"%1\" does not exist in the World Wind folder").arg(relative);
}

}  // namespace

float readNumber(QStringView text)
{
    if (const auto value = plainNumber(text))
        return *value;
    NumberText number;
    readInto(number, text);
    if (number.isEmpty())
        return 0.0f;
    // Rounds straight to float, and never looks at the locale.
    float value = 0.0f;
    const auto [end, error] = std::from_chars(number.begin(), number.end(), value);
    (void)end;
    return error == std::errc() ? value : 0.0f;
}

QByteArray dataFile(const QStringList& rows)
{
    qsizetype capacity = 5;
    for (const QString& row : rows)
        capacity += Bytes::rowRoom(row.size());
    Bytes out(capacity);

    out.int32(qint32(rows.size()));
    for (const QString& row : rows) {
        // name TAB link TAB comment; missing pieces are empty, further ones ignored
        const char16_t* s = QStringView(row).utf16();
        const qsizetype n = row.size();
        const qsizetype nameEnd = out.textUpToTab(s, 0, n);

        // Link fields 1 and 2 are latitude and longitude, whatever their keys.
        qsizetype amp[3];
        int found;
        const qsizetype linkEnd = scanLink(s, nameEnd < n ? nameEnd + 1 : n, n, amp, found);
        if (found < 3)
            amp[found] = linkEnd;
        out.float32(found >= 1 ? fieldNumber(s, amp[0] + 1, amp[1]) : 0.0f);
        out.float32(found >= 2 ? fieldNumber(s, amp[1] + 1, amp[2]) : 0.0f);

        out.int32(1);
        out.bytes("\x07" "Comment", 8);
        out.textUpToTab(s, linkEnd < n ? linkEnd + 1 : n, n);
    }
    out.byte(0);
    return out.take();
}

QByteArray listFile()
{
    static const char bytes[32] = {
        0x01, 0x00, 0x00, 0x00, 0x0B, 'v', 'e', 'l', 'm', 'o', 'r', 'a', '.', 'w', 'w', 'p',
        0x00, 0x00, 0x34, char(0xC3), 0x00, 0x00, char(0xB4), char(0xC2),
        0x00, 0x00, 0x34, 0x43, 0x00, 0x00, char(0xB4), 0x42,
    };
    return QByteArray(bytes, sizeof bytes);
}

QByteArray layerSetFile(const LabelFont& font)
{
    // Floor division: every colour from 0 to 16777215 splits into its bytes.
    const qint64 c = font.color;
    const qint64 blue = floorDiv(c, 65536);
    const qint64 green = floorDiv(c - blue * 65536, 256);
    const qint64 red = c - blue * 65536 - green * 256;

    QString text;
    auto line = [&text](const QString& s) {
        text += s;
        text += QLatin1String("\r\n");
    };
    auto number = [](qint64 v) { return textfile::printedNumber(v); };

    // World Wind reads these lines as they stand, the odd indentation and
    // the misspelled "ExtendedInfomation" included.
    line(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    line(QStringLiteral("<LayerSet Name=\"Velmora\" ShowOnlyOneLayer=\"false\" ShowAtStartup=\"true\""
                        " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
                        " xsi:noNamespaceSchemaLocation=\"LayerSet.xsd\">"));
    line(QStringLiteral("    <TiledPlacenameSet ShowAtStartup=\"true\">"));
    line(QStringLiteral("        <Name>Velmora</Name>"));
    line(QStringLiteral("        <DistanceAboveSurface>1000</DistanceAboveSurface>"));
    line(QStringLiteral("        <MinimumDisplayAltitude>0</MinimumDisplayAltitude>"));
    line(QStringLiteral("        <MaximumDisplayAltitude>100000000</MaximumDisplayAltitude>"));
    line(QStringLiteral("        <PlacenameListFilePath>add-ons\\earth\\velmora\\velmora.wpl</PlacenameListFilePath>"));
    line(QStringLiteral("        <DisplayFont>"));
    line(QStringLiteral("         <Family>") + xmlEscaped(font.name) + QStringLiteral("</Family>"));
    line(QStringLiteral("         <Size>") + number(font.size) + QStringLiteral("</Size>"));
    line(QStringLiteral("         <Style>"));
    if (font.bold)
        line(QStringLiteral("                <IsBold>true</IsBold>"));
    if (font.italic)
        line(QStringLiteral("                <IsItalic>true</IsItalic>"));
    line(QStringLiteral("         </Style>"));
    line(QStringLiteral("        </DisplayFont>"));
    line(QStringLiteral("          <RGBColor>"));
    line(QStringLiteral("            <Red>") + number(red) + QStringLiteral("</Red>"));
    line(QStringLiteral("            <Green>") + number(green) + QStringLiteral("</Green>"));
    line(QStringLiteral("            <Blue>") + number(blue) + QStringLiteral("</Blue>"));
    line(QStringLiteral("         </RGBColor>"));
    line(QStringLiteral("    </TiledPlacenameSet>"));
    line(QStringLiteral("    <ExtendedInfomation>"));
    line(QStringLiteral("        <ToolBarImage>Data\\Icons\\interface\\places2.png</ToolBarImage>"));
    line(QStringLiteral("    </ExtendedInfomation>"));
    line(QStringLiteral("</LayerSet>"));
    return codepage::encode(text);
}

Result write(const QString& wwDir, const QStringList& rows, const LabelFont& font)
{
    using wwfolders::joinExisting;
    Result result;
    auto fail = [&](const QString& joined, const QString& why) {
        result.failures << shown(joined) + QLatin1String(": ") + why;
    };
    auto put = [&](const QString& joined, const QByteArray& bytes) {
        QString error;
        if (!textfile::writeAtomically(paths::local(joined), bytes, &error))
            fail(joined, error);
    };

    const QString earth = joinExisting(joinExisting(wwDir, QStringLiteral("add-ons")), QStringLiteral("earth"));
    const QString layerFolder = paths::join(earth, QStringLiteral("velmora"));
    const QString dataPath = paths::join(layerFolder, QStringLiteral("velmora.wwp"));
    const QString listPath = paths::join(layerFolder, QStringLiteral("velmora.wpl"));
    QString why = missingFolder(wwDir, earth, QLatin1String("add-ons\\earth"));
    if (why.isEmpty()) {
        const QString local = paths::local(layerFolder);
        QDir().mkdir(local);  // fails harmlessly when it is already there
        if (!QFileInfo(local).isDir())
            why = QFileInfo::exists(local)
                ? QStringLiteral("\"add-ons\\earth\\velmora\" in the World Wind folder is a file, not a folder")
                : QStringLiteral("the folder \"add-ons\\earth\\velmora\" could not be created");
    }
    if (why.isEmpty()) {
        put(dataPath, dataFile(rows));
        put(listPath, listFile());
    } else {
        fail(dataPath, why);
        fail(listPath, why);
    }

    const QString configEarth = joinExisting(joinExisting(wwDir, QStringLiteral("config")), QStringLiteral("earth"));
    const QString layerSetPath = paths::join(configEarth, QStringLiteral("velmora.xml"));
    why = missingFolder(wwDir, configEarth, QLatin1String("config\\earth"));
    if (why.isEmpty())
        put(layerSetPath, layerSetFile(font));
    else
        fail(layerSetPath, why);
    return result;
}

}  // namespace placenames
