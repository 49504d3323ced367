#include "journalfile.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "row.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>

namespace journal {
namespace {

// No UTF-16 unit becomes more than this many bytes ("%E2%82%AC" in a link,
// "&#65535;" in a text).
constexpr qsizetype kMostPerUnit = 9;

// The bytes of a journal line besides its three texts: add_place("","",""); CR LF.
constexpr qsizetype kLineFrame = 22;

// ASCII that names, comments and links keep as it is: the bulk of any journal.
constexpr std::array<bool, 128> plainAscii(std::string_view escaped)
{
    std::array<bool, 128> plain{};
    for (int c = 0; c < 128; ++c)
        plain[c] = escaped.find(char(c)) == std::string_view::npos;
    return plain;
}
constexpr auto kPlainInText = plainAscii("><\"'\\");
constexpr auto kPlainInLink = plainAscii("\"\\\r\n");

char* put(char* p, QLatin1StringView text)
{
    return std::copy(text.begin(), text.end(), p);
}

// Writes a name or comment as it stands in a journal line, in
// Windows-1252, and returns the new end. `p` has room for
// kMostPerUnit bytes per unit of `s`.
char* putText(char* p, QStringView s)
{
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0x80 && kPlainInText[c]) {
            *p++ = char(c);
            continue;
        }
        switch (c) {
        case u'>': p = put(p, QLatin1StringView("&gt;")); continue;
        case u'<': p = put(p, QLatin1StringView("&lt;")); continue;
        case u'"': p = put(p, QLatin1StringView("&quot;")); continue;
        case u'\'': p = put(p, QLatin1StringView("&#39;")); continue;
        // A backslash would change or end the script's string.
        case u'\\': p = put(p, QLatin1StringView("&#92;")); continue;
        default: break;
        }
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode()))
            cp = QChar::surrogateToUcs4(c, s[++i].unicode());
        if (const int b = codepage::byteFor(cp); b >= 0) {
            *p++ = char(b);
            continue;
        }
        // Kept as a character reference rather than lost to the code page.
        *p++ = '&';
        *p++ = '#';
        p = std::to_chars(p, p + 8, quint32(cp)).ptr;
        *p++ = ';';
    }
    return p;
}

// Writes a link as it stands in a journal line: " \ CR LF percent-encoded
// so the script's string stays whole, characters outside the code page as
// percent-encoded UTF-8.
char* putLink(char* p, QStringView s)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto percent = [&p](quint8 b) {
        *p++ = '%';
        *p++ = kHex[b >> 4];
        *p++ = kHex[b & 15];
    };
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0x80 && kPlainInLink[c]) {
            *p++ = char(c);
            continue;
        }
        if (c == u'"' || c == u'\\' || c == u'\r' || c == u'\n') {
            percent(quint8(c));
            continue;
        }
        if (c < 0x80) {
            *p++ = char(c);
            continue;
        }
        if (const int b = codepage::byteFor(c); b >= 0) {
            *p++ = char(b);
            continue;
        }
        const qsizetype units = QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode()) ? 2
                                                                                                                    : 1;
        for (const char b : s.mid(i, units).toUtf8())
            percent(quint8(b));
        i += units - 1;
    }
    return p;
}

template <char* (*Put)(char*, QStringView)>
QString escaped(const QString& text)
{
    QByteArray bytes(text.size() * kMostPerUnit, Qt::Uninitialized);
    const char* end = Put(bytes.data(), text);
    return codepage::decode(bytes.constData(), end - bytes.constData());
}

}  // namespace

QString HTMLize(const QString& str)
{
    return escaped<putText>(str);
}

