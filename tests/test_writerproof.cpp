// Temporary: the buffered writer against the QXmlStreamWriter one it replaces.
#include "exchange/places.h"
#include "journal/row.h"
#include "worldwind/links.h"
#include <QBuffer>
#include <QXmlStreamWriter>
#include <QRandomGenerator>
#include <algorithm>
#include <gtest/gtest.h>
namespace oldwriter {
namespace {

const QString kKmlNamespace = QStringLiteral("http://www.opengis.net/kml/2.2");
const QString kGpxNamespace = QStringLiteral("http://www.topografix.com/GPX/1/1");
// The ExtendedData entry that carries the row's own link.
const QString kLinkData = QStringLiteral("worldwind-link");
const QString kCreator = QStringLiteral("Velmora");

// Element names are compared by length first: most differ there.
inline bool is(QStringView name, QStringView wanted)
{
    return name.size() == wanted.size() && name == wanted;
}

bool xmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text with every character XML 1.0 cannot hold replaced by U+FFFD;
// valid only as long as `text` is.
QString xmlSafe(QStringView text)
{
    QString out;  // stays null while nothing needs replacing
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c < 0xD800)
            continue;  // the common case, checked without copying
        char32_t cp = c;
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            cp = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            units = 2;
        }
        if (!xmlChar(cp)) {
            if (out.isNull())
                out = text.toString();
            out[i] = QChar(0xFFFD);
        }
        i += units - 1;
    }
    return out.isNull() ? QString::fromRawData(text.data(), text.size()) : out;
}

// An element holding `text`. Line breaks go as character references: a
// reader would take a CR for a line end, and the file's own line ends are
// CR LF.
void writeText(QXmlStreamWriter& w, const QString& element, QStringView text)
{
    // Most texts need no care: written without a copy.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0xD800; })) {
        w.writeTextElement(element, QString::fromRawData(text.data(), text.size()));
        return;
    }
    const QString safe = xmlSafe(text);
    w.writeStartElement(element);
    qsizetype from = 0;
    for (qsizetype i = 0; i < safe.size(); ++i) {
        const QChar c = safe[i];
        if (c != u'\r' && c != u'\n')
            continue;
        w.writeCharacters(QStringView(safe).sliced(from, i - from).toString());
        w.writeEntityReference(c == u'\r' ? QStringLiteral("#13") : QStringLiteral("#10"));
        from = i + 1;
    }
    w.writeCharacters(from == 0 ? safe : safe.sliced(from));
    w.writeEndElement();
}

links::Position exportedPosition(QStringView link)
{
    return links::position(link).value_or(links::Position{});
}

// Places files are written one place per line, which keeps them readable
// and quick to read back.
class Writer {
public:
    Writer() : w_(&text_) {}

    QXmlStreamWriter& xml() { return w_; }
    void lineEnd() { w_.writeCharacters(QStringLiteral("\r\n")); }

    void startDocument(qsizetype rows)
    {
        text_.reserve(256 + rows * 360);
        w_.writeProcessingInstruction(QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\""));
        lineEnd();
    }

    // Every element is closed by then.
    QByteArray finish() { return text_.toUtf8(); }

private:
    QString text_;
    QXmlStreamWriter w_;
};

}  // namespace

QByteArray kmlBytes(const QStringList& rows)
{
    Writer out;
    QXmlStreamWriter& w = out.xml();
    out.startDocument(rows.size());
    w.writeDefaultNamespace(kKmlNamespace);
    w.writeStartElement(kKmlNamespace, QStringLiteral("kml"));
    w.writeStartElement(QStringLiteral("Document"));
    out.lineEnd();
    w.writeTextElement(QStringLiteral("name"), kCreator);
    out.lineEnd();
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const links::Position at = exportedPosition(f.link);
        w.writeStartElement(QStringLiteral("Placemark"));
        writeText(w, QStringLiteral("name"), f.name);
        if (!f.comment.isEmpty())
            writeText(w, QStringLiteral("description"), f.comment);
        w.writeStartElement(QStringLiteral("ExtendedData"));
        w.writeStartElement(QStringLiteral("Data"));
        w.writeAttribute(QStringLiteral("name"), kLinkData);
        writeText(w, QStringLiteral("value"), f.link);
        w.writeEndElement();
        w.writeEndElement();
        w.writeStartElement(QStringLiteral("Point"));
        w.writeTextElement(QStringLiteral("coordinates"),
                           links::decimal(at.longitude) + u',' + links::decimal(at.latitude));
        w.writeEndElement();
        w.writeEndElement();
        out.lineEnd();
    }
    w.writeEndElement();
    out.lineEnd();
    w.writeEndElement();
    out.lineEnd();
    return out.finish();
}

