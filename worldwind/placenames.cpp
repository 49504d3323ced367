#include "placenames.h"

#include "folders.h"
#include "journal/row.h"
#include "links.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringView>
#include <QtEndian>

#include <bit>
#include <cstring>

namespace placenames {
namespace {

int lengthSize(qsizetype length)
{
    int n = 1;
    for (auto v = quint64(length); v >= 0x80; v >>= 7)
        ++n;
    return n;
}

// World Wind reads a text's length seven bits at a time, low bits first,
// the high bit telling that another length byte follows. Below 128 that is
// the plain one-byte length; longer texts must neither be cut nor mislabel
// the rest of the file.
char* putText(char* p, QStringView text)
{
    // The bytes go where the longest possible length leaves room for them,
    // and move up when characters outside the BMP made the text shorter.
    const int room = lengthSize(text.size());
    char* const bytes = p + room;
    const qsizetype size = codepage::encodeTo(bytes, text) - bytes;
    const int used = lengthSize(size);
    if (used != room)
        std::memmove(p + used, bytes, size_t(size));
    auto v = quint64(size);
    for (; v >= 0x80; v >>= 7)
        *p++ = char(0x80 | (v & 0x7F));
    *p++ = char(v);
    return p + size;
}

char* putInt32(char* p, qint32 value)
{
    qToLittleEndian(value, p);
    return p + 4;
}

char* putFloat32(char* p, float value)
{
    return putInt32(p, std::bit_cast<qint32>(value));
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
        else if (c.unicode() < 0x20 && c != u'\t')
            out += u'?';  // XML cannot hold control characters; a line break would split the line
        else
            out += c;
    }
    return out;
}

// A folder inside the World Wind folder as messages name it.
QString shownRelative(const char* relative)
{
    return QDir::toNativeSeparators(QLatin1String(relative));
}

QString earthFolder(const QString& wwDir)
{
    return wwfolders::joinExisting(wwfolders::joinExisting(wwDir, QStringLiteral("add-ons")), QStringLiteral("earth"));
}

QString configEarthFolder(const QString& wwDir)
{
    return wwfolders::joinExisting(wwfolders::joinExisting(wwDir, QStringLiteral("config")), QStringLiteral("earth"));
}

// Why `folder` (`relative` inside the World Wind folder) is not there to
// write into, or an empty text when it is.
QString missingFolder(const QString& folder, const char* relative)
{
    if (QFileInfo(paths::local(folder)).isDir())
        return {};
    return QStringLiteral("the folder \"%1\" does not exist in the World Wind folder").arg(shownRelative(relative));
}

// Why the layer folder "add-ons\earth\velmora" is not there to write into,
// having created it when only it was missing; empty when it is there.
QString readyLayerFolder(const QString& earth, const QString& layerFolder)
{
    if (QString why = missingFolder(earth, "add-ons/earth"); !why.isEmpty())
        return why;
    const QString local = paths::local(layerFolder);
    QDir().mkdir(local);  // fails harmlessly when it is already there
    if (QFileInfo(local).isDir())
        return {};
    return QFileInfo::exists(local)
               ? QStringLiteral("\"%1\" in the World Wind folder is a file, not a folder")
                     .arg(shownRelative("add-ons/earth/velmora"))
               : QStringLiteral("the folder \"%1\" could not be created").arg(shownRelative("add-ons/earth/velmora"));
}

// Writes the small file `joined` whole, its bytes made only then, unless
// `why` says its folder is not there; a file not written joins the
// failures. A file that holds these bytes already stays as it is: writing
// it again would only wait for the disk (the list and the layer set file
// rarely change).
template <class MakeBytes>
void writeUnless(const QString& why, const QString& joined, Result& result, MakeBytes makeBytes)
{
    QString error = why;
    if (error.isEmpty()
        && textfile::writeAtomically(paths::local(joined), makeBytes(), &error, textfile::NewFile::IfSame::Keep))
        return;
    result.failures << paths::shown(joined) + QLatin1String(": ") + error;
}

QString layerFolderOf(const QString& wwDir)
{
    return paths::join(earthFolder(wwDir), QStringLiteral("velmora"));
}

QString dataPathIn(const QString& layerFolder)
{
    return paths::join(layerFolder, QStringLiteral("velmora.wwp"));
}

// A piece is handed on once it holds this much.
constexpr qsizetype kPieceBytes = 1 << 20;

}  // namespace

LabelFont labelFont(const Settings& s)
{
    LabelFont font;
    font.name = s.fontName_;
    font.size = s.fontSize_;
    font.color = s.fontColor_;
    font.bold = s.fontBold_;
    font.italic = s.fontItalic_;
    return font;
}

