#include "placenames.h"

#include "folders.h"
#include "journal/row.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <bit>
#include <charconv>
#include <cstring>
#include <string>

namespace placenames {
namespace {

// The data file is built in a buffer sized for the worst case and filled
// through a pointer: appending byte by byte costs more than the rest of
// the export together.
class Bytes {
public:
    explicit Bytes(qsizetype capacity) : buffer_(capacity, Qt::Uninitialized), p_(buffer_.data()) {}

    void int32(qint32 value)
    {
        qToLittleEndian(value, p_);
        p_ += 4;
    }

    void float32(float value) { int32(std::bit_cast<qint32>(value)); }

    void byte(char b) { *p_++ = b; }

    // World Wind reads a text's length seven bits at a time, low bits
    // first, the high bit telling that another length byte follows. Below
    // 128 that is the plain one-byte length; longer texts must not be cut
    // nor mislabel the rest of the file.
    void text(QStringView text)
    {
        // Written as if plain ASCII, the usual case, and redone through the
        // code page if it was not.
        const qsizetype n = text.size();
        const char16_t* src = text.utf16();
        char* const start = p_;
        length(n);
        char16_t seen = 0;
        for (qsizetype k = 0; k < n; ++k) {
            seen |= src[k];
            p_[k] = char(src[k]);
        }
        if (seen < 0x80) {
            p_ += n;
            return;
        }
        p_ = start;
        const QByteArray encoded = codepage::encode(text);
        length(encoded.size());
        std::memcpy(p_, encoded.constData(), size_t(encoded.size()));
        p_ += encoded.size();
    }

    QByteArray take()
    {
        buffer_.truncate(p_ - buffer_.constData());
        return std::move(buffer_);
    }

    // The most a text of `characters` UTF-16 units can take, its length included.
    static qsizetype textRoom(qsizetype characters) { return characters + 10; }

private:
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

// Position of `c` in s[from, end), or `end`. Links are short; a plain
// loop beats a library search per field.
qsizetype find(const char16_t* s, qsizetype from, qsizetype end, char16_t c)
{
    while (from < end && s[from] != c)
        ++from;
    return from;
}

// Latitude and longitude are the values of link fields 1 and 2
// ("&"-separated key=value pairs), whatever their keys: the text after the
// first "=", up to a second "=". A missing field or "=" gives 0.
void coordinates(QStringView link, float& latitude, float& longitude)
{
    const char16_t* s = link.utf16();
    const qsizetype n = link.size();
    const qsizetype amp1 = find(s, 0, n, u'&');
    const qsizetype amp2 = amp1 < n ? find(s, amp1 + 1, n, u'&') : n;
    const qsizetype amp3 = amp2 < n ? find(s, amp2 + 1, n, u'&') : n;
    auto value = [&](qsizetype start, qsizetype end) {
        const qsizetype eq = find(s, start, end, u'=');
        if (eq >= end)
            return 0.0f;
        return readNumber(link.sliced(eq + 1, find(s, eq + 1, end, u'=') - eq - 1));
    };
    latitude = amp1 < n ? value(amp1 + 1, amp2) : 0.0f;
    longitude = amp2 < n ? value(amp2 + 1, amp3) : 0.0f;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The characters of a number; on the stack unless the number is absurdly long.
class NumberText {
public:
    NumberText& operator+=(char c)
    {
        if (n_ < sizeof small_)
            small_[n_] = c;
        else {
            if (n_ == sizeof small_)
                big_.assign(small_, n_);
            big_ += c;
        }
        ++n_;
        return *this;
    }
    std::size_t size() const { return n_; }
    void truncate(std::size_t n)
    {
        n_ = n;
        if (n_ > sizeof small_)
            big_.resize(n_);
    }
    const char* begin() const { return n_ > sizeof small_ ? big_.data() : small_; }
    const char* end() const { return begin() + n_; }

private:
    char small_[64];
    std::string big_;
    std::size_t n_ = 0;
};

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
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipBlanks = [&](qsizetype& k) {
        while (k < n && isBlank(text[k]))
            ++k;
    };
    NumberText number;  // the characters read, blanks left out
    auto digits = [&] {
        bool any = false;
        for (skipBlanks(i); i < n && isDigit(text[i]); skipBlanks(i)) {
            number += char(text[i].unicode());
            ++i;
            any = true;
        }
        return any;
    };

    skipBlanks(i);
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            number += '-';
        ++i;
    }
    bool mantissa = digits();
    if (i < n && text[i] == u'.') {
        qsizetype k = i + 1;
        skipBlanks(k);
        if (k < n && isDigit(text[k])) {
            number += '.';
            i = k;
            mantissa = digits();
        }
    }
    if (!mantissa)
        return 0.0f;
    if (i < n && (text[i] == u'E' || text[i] == u'e')) {
        // Taken only when digits follow; "5E" is the number 5.
        const std::size_t mark = number.size();
        const qsizetype keep = i;
        number += 'e';
        ++i;
        skipBlanks(i);
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            number += char(text[i++].unicode());
        if (!digits()) {
            number.truncate(mark);
            i = keep;
        }
    }
    // from_chars rounds straight to float and never looks at the locale.
    float value = 0.0f;
    const auto [end, error] = std::from_chars(number.begin(), number.end(), value);
    (void)end;
    return error == std::errc() ? value : 0.0f;
}

QByteArray dataFile(const QStringList& rows)
{
    // A row yields at most its own characters, the fixed fields and the
    // length prefixes of its two texts.
    qsizetype capacity = 5;
    for (const QString& row : rows)
        capacity += 2 * Bytes::textRoom(0) + row.size() + 4 + 4 + 4 + 8;
    Bytes out(capacity);

    out.int32(qint32(rows.size()));
    for (const QString& row : rows) {
        const RowFields f = splitRow(row);
        float latitude, longitude;
        coordinates(f.link, latitude, longitude);
        out.text(f.name);
        out.float32(latitude);
        out.float32(longitude);
        out.int32(1);
        out.text(u"Comment");
        out.text(f.comment);
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