QByteArray gpxBytes(const QStringList& rows)
{
    Writer out;
    QXmlStreamWriter& w = out.xml();
    out.startDocument(rows.size());
    w.writeDefaultNamespace(kGpxNamespace);
    w.writeStartElement(kGpxNamespace, QStringLiteral("gpx"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    w.writeAttribute(QStringLiteral("creator"), kCreator);
    out.lineEnd();
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        const links::Position at = exportedPosition(f.link);
        w.writeStartElement(QStringLiteral("wpt"));
        w.writeAttribute(QStringLiteral("lat"), links::decimal(at.latitude));
        w.writeAttribute(QStringLiteral("lon"), links::decimal(at.longitude));
        writeText(w, QStringLiteral("name"), f.name);
        if (!f.comment.isEmpty())
            writeText(w, QStringLiteral("desc"), f.comment);
        w.writeEmptyElement(QStringLiteral("link"));
        w.writeAttribute(QStringLiteral("href"), xmlSafe(f.link));
        w.writeEndElement();
        out.lineEnd();
    }
    w.writeEndElement();
    out.lineEnd();
    return out.finish();
}

}  // namespace oldwriter

TEST(WriterProof, SameBytes)
{
    QStringList rows;
    // every UTF-16 code unit alone, in names, comments and links
    for (int c = 0; c < 0x10000; c += 1) {
        const QString s = QStringLiteral("a") + QChar(char16_t(c)) + QStringLiteral("b");
        rows << makeRow(s, QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2") + s, s);
        rows << makeRow(QString(QChar(char16_t(c))), QString(QChar(char16_t(c))), QString(QChar(char16_t(c))));
    }
    QRandomGenerator rng(42);
    const char16_t pool[] = {u'a', u'<', u'>', u'&', u'"', u'\'', u'\t', u'\n', u'\r', 0x01, 0x1F, 0x7F, 0x80, 0xE9, 0x7FF,
                             0x800, 0x20AC, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFE, 0xFFFF, u' ', u';', u'#', u'%'};
    for (int i = 0; i < 20000; ++i) {
        QString parts[3];
        for (QString& p : parts) {
            const int n = rng.bounded(0, 12);
            for (int k = 0; k < n; ++k)
                p += QChar(pool[rng.bounded(int(std::size(pool)))]);
        }
        const double lat = rng.bounded(180.0) - 90, lon = rng.bounded(360.0) - 180;
        const QString link = i % 3 ? links::linkFor(lat, lon) + parts[1] : parts[1];
        rows << makeRow(parts[0], link, parts[2]);
    }
    rows << makeRow(u"", u"", u"") << makeRow(u"x", u"worldwind://goto/world=Earth&lat=-0.000001&lon=1e-300", u"");
    for (int from = 0; from < rows.size(); from += 500) {
        const QStringList part = rows.mid(from, 500);
        ASSERT_EQ(exchange::kmlBytes(part), oldwriter::kmlBytes(part)) << from;
        ASSERT_EQ(exchange::gpxBytes(part), oldwriter::gpxBytes(part)) << from;
    }
    ASSERT_EQ(exchange::kmlBytes(rows), oldwriter::kmlBytes(rows));
    ASSERT_EQ(exchange::gpxBytes(rows), oldwriter::gpxBytes(rows));
    ASSERT_EQ(exchange::kmlBytes({}), oldwriter::kmlBytes({}));
    ASSERT_EQ(exchange::gpxBytes({}), oldwriter::gpxBytes({}));
    std::printf("compared %lld rows\n", (long long)rows.size());
}