namespace {

// Length of the entity `rest` starts with (at its '&') and the text it
// stands for; 0 when there is none.
qsizetype entityAt(QStringView rest, QString& replacement)
{
    static const struct {
        QLatin1String entity;
        QChar ch;
    } named[] = {
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
    // Built by hand: the UCS-4 decoder would drop U+FEFF as a byte-order mark.
    const QChar units[2] = {QChar(QChar::highSurrogate(cp)), QChar(QChar::lowSurrogate(cp))};
    replacement = QChar::requiresSurrogates(cp) ? QString(units, 2) : QString(QChar(char16_t(cp)));
    return j + 1;
}

}  // namespace

bool startsEntity(QStringView text)
{
    QString replacement;
    return entityAt(text, replacement) > 0;
}

QString unHTMLize(const QString& str)
{
    // One pass gives what the four replacements in a row followed by the
    // character references give: no replacement can create a new match.
    // Text between entities is copied a stretch at a time.
    qsizetype amp = str.indexOf(u'&');
    if (amp < 0)
        return str;
    QString out;
    out.reserve(str.size());
    QString repl;
    qsizetype copied = 0;
    while (amp >= 0) {
        const qsizetype len = entityAt(QStringView(str).mid(amp), repl);
        if (len == 0) {
            amp = str.indexOf(u'&', amp + 1);
            continue;
        }
        out += QStringView(str).mid(copied, amp - copied);
        out += repl;
        copied = amp + len;
        amp = str.indexOf(u'&', copied);
    }
    out += QStringView(str).mid(copied);
    return out;
}

QByteArray journalBytes(const QStringList& rows)
{
    return *journalBytesWithin(rows, std::numeric_limits<qint64>::max());
}

bool journalLines(const QStringList& rows, qint64 maxBytes, const std::function<bool(QByteArrayView)>& sink)
{
    // Escaped and encoded straight into a buffer handed on whenever the
    // next line might not fit; it holds the longest line at least.
    constexpr qsizetype kPiece = 1 << 20;
    qsizetype longest = 0;
    for (const QString& row : rows)
        longest = qMax(longest, row.size());
    QByteArray out(qMax(kPiece, kLineFrame + kMostPerUnit * longest), Qt::Uninitialized);
    qint64 total = 0;
    char* p = out.data();
    const auto handOn = [&] {
        const qsizetype n = p - out.constData();
        total += n;
        p = out.data();
        return total <= maxBytes && (n == 0 || sink(QByteArrayView(out.constData(), n)));
    };
    for (const QString& row : rows) {
        if (out.size() - (p - out.constData()) < kLineFrame + kMostPerUnit * row.size() && !handOn())
            return false;
        const RowView f = viewRow(row);
        p = put(p, QLatin1StringView("add_place(\""));
        p = putText(p, f.name);
        p = put(p, QLatin1StringView("\",\""));
        p = putLink(p, f.link);
        p = put(p, QLatin1StringView("\",\""));
        p = putText(p, f.comment);
        p = put(p, QLatin1StringView("\");\r\n"));
    }
    return handOn();
}

std::optional<QByteArray> journalBytesWithin(const QStringList& rows, qint64 maxBytes)
{
    QByteArray bytes;
    const bool whole = journalLines(rows, maxBytes, [&bytes](QByteArrayView piece) {
        if (bytes.isEmpty())
            bytes = piece.toByteArray();  // most journals are one piece
        else
            bytes.append(piece);
        return true;
    });
    if (!whole)
        return std::nullopt;
    return bytes;
}

QString tooLargeToRead()
{
    return QStringLiteral("it would be larger than %1 MB, more than the program reads back").arg(kMaxFileBytes >> 20);
}

namespace {

bool blank(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            return false;
    return true;
}

// A journal line holds at least this many double quotes: around the name,
// the link and the start of the comment (its closing one may be missing).
constexpr int kLeastQuotes = 5;
// A sixth quote closes the comment; a seventh means more text on the line.
constexpr int kQuotesLooked = 7;

// What may follow an entry's closing quote: the call's end and blanks,
// all of which a save writes again.
bool onlyClosing(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (*p != ')' && *p != ';' && *p != ' ' && *p != '\t' && *p != '\n')
            return false;
    return true;
}

// Entries in text that was not read: stretches between line ends (CR or
// LF) that hold at least kLeastQuotes double quotes.
int entriesIn(const char* p, const char* end)
{
    int n = 0, quotes = 0;
    for (; p < end; ++p) {
        if (*p == '"') {
            ++quotes;
        } else if (*p == '\r' || *p == '\n') {
            n += quotes >= kLeastQuotes;
            quotes = 0;
        }
    }
    return n + (quotes >= kLeastQuotes);
}

// Editors put a UTF-8 byte-order mark in front of files they save.
const char* afterByteOrderMark(const QByteArray& bytes)
{
    return bytes.constData() + codepage::utf8MarkLength(bytes);
}

struct Line {
    const char* eol;   // where its text ends
    const char* next;  // where the next line starts
};

// A line ends at CR LF or at a lone CR; a lone LF belongs to the line.
Line lineAt(const char* p, const char* end)
{
    const char* eol = static_cast<const char*>(memchr(p, '\r', size_t(end - p)));
    if (!eol)
        eol = end;
    const char* next = eol;
    if (next < end) {
        ++next;
        if (next < end && *next == '\n')
            ++next;
    }
    return {eol, next};
}

// The first kQuotesLooked double quotes of the line; returns how many there are.
int quotesOf(const char* p, const char* eol, const char* (&quotes)[kQuotesLooked])
{
    int found = 0;
    for (const char* q = p; q < eol && found < kQuotesLooked; ++q) {
        q = static_cast<const char*>(memchr(q, '"', size_t(eol - q)));
        if (!q)
            break;
        quotes[found++] = q;
    }
    return found;
}

// Bytes that the escaping or makeRow would change in a name or comment
// (kInText) or in a link (kInLink).
enum : quint8 { kInText = 1, kInLink = 2 };
constexpr std::array<quint8, 256> changedOnReading()
{
    std::array<quint8, 256> t{};
    t[quint8('&')] = kInText;
    t[quint8('\n')] = kInText;
    t[quint8('\t')] = kInText | kInLink;
    return t;
}
constexpr auto kChangedOnReading = changedOnReading();

bool holdsNone(const char* p, const char* end, quint8 kind)
{
    for (; p < end; ++p)
        if (kChangedOnReading[quint8(*p)] & kind)
            return false;
    return true;
}

// The row of an entry line, from its quotes.
QString rowOf(const char* const* quotes, int found, const char* eol)
{
    const char* const commentEnd = found > kLeastQuotes ? quotes[kLeastQuotes] : eol;
    // Most lines hold no entity and nothing that makeRow changes: decoded
    // straight into the row, one string per place.
    if (holdsNone(quotes[0] + 1, quotes[1], kInText) && holdsNone(quotes[2] + 1, quotes[3], kInLink)
        && holdsNone(quotes[4] + 1, commentEnd, kInText)) {
        const qsizetype n1 = quotes[1] - quotes[0] - 1, n2 = quotes[3] - quotes[2] - 1, n3 = commentEnd - quotes[4] - 1;
        QString row(n1 + n2 + n3 + 2, Qt::Uninitialized);
        QChar* d = codepage::decodeTo(row.data(), quotes[0] + 1, n1);
        *d++ = u'\t';
        d = codepage::decodeTo(d, quotes[2] + 1, n2);
        *d++ = u'\t';
        codepage::decodeTo(d, quotes[4] + 1, n3);
        return row;
    }
    auto piece = [](const char* from, const char* to) { return codepage::decode(from, to - from); };
    return makeRow(unHTMLize(piece(quotes[0] + 1, quotes[1])), piece(quotes[2] + 1, quotes[3]),
                   unHTMLize(piece(quotes[4] + 1, commentEnd)));
}

}  // namespace

QString journalPath(const QString& saveDir)
{
    return paths::local(paths::join(saveDir, QString::fromLatin1(kFileName)));
}

ReadResult parseJournal(const QByteArray& bytes)
{
    ReadResult result;
    result.exists = true;
    result.opened = true;
    const char* p = afterByteOrderMark(bytes);
    const char* const end = bytes.constData() + bytes.size();
    int unread = 0;
    int lineNo = 0;
    for (; p < end; ++lineNo) {
        const Line line = lineAt(p, end);
        if (line.eol == p) {
            p = line.next;
            continue;
        }
        const char* quotes[kQuotesLooked];
        const int found = quotesOf(p, line.eol, quotes);
        if (found < kLeastQuotes) {
            if (!blank(p, end)) {
                result.stoppedAtLine = lineNo + 1;
                unread += entriesIn(p, end);
            }
            break;
        }
        // More entries after the first on the same line (a file whose lines
        // end in LF only) are not read.
        const int more = found == kQuotesLooked ? entriesIn(quotes[kLeastQuotes] + 1, line.eol) : 0;
        // Other text after the entry (a script call, a fourth argument)
        // would be dropped by the next save: the line is not read.
        if (more == 0 && found > kLeastQuotes && !onlyClosing(quotes[kLeastQuotes] + 1, line.eol)) {
            result.stoppedAtLine = lineNo + 1;
            unread += entriesIn(p, end);
            break;
        }
        result.rows.append(rowOf(quotes, found, line.eol));
        unread += more;
        if (more > 0 && result.firstCrowdedLine == 0)
            result.firstCrowdedLine = lineNo + 1;
        p = line.next;
    }
    result.placesInFile = int(qMin<qsizetype>(result.rows.size() + unread, std::numeric_limits<int>::max()));
    return result;
}

ReadResult readJournalFile(const QString& path)
{
    return journalOfFile(path, textfile::readRegularFile(path, kMaxFileBytes));
}

ReadResult journalOfFile(const QString& path, const textfile::FileRead& file)
{
    ReadResult result;
    result.path = path;
    if (file.outcome == textfile::FileRead::Missing)
        return result;  // nothing to lose: a first save creates it
    if (!file.ok()) {
        result.exists = true;
        result.placesInFile = -1;
        result.whyNotRead =
            file.outcome == textfile::FileRead::TooLarge
                ? QStringLiteral("it is larger than %1 MB, far more than any journal").arg(kMaxFileBytes >> 20)
                : file.whyNot;
        return result;
    }
    ReadResult parsed = parseJournal(file.bytes);
    parsed.path = path;
    return parsed;
}

namespace {

// Why a symbolic link at the journal's path may not be written through;
// empty when it leads to a journal (or when the path is no link).
QString linkRefused(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return {};
    const ReadResult target = readJournalFile(path);
    const QString shown = paths::shown(info.symLinkTarget());
    if (!target.exists)
        return QStringLiteral("it is a symbolic link to %1, which does not exist; only a link to a journal is "
                              "written through")
            .arg(shown);
    if (!target.opened)
        return QStringLiteral("it is a symbolic link to %1, which cannot be read as a journal (%2)")
            .arg(shown, target.whyNotRead);
    if (!target.complete())
        return QStringLiteral("it is a symbolic link to %1, which holds text that is not journal lines; only a link "
                              "to a journal is written through")
            .arg(shown);
    return {};
}

}  // namespace

bool save(const QString& path, const QStringList& rows, QString* error)
{
    if (const QString why = linkRefused(path); !why.isEmpty()) {
        if (error)
            *error = why;
        return false;
    }
    // Written as it is encoded: the rows and the whole file are never held
    // at once. Past the limit the new file is cancelled.
    textfile::NewFile file(path);
    const bool written = file.open() && journalLines(rows, kMaxFileBytes, [&file](QByteArrayView piece) {
                             return file.write(piece);
                         });
    if (written && file.commit())
        return true;
    if (error)
        *error = file.error().isEmpty() ? tooLargeToRead() : file.error();
    return false;
}

QString resolvedPath(const QString& path)
{
    const QFileInfo info(path);
    if (const QString file = info.canonicalFilePath(); !file.isEmpty())
        return file;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder) + QLatin1Char('/') + info.fileName();
}

}  // namespace journal
