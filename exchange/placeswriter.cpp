#include "places.h"

#include "exchange/kmz.h"
#include "exchange/outbytes.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "worldwind/links.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace exchange {

links::Position exportedPosition(QStringView link)
{
    return links::position(link).value_or(links::Position{});
}

namespace {

// XML's escapes: markup characters escaped, line ends (and in an attribute
// tabs) as character references, since a reader would take them for
// blanks; control characters, which XML cannot hold at all, as U+FFFD.
std::string_view xmlEscape(char c, bool attribute)
{
    if (c >= 0x20 && c != '<' && c != '>' && c != '&' && c != '"')
        return {};
    switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '"': return "&quot;";
    case '\n': return "&#10;";
    case '\r': return "&#13;";
    case '\t': return attribute ? "&#9;" : std::string_view();
    default: return OutBytes::kReplacement;
    }
}

// Places files are written one place per line, which keeps them readable
// and quick to read back.
class Out : public OutBytes {
public:
    using OutBytes::OutBytes;

    void text(QStringView s, bool attribute = false)
    {
        OutBytes::text(s, [attribute](char c) { return xmlEscape(c, attribute); });
    }

    void element(std::string_view name, QStringView content)
    {
        *this << "<" << name << ">";
        text(content);
        *this << "</" << name << ">";
    }
};

constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

constexpr std::string_view kLabelStyleId = "velmora-label";

// The shared style of the places: the icon file beside the KML (relative,
// so the folder can move), the names' colour (KML's aabbggrr in hex, opaque
// here) and size (the settings' default draws at the globe's scale 1).
void labelStyle(Out& out, const placenames::LabelFont& font)
{
    const placenames::ColorBytes c = placenames::colorBytes(font.color);
    const QByteArray color = QByteArray::number(0xFF000000u | quint32(c.blue & 0xFF) << 16 | quint32(c.green) << 8
                                                    | quint32(c.red),
                                                16)
                                 .rightJustified(8, '0');
    const int points = std::clamp(int(font.size), 1, 100);  // a hand-edited size past any sense
    out << "<Style id=\"" << kLabelStyleId << "\"><IconStyle><Icon><href>" << kGlobeIcon
        << "</href></Icon></IconStyle><LabelStyle><color>" << color.toStdString() << "</color><scale>";
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
    if (suffix == QLatin1String("geojson") || suffix == QLatin1String("json"))
        return Format::GeoJson;
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
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

bool writeFile(const QString& path, const QStringList& rows, QString* error,
               const std::optional<placenames::LabelFont>& labels)
{
    const std::optional<Format> format = formatOf(path);
    if (!format) {
        if (error)
            *error = QStringLiteral("the file name must end in .kml, .gpx, .kmz, .geojson, .json or .csv");
        return false;
    }
    QByteArray bytes;
    switch (*format) {
    case Format::Kml: bytes = kmlBytes(rows, labels); break;
    case Format::Gpx: bytes = gpxBytes(rows); break;
    case Format::GeoJson: bytes = geoJsonBytes(rows); break;
    case Format::Csv: bytes = csvBytes(rows); break;
    case Format::Kmz:
        const std::optional<QByteArray> packed = kmz::pack(kmlBytes(rows, labels), error);
        if (!packed)
            return false;
        bytes = *packed;
        break;
    }
    return textfile::writeAtomically(path, bytes, error);
}

}  // namespace exchange
