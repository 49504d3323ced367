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
#include <string>

namespace placenames {
namespace {

void appendInt32(QByteArray& out, qint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendFloat(QByteArray& out, float value)
{
    appendInt32(out, std::bit_cast<qint32>(value));
}

// World Wind reads a text's length seven bits at a time, low bits first,
// the high bit telling that another length byte follows. Below 128 that is
// the plain one-byte length; longer texts must not be cut or mislabel the
// rest of the file.
void appendText(QByteArray& out, QStringView text)
{
    const qsizetype at = out.size();
    out.append('\0');
    codepage::encodeAppend(out, text);  // the byte count is known only now
    auto length = quint64(out.size() - at - 1);
    char prefix[10];
    int n = 0;
    while (length >= 0x80) {
        prefix[n++] = char(0x80 | (length & 0x7F));
        length >>= 7;
    }
    prefix[n++] = char(length);
    out.data()[at] = prefix[0];
    if (n > 1)
        out.insert(at + 1, QByteArrayView(prefix + 1, n - 1));
}

// Link field `index` ("&"-separated) read as key=value: the number after
// the first "=", up to a second "=". A missing field or "=" gives 0.
float linkNumber(QStringView link, int index)
{
    qsizetype start = 0;
    for (int k = 0; k < index; ++k) {
        start = link.indexOf(u'&', start);
        if (start < 0)
            return 0.0f;
        ++start;
    }
    qsizetype end = link.indexOf(u'&', start);
    if (end < 0)
        end = link.size();
    const QStringView field = link.sliced(start, end - start);
    const qsizetype eq = field.indexOf(u'=');
    if (eq < 0)
        return 0.0f;
    QStringView value = field.sliced(eq + 1);
    const qsizetype eq2 = value.indexOf(u'=');
    if (eq2 >= 0)
        value = value.first(eq2);
    return readNumber(value);
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
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
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipBlanks = [&](qsizetype& k) {
        while (k < n && isBlank(text[k]))
            ++k;
    };
    std::string number;  // the characters read, blanks left out
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
            number.resize(mark);
            i = keep;
        }
    }
    // from_chars rounds straight to float and never looks at the locale.
    float value = 0.0f;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    return error == std::errc() ? value : 0.0f;
}

QByteArray dataFile(const QStringList& rows)
{
    // An upper bound, so the buffer never moves: a row yields at most one
    // byte per character, plus the fixed fields and two length prefixes.
    qsizetype capacity = 5;
    for (const QString& row : rows)
        capacity += row.size() + 40;
    QByteArray out;
    out.reserve(capacity);

    appendInt32(out, qint32(rows.size()));
    for (const QString& row : rows) {
        const RowFields f = splitRow(row);
        appendText(out, f.name);
        appendFloat(out, linkNumber(f.link, 1));
        appendFloat(out, linkNumber(f.link, 2));
        appendInt32(out, 1);
        appendText(out, u"Comment");
        appendText(out, f.comment);
    }
    out.append('\0');
    return out;
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