bool dataFilePieces(const QStringList& rows, const std::function<bool(QByteArrayView)>& piece)
{
    QByteArray out(kPieceBytes + 64, Qt::Uninitialized);
    char* p = putInt32(out.data(), qint32(rows.size()));
    auto handOn = [&] {
        const bool going = piece(QByteArrayView(out.constData(), p - out.constData()));
        p = out.data();
        return going;
    };
    for (const QString& row : rows) {
        // A row takes at most a byte per UTF-16 unit plus 32 bytes of
        // counts, lengths and coordinates; one more is kept for the end byte.
        const qsizetype most = row.size() + 33;
        if (out.size() - (p - out.constData()) < most) {
            if (!handOn())
                return false;
            if (out.size() < most) {
                out = QByteArray(most, Qt::Uninitialized);
                p = out.data();
            }
        }
        // What a row lacks is written as 0 or empty text, never left over
        // from the row before.
        const RowView f = viewRow(row);
        p = putText(p, f.name);
        // Latitude and longitude are link fields 1 and 2, whatever their keys.
        p = putFloat32(p, links::pairNumber(f.link, 1));
        p = putFloat32(p, links::pairNumber(f.link, 2));
        p = putInt32(p, 1);
        p = putText(p, u"Comment");
        p = putText(p, f.comment);
        if (p - out.constData() >= kPieceBytes && !handOn())
            return false;
    }
    *p++ = 0;
    return handOn();
}

QByteArray dataFile(const QStringList& rows)
{
    QByteArray out;
    dataFilePieces(rows, [&out](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

QByteArray listFile()
{
    static const char bytes[32] = {
        0x01,       0x00,       0x00, 0x00, 0x0B, 'v',  'e',  'l',  'm',        'o',  'r',
        'a',        '.',        'w',  'w',  'p',  0x00, 0x00, 0x34, char(0xC3), 0x00, 0x00,
        char(0xB4), char(0xC2), 0x00, 0x00, 0x34, 0x43, 0x00, 0x00, char(0xB4), 0x42,
    };
    return QByteArray(bytes, sizeof bytes);
}

ColorBytes colorBytes(qint64 color)
{
    ColorBytes bytes;
    bytes.blue = floorDiv(color, 65536);
    bytes.green = floorDiv(color - bytes.blue * 65536, 256);
    bytes.red = color - bytes.blue * 65536 - bytes.green * 256;
    return bytes;
}

qint32 packedColor(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

QByteArray layerSetFile(const LabelFont& font)
{
    const auto [red, green, blue] = colorBytes(font.color);

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

QString noWorldWind(const QString& wwDir)
{
    const QString folder = paths::join(wwDir, QString());
    if (!QFileInfo(paths::local(folder)).isDir())
        return QStringLiteral("the World Wind folder \"%1\" does not exist").arg(paths::shown(folder));
    if (QFileInfo(paths::local(earthFolder(wwDir))).isDir()
        || QFileInfo(paths::local(configEarthFolder(wwDir))).isDir())
        return {};
    return QStringLiteral("the folder \"%1\" holds no World Wind: it has neither \"%2\" nor \"%3\"")
        .arg(paths::shown(folder), shownRelative("add-ons/earth"), shownRelative("config/earth"));
}

DataDraft::DataDraft(const QString& wwDir, const QStringList& rows) : rows_(rows)
{
    const QString layerFolder = layerFolderOf(wwDir);
    if (QFileInfo(paths::local(layerFolder)).isDir())
        path_ = paths::local(dataPathIn(layerFolder));
}

DataDraft::~DataDraft() = default;

void DataDraft::make()
{
    if (!path_.isEmpty() && !made_)
        writeTo(path_);
}

void DataDraft::writeTo(const QString& local)
{
    path_ = local;
    // A file that holds these bytes already stays as it is (a save
    // without changes): writing it again would only wait for the disk.
    file_ = std::make_unique<textfile::NewFile>(local, textfile::NewFile::IfSame::Keep);
    const bool whole = file_->open() && dataFilePieces(rows_, [this](QByteArrayView piece) {
                           return !stopped_ && file_->write(piece);
                       });
    // A draft stopped halfway is written again if it is wanted after all.
    made_ = whole || !stopped_;
}

Result write(const QString& wwDir, const QStringList& rows, const LabelFont& font)
{
    DataDraft draft(wwDir, rows);
    return writeWith(wwDir, draft, font);
}

Result writeWith(const QString& wwDir, DataDraft& draft, const LabelFont& font)
{
    Result result;
    if (QString why = noWorldWind(wwDir); !why.isEmpty()) {
        result.failures << why;
        return result;
    }
    const QString earth = earthFolder(wwDir);
    const QString layerFolder = layerFolderOf(wwDir);
    const QString layerWhy = readyLayerFolder(earth, layerFolder);
    const QString dataPath = dataPathIn(layerFolder);
    QString error = layerWhy;
    if (error.isEmpty()) {
        if (!draft.made_ || draft.path_ != paths::local(dataPath)) {
            draft.stopped_ = false;
            draft.writeTo(paths::local(dataPath));
        }
        if (!draft.file_->commit())
            error = draft.file_->error();
    }
    if (!error.isEmpty())
        result.failures << paths::shown(dataPath) + QLatin1String(": ") + error;
    writeUnless(layerWhy, paths::join(layerFolder, QStringLiteral("velmora.wpl")), result, listFile);

    const QString configEarth = configEarthFolder(wwDir);
    writeUnless(missingFolder(configEarth, "config/earth"), paths::join(configEarth, QStringLiteral("velmora.xml")),
                result, [&] { return layerSetFile(font); });
    return result;
}

}  // namespace placenames
