#include "places.h"

#include "exchange/kmz.h"
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

// The file's bytes, appended into one buffer reserved ahead: markup as it
// is, texts escaped a run at a time. Places files are written one place per
// line, which keeps them readable and quick to read back.
class Out {
public:
    explicit Out(qsizetype rows) { bytes_.resize(4096 + rows * 400); }

    Out& operator<<(std::string_view markup)
    {
        char* o = room(qsizetype(markup.size()));
        std::memcpy(o, markup.data(), markup.size());
        used_ += qsizetype(markup.size());
        return *this;
    }

    // Text as XML carries it: markup characters escaped, line ends (and in
    // an attribute tabs) as character references, since a reader would
    // take them for blanks; characters XML cannot hold at all (control
    // characters, lone surrogates) as U+FFFD.
    void text(QStringView s, bool attribute = false)
    {
        char* const start = room(s.size() * 6);
        char* o = start;
        const char16_t* p = s.utf16();
        const char16_t* const end = p + s.size();
        const auto put = [&o](std::string_view v) {
            std::memcpy(o, v.data(), v.size());
            o += v.size();
        };
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (c < 0x80) {
                if (c >= 0x20 && c != u'<' && c != u'>' && c != u'&' && c != u'"') {
                    *o++ = char(c);
                    continue;
                }
                switch (c) {
                case u'<': put("&lt;"); break;
                case u'>': put("&gt;"); break;
                case u'&': put("&amp;"); break;
                case u'"': put("&quot;"); break;
                case u'\n': put("&#10;"); break;
                case u'\r': put("&#13;"); break;
                case u'\t':
                    if (attribute)
                        put("&#9;");
                    else
                        *o++ = '\t';
                    break;
                default: put("\xEF\xBF\xBD"); break;
                }
            } else if (c < 0x800) {
                *o++ = char(0xC0 | (c >> 6));
                *o++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xD800 || (c >= 0xE000 && c < 0xFFFE)) {
                *o++ = char(0xE0 | (c >> 12));
                *o++ = char(0x80 | ((c >> 6) & 0x3F));
                *o++ = char(0x80 | (c & 0x3F));
            } else if (c < 0xDC00 && p + 1 < end && p[1] >= 0xDC00 && p[1] < 0xE000) {
                const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(p[1]) - 0xDC00);
                *o++ = char(0xF0 | (cp >> 18));
                *o++ = char(0x80 | ((cp >> 12) & 0x3F));
                *o++ = char(0x80 | ((cp >> 6) & 0x3F));
                *o++ = char(0x80 | (cp & 0x3F));
                ++p;
            } else {
                put("\xEF\xBF\xBD");
            }
        }
        used_ += o - start;
    }

    void element(std::string_view name, QStringView content)
    {
        *this << "<" << name << ">";
        text(content);
        *this << "</" << name << ">";
    }

    void number(double value)
    {
        const QString digits = links::decimal(value);
        char* o = room(digits.size());
        for (const QChar c : digits)
            *o++ = char(c.unicode());
        used_ += digits.size();
    }

    QByteArray finish()
    {
        bytes_.truncate(used_);
        return std::move(bytes_);
    }

private:
    QByteArray bytes_;
    qsizetype used_ = 0;

    char* room(qsizetype more)
    {
        if (used_ + more > bytes_.size())
            bytes_.resize(std::max(bytes_.size() * 2, used_ + more));
        return bytes_.data() + used_;
    }
};

constexpr std::string_view kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

constexpr std::string_view kLabelStyleId = "velmora-label";

// The shared style of the names: KML colours are aabbggrr in hex, opaque
// here; the settings' default size draws at the globe's own scale 1.
void labelStyle(Out& out, const placenames::LabelFont& font)
{
    const placenames::ColorBytes c = placenames::colorBytes(font.color);
    const QByteArray color = QByteArray::number(0xFF000000u | quint32(c.blue & 0xFF) << 16 | quint32(c.green) << 8
                                                    | quint32(c.red),
                                                16)
                                 .rightJustified(8, '0');
    const int points = std::clamp(int(font.size), 1, 100);  // a hand-edited size past any sense
    out << "<Style id=\"" << kLabelStyleId << "\"><LabelStyle><color>" << color.toStdString() << "</color><scale>";
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

std::optional<QByteArray> kmzBytes(const QStringList& rows, QString* error)
{
    return kmz::pack(kmlBytes(rows), error);
}

bool writeFile(const QString& path, const QStringList& rows, QString* error,
               const std::optional<placenames::LabelFont>& labels)
{
    const std::optional<Format> format = formatOf(path);
    if (!format) {
        if (error)
            *error = QStringLiteral("the file name must end in .kml, .gpx or .kmz");
        return false;
    }
    if (*format == Format::Kmz) {
        const std::optional<QByteArray> bytes = kmz::pack(kmlBytes(rows, labels), error);
        return bytes && textfile::writeAtomically(path, *bytes, error);
    }
    return textfile::writeAtomically(path, *format == Format::Kml ? kmlBytes(rows, labels) : gpxBytes(rows), error);
}
}  // namespace exchange
