// Places as a table (RFC 4180): a header line names the columns, in any
// order, separated by commas, semicolons or tabs, as spreadsheets and the
// saved lists of map services write them.

#include "places.h"

#include "exchange/outbytes.h"
#include "exchange/readrules.h"
#include "journal/row.h"
#include "platform/codepage.h"
#include "worldwind/links.h"

#include <QStringDecoder>

namespace exchange {
namespace {

// A spreadsheet takes a cell that starts with one of these for a formula,
// and may run it: such a text goes out behind an apostrophe, which the
// spreadsheet shows and our reader takes away again. A text that already
// starts with an apostrophe before one gets another, so it reads back as it was.
bool looksLikeFormula(QStringView s)
{
    static constexpr QStringView kStarts = u"=+-@\t\r";
    qsizetype i = 0;
    while (i < s.size() && s[i] == u'\'')
        ++i;
    return i < s.size() && kStarts.contains(s[i]);
}

QString fromCell(QString s)
{
    if (s.startsWith(u'\'') && looksLikeFormula(QStringView(s).sliced(1)))
        s.remove(0, 1);
    return s;
}

// The fields of one line (or of several, where a quoted field holds line
// ends) at a time, so that no more than one line is held apart from the text.
class Lines {
public:
    Lines(QStringView text, QChar separator) : text_(text), separator_(separator) {}

    // False at the end of the text or on an error.
    bool next(QStringList& fields)
    {
        fields.clear();
        if (pos_ >= text_.size() || !error_.isEmpty())
            return false;
        startLine_ = line_;
        for (;;) {
            QString field;
            if (pos_ < text_.size() && text_[pos_] == u'"' && !quoted(field))
                return false;
            const qsizetype start = pos_;
            while (pos_ < text_.size() && text_[pos_] != separator_ && text_[pos_] != u'\r' && text_[pos_] != u'\n')
                ++pos_;
            field += text_.sliced(start, pos_ - start);  // after a quoted part, or all of an unquoted field
            if (++values_ > kMaxValues) {
                error_ = QStringLiteral("it holds more than %1 fields, far more than any places file; it is refused")
                             .arg(kMaxValues);
                return false;
            }
            fields.append(std::move(field));
            if (pos_ < text_.size() && text_[pos_] == separator_) {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == u'\r')
                ++pos_;
            if (pos_ < text_.size() && text_[pos_] == u'\n')
                ++pos_;
            ++line_;
            return true;
        }
    }

    qint64 line() const { return startLine_; }
    const QString& error() const { return error_; }

private:
    QStringView text_;
    QChar separator_;
    qsizetype pos_ = 0;
    qint64 line_ = 1, startLine_ = 1;
    qsizetype values_ = 0;
    QString error_;

    // A field in quotes, "" standing for one quote; line ends kept.
    bool quoted(QString& field)
    {
        const qint64 from = line_;
        ++pos_;
        for (;;) {
            const qsizetype quote = text_.indexOf(u'"', pos_);
            if (quote < 0) {
                error_ = QStringLiteral("the quoted field that starts on line %1 is never closed").arg(from);
                return false;
            }
            const QStringView part = text_.sliced(pos_, quote - pos_);
            line_ += part.count(u'\n');
            field += part;
            pos_ = quote + 1;
            if (pos_ < text_.size() && text_[pos_] == u'"') {
                field += u'"';
                ++pos_;
                continue;
            }
            return true;
        }
    }
};

// Which column holds what, by the header's names (any case).
struct Columns {
    qsizetype name = -1, latitude = -1, longitude = -1, link = -1;
    QList<qsizetype> comments;

    static std::optional<Columns> of(const QStringList& header)
    {
        Columns c;
        for (qsizetype i = 0; i < header.size(); ++i) {
            const QString h = header[i].trimmed().toLower();
            const auto any = [&h](std::initializer_list<const char*> names) {
                for (const char* n : names)
                    if (h == QLatin1String(n))
                        return true;
                return false;
            };
            if (c.name < 0 && any({"name", "title"}))
                c.name = i;
            else if (c.latitude < 0 && any({"latitude", "lat"}))
                c.latitude = i;
            else if (c.longitude < 0 && any({"longitude", "lon", "lng", "long"}))
                c.longitude = i;
            else if (c.link < 0 && any({"url", "link"}))
                c.link = i;
            else if (any({"description", "desc", "comment", "comments", "note", "notes"}))
                c.comments.append(i);
        }
        const bool position = c.latitude >= 0 && c.longitude >= 0;
        if (c.name < 0 || (!position && c.link < 0))
            return std::nullopt;
        return c;
    }
};

// A header is looked for among the first lines: a list's title and
// description may stand before it.
constexpr int kHeaderSearch = 20;

QString field(const QStringList& fields, qsizetype i)
{
    return i >= 0 && i < fields.size() ? fields[i] : QString();
}

bool blank(const QStringList& fields)
{
    for (const QString& f : fields)
        if (!f.trimmed().isEmpty())
            return false;
    return true;
}

// UTF-8 when the bytes are, else Windows-1252, as older spreadsheets save.
QString decoded(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return codepage::decode(bytes.data(), bytes.size());
}

class Reader {
public:
    explicit Reader(const QString& text) : text_(text) {}

