#include "journalfile.h"

#include "platform/codepage.h"
#include "row.h"

#include <QFile>

namespace journal {

QString HTMLize(const QString& str)
{
    QString out;
    out.reserve(str.size() + 8);
    const qsizetype n = str.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = str[i].unicode();
        switch (c) {
        case u'>': out += QLatin1String("&gt;"); continue;
        case u'<': out += QLatin1String("&lt;"); continue;
        case u'"': out += QLatin1String("&quot;"); continue;
        case u'\'': out += QLatin1String("&#39;"); continue;
        case u'\\': out += QLatin1String("&#92;"); continue;
        default: break;
        }
        if (c < 0x80) {
            out += QChar(c);
            continue;
        }
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(str[i + 1].unicode()))
            cp = QChar::surrogateToUcs4(c, str[++i].unicode());
        if (codepage::canHold(cp))
            out += QChar(c);
        else
            out += QStringLiteral("&#%1;").arg(quint32(cp));
    }
    return out;
}

namespace {

// Length of the entity at str[i] (which is '&') and the text it stands for;
// 0 when there is none.
qsizetype entityAt(const QString& str, qsizetype i, QString& replacement)
{
    const QStringView rest = QStringView(str).mid(i);
    static const struct { QLatin1String entity; QChar ch; } named[] = {
        {QLatin1String("&gt;"), u'>'},
        {QLatin1String("&lt;"), u'<'},
        {QLatin1String("&quot;"), u'"'},
        {QLatin1String("&#39;"), u'\''},
    };
    for (const auto& e : named)
        if (rest.startsWith(e.entity)) {
            replacement = e.ch;
            return e.entity.size();
        }
    if (rest.size() < 4 || rest[1] != u'#')
        return 0;
    char32_t cp = 0;
    qsizetype j = 2;
    while (j < rest.size() && j < 9 && rest[j].isDigit() && rest[j].unicode() < 0x80) {
        cp = cp * 10 + (rest[j].unicode() - u'0');
        ++j;
    }
    if (j == 2 || j >= rest.size() || rest[j] != u';')
        return 0;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    replacement = QString::fromUcs4(&cp, 1);
    return j + 1;
}

}  // namespace

QString unHTMLize(const QString& str)
{
    // One pass gives what the four replacements in a row followed by the
    // character references give: no replacement can create a new match.
    const qsizetype first = str.indexOf(u'&');
    if (first < 0)
        return str;
    QString out = str.left(first);
    QString repl;
    for (qsizetype i = first; i < str.size();) {
        if (str[i] == u'&') {
            if (const qsizetype len = entityAt(str, i, repl)) {
                out += repl;
                i += len;
                continue;
            }
        }
        out += str[i++];
    }
    return out;
}

QString safeLink(const QString& link)
{
    QString out;
    out.reserve(link.size());
    const qsizetype n = link.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = link[i].unicode();
        switch (c) {
        case u'"': out += QLatin1String("%22"); continue;
        case u'\\': out += QLatin1String("%5C"); continue;
        case u'\r': out += QLatin1String("%0D"); continue;
        case u'\n': out += QLatin1String("%0A"); continue;
        default: break;
        }
        if (c < 0x80 || codepage::canHold(c)) {
            out += QChar(c);
            continue;
        }
        qsizetype len = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(link[i + 1].unicode()))
            len = 2;
        for (const char b : QStringView(link).mid(i, len).toUtf8())
            out += QStringLiteral("%%1").arg(quint8(b), 2, 16, QLatin1Char('0')).toUpper();
        i += len - 1;
    }
    return out;
}

QByteArray journalBytes(const QStringList& rows)
{
    QByteArray out;
    out.reserve(rows.size() * 128);
    QString line;
    for (const QString& row : rows) {
        const RowFields f = splitRow(row);
        line.clear();
        line += QLatin1String("add_place(\"");
        line += HTMLize(f.name);
        line += QLatin1String("\",\"");
        line += safeLink(f.link);
        line += QLatin1String("\",\"");
        line += HTMLize(f.comment);
        line += QLatin1String("\");\r\n");
        codepage::encodeAppend(out, line);
    }
    return out;
}

namespace {

bool blank(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            return false;
    return true;
}

}  // namespace

ReadResult parseJournal(const QByteArray& bytes)
{
    ReadResult result;
    result.opened = true;
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    int lineNo = 0;
    while (p < end) {
        // A line ends at CR LF or at a lone CR; a lone LF belongs to the line.
        const char* eol = static_cast<const char*>(memchr(p, '\r', size_t(end - p)));
        if (!eol)
            eol = end;
        const char* next = eol;
        if (next < end) {
            ++next;
            if (next < end && *next == '\n')
                ++next;
        }
        ++lineNo;
        if (eol == p) {
            p = next;
            continue;
        }
        const char* quotes[7];
        int found = 0;
        for (const char* q = p; q < eol && found < 7; ++q)
            if (*q == '"')
                quotes[found++] = q;
        if (found < 5) {
            if (!blank(p, end) && result.firstUnreadLine == 0)
                result.firstUnreadLine = lineNo;
            break;
        }
        const char* const commentEnd = found >= 6 ? quotes[5] : eol;
        auto piece = [](const char* from, const char* to) { return codepage::decode(from, to - from); };
        const QString name = unHTMLize(piece(quotes[0] + 1, quotes[1]));
        const QString link = piece(quotes[2] + 1, quotes[3]);
        const QString comment = unHTMLize(piece(quotes[4] + 1, commentEnd));
        result.rows.append(makeRow(name, link, comment));
        // More quoted text after the comment means a second entry on the same
        // line (a file whose lines end in LF only): it is not read.
        if (found == 7 && result.firstUnreadLine == 0)
            result.firstUnreadLine = lineNo;
        p = next;
    }
    return result;
}

ReadResult readJournalFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseJournal(file.readAll());
}

}  // namespace journal