    Import run()
    {
        QString firstError;
        for (const QChar separator : {u',', u';', u'\t'}) {
            Lines lines(text_, separator);
            QStringList fields;
            for (int i = 0; i < kHeaderSearch && lines.next(fields); ++i)
                if (const std::optional<Columns> c = Columns::of(fields)) {
                    read(lines, *c);
                    return std::move(result_);
                }
            if (firstError.isEmpty())
                firstError = lines.error();
        }
        // A quote never closed may be why no header was found.
        result_.error =
            !firstError.isEmpty()
                ? firstError
                : QStringLiteral(
                    "it has no header line naming its columns (name or title, and latitude and longitude or a URL)");
        return std::move(result_);
    }

private:
    const QString& text_;
    Import result_;

    void read(Lines& lines, const Columns& c)
    {
        QStringList fields;
        while (lines.next(fields)) {
            if (blank(fields))
                continue;
            Candidate place;
            place.where = QStringLiteral("line %1").arg(lines.line());
            place.name = fromCell(field(fields, c.name));
            QStringList texts;
            for (const qsizetype i : c.comments)
                texts.append(fromCell(field(fields, i)));
            place.comment = joinedComment(texts);
            place.link = field(fields, c.link);
            if (!position(place, field(fields, c.latitude), field(fields, c.longitude)) || !takePlace(result_, place)) {
                result_.rows.clear();
                return;
            }
        }
        if (!lines.error().isEmpty()) {
            result_.error = lines.error();
            result_.rows.clear();
        }
    }

    // Both numbers, or neither (the place's link may hold its position).
    bool position(Candidate& place, const QString& latText, const QString& lonText)
    {
        if (latText.trimmed().isEmpty() && lonText.trimmed().isEmpty())
            return true;
        const auto number = [&](const QString& t, const char* what) -> std::optional<double> {
            const std::optional<double> v = links::decimalNumber(t);
            if (!v)
                result_.error =
                    t.trimmed().isEmpty()
                        ? QStringLiteral("%1 has no %2").arg(placeNamed(place.name, place.where), QLatin1String(what))
                        : QStringLiteral("%1 has the %2 \"%3\", which is not a number")
                              .arg(placeNamed(place.name, place.where), QLatin1String(what), t.trimmed().left(40));
            return v;
        };
        const std::optional<double> lat = number(latText, "latitude");
        if (!lat)
            return false;
        const std::optional<double> lon = number(lonText, "longitude");
        if (!lon)
            return false;
        place.at = links::Position{*lat, *lon};
        return true;
    }
};

bool needsQuotes(QStringView s)
{
    for (const QChar c : s)
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    return false;
}

void quotedField(OutBytes& out, QStringView s)
{
    if (!needsQuotes(s)) {
        out.text(s, [](char) { return std::string_view(); });
        return;
    }
    out << "\"";
    out.text(s, [](char c) { return c == '"' ? std::string_view("\"\"") : std::string_view(); });
    out << "\"";
}

void csvField(OutBytes& out, QStringView s)
{
    if (looksLikeFormula(s))
        quotedField(out, QLatin1Char('\'') + s.toString());
    else
        quotedField(out, s);
}

}  // namespace

Import readCsv(QByteArrayView bytes)
{
    const QString text = carried(decoded(withoutBom(bytes)));
    return Reader(text).run();
}

QByteArray csvBytes(const QStringList& rows)
{
    OutBytes out(rows.size());
    out << "name,latitude,longitude,description,link\r\n";
    for (const QString& row : rows) {
        const RowView f = viewRow(row);
        csvField(out, f.name);
        out << ",";
        if (const std::optional<links::Position> at = links::position(f.link)) {
            out.number(at->latitude);
            out << ",";
            out.number(at->longitude);
        } else {
            out << ",";
        }
        out << ",";
        csvField(out, f.comment);
        out << ",";
        csvField(out, f.link);
        out << "\r\n";
    }
    return out.finish();
}

}  // namespace exchange
