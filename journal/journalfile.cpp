#include "journalfile.h"

#include "platform/codepage.h"
#include "row.h"

#include <QFile>

#include <algorithm>
#include <bit>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace journal {

namespace {

// Length of the stretch at p that stays as it is in any case: ASCII other
// than the `Specials`. Checked eight characters at a time, as nearly all of
// a journal is such text.
template <char16_t... Specials>
qsizetype plainRun(const char16_t* p, qsizetype n)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(short(0xFF80));
    const __m128i ones = _mm_set1_epi16(-1);
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i stop = _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128()), ones);
        ((stop = _mm_or_si128(stop, _mm_cmpeq_epi16(v, _mm_set1_epi16(short(Specials))))), ...);
        if (const int mask = _mm_movemask_epi8(stop))
            return i + std::countr_zero(unsigned(mask)) / 2;
    }
#endif
    for (; i < n; ++i)
        if (p[i] >= 0x80 || ((p[i] == Specials) || ...))
            break;
    return i;
}

// The escaping of names, comments and links, written once for two outputs:
// a QString (HTMLize, safeLink) and the journal file's bytes, which the
// writer fills in a single pass. For each character the walkers call either
// sink.keep(i, byte), the character staying as it is (`byte` being its
// Windows-1252 byte), sink.keepAscii(p, count) for a stretch of ASCII that
// stays, or sink.escape(i, units, text) with the replacement.
// The sink goes in and comes back by value so that the byte writer's pointer
// can live in a register.

template <typename Sink>
Sink escapeText(QStringView str, Sink sink)
{
    const qsizetype n = str.size();
    char reference[16];
    for (qsizetype i = 0; i < n; ++i) {
        if (const qsizetype run = plainRun<u'>', u'<', u'"', u'\'', u'\\'>(str.utf16() + i, n - i)) {
            sink.keepAscii(str.utf16() + i, run);
            i += run - 1;
            continue;
        }
        const char16_t c = str[i].unicode();
        switch (c) {
        case u'>': sink.escape(i, 1, QLatin1StringView("&gt;")); continue;
        case u'<': sink.escape(i, 1, QLatin1StringView("&lt;")); continue;
        case u'"': sink.escape(i, 1, QLatin1StringView("&quot;")); continue;
        case u'\'': sink.escape(i, 1, QLatin1StringView("&#39;")); continue;
        case u'\\': sink.escape(i, 1, QLatin1StringView("&#92;")); continue;
        default: break;
        }
        if (c < 0x80) {
            sink.keep(i, char(c));
            continue;
        }
        char32_t cp = c;
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(str[i + 1].unicode())) {
            cp = QChar::surrogateToUcs4(c, str[i + 1].unicode());
            units = 2;
        }
        if (const int b = codepage::byteFor(cp); b >= 0) {
            sink.keep(i, char(b));
            continue;
        }
        const int len = std::snprintf(reference, sizeof reference, "&#%u;", unsigned(cp));
        sink.escape(i, units, QLatin1StringView(reference, len));
        i += units - 1;
    }
    return sink;
}

// A link: " \ CR LF percent-encoded, characters outside the code page as
// percent-encoded UTF-8.
template <typename Sink>
Sink escapeLink(QStringView link, Sink sink)
{
    const qsizetype n = link.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (const qsizetype run = plainRun<u'"', u'\\', u'\r', u'\n'>(link.utf16() + i, n - i)) {
            sink.keepAscii(link.utf16() + i, run);
            i += run - 1;
            continue;
        }
        const char16_t c = link[i].unicode();
        switch (c) {
        case u'"': sink.escape(i, 1, QLatin1StringView("%22")); continue;
        case u'\\': sink.escape(i, 1, QLatin1StringView("%5C")); continue;
        case u'\r': sink.escape(i, 1, QLatin1StringView("%0D")); continue;
        case u'\n': sink.escape(i, 1, QLatin1StringView("%0A")); continue;
        default: break;
        }
        if (c < 0x80) {
            sink.keep(i, char(c));
            continue;
        }
        if (const int b = codepage::byteFor(c); b >= 0) {
            sink.keep(i, char(b));
            continue;
        }
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(link[i + 1].unicode()))
            units = 2;
        const QByteArray encoded = link.mid(i, units).toUtf8().toPercentEncoding();
        sink.escape(i, units, QLatin1StringView(encoded));
        i += units - 1;
    }
    return sink;
}

// Copies the kept stretches of `source` in one piece each; a text with
// nothing to escape is shared, not copied (the usual case).
class StringSink {
public:
    explicit StringSink(const QString& source) : source_(source) {}
    void keep(qsizetype, char) {}
    void keepAscii(const char16_t*, qsizetype) {}
    void escape(qsizetype i, qsizetype units, QLatin1StringView text)
    {
        out_ += QStringView(source_).mid(kept_, i - kept_);
        out_ += text;
        kept_ = i + units;
    }
    QString result()
    {
        if (kept_ == 0)
            return source_;
        out_ += QStringView(source_).mid(kept_);
        return out_;
    }

private:
    const QString& source_;
    QString out_;
    qsizetype kept_ = 0;
};

// The pieces of splitRow, viewed in place rather than copied.
struct RowViews {
    QStringView name, link, comment;
};

RowViews splitRowViews(QStringView row)
{
    RowViews f;
    const qsizetype t1 = row.indexOf(u'\t');
    if (t1 < 0) {
        f.name = row;
        return f;
    }
    f.name = row.left(t1);
    const qsizetype t2 = row.indexOf(u'\t', t1 + 1);
    if (t2 < 0) {
        f.link = row.mid(t1 + 1);
        return f;
    }
    f.link = row.mid(t1 + 1, t2 - t1 - 1);
    const qsizetype t3 = row.indexOf(u'\t', t2 + 1);
    f.comment = t3 < 0 ? row.mid(t2 + 1) : row.mid(t2 + 1, t3 - t2 - 1);
    return f;
}

struct ByteSink {
    char* dst;
    void keep(qsizetype, char b) { *dst++ = b; }
    void keepAscii(const char16_t* p, qsizetype count)
    {
        qsizetype k = 0;
#if defined(__SSE2__)
        for (; k + 16 <= count; k += 16, dst += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 8));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(a, b));
        }
#endif
        for (; k < count; ++k)
            *dst++ = char(p[k]);
    }
    void escape(qsizetype, qsizetype, QLatin1StringView text) { put(text); }
    void put(QLatin1StringView text) { dst = std::copy(text.begin(), text.end(), dst); }
};

}  // namespace

QString HTMLize(const QString& str)
{
    return escapeText(str, StringSink(str)).result();
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
    // Text between entities is copied a stretch at a time.
    qsizetype amp = str.indexOf(u'&');
    if (amp < 0)
        return str;
    QString out;
    out.reserve(str.size());
    QString repl;
    qsizetype copied = 0;
    while (amp >= 0) {
        const qsizetype len = entityAt(str, amp, repl);
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

QString safeLink(const QString& link)
{
    return escapeLink(link, StringSink(link)).result();
}

QByteArray journalBytes(const QStringList& rows)
{
    // Escaped and encoded in one pass straight into one buffer. No UTF-16
    // unit takes more than 9 bytes ("%E2%82%AC" in a link), so room for that
    // is made before each line.
    QByteArray out;
    out.resize(rows.size() * 128);
    ByteSink sink{out.data()};
    for (const QString& row : rows) {
        const RowViews f = splitRowViews(row);
        const qsizetype used = sink.dst - out.constData();
        const qsizetype most = used + 22 + 9 * (f.name.size() + f.link.size() + f.comment.size());
        if (out.size() < most)
            out.resize(qMax(most, 2 * out.size()));
        sink.dst = out.data() + used;
        sink.put(QLatin1StringView("add_place(\""));
        sink = escapeText(f.name, sink);
        sink.put(QLatin1StringView("\",\""));
        sink = escapeLink(f.link, sink);
        sink.put(QLatin1StringView("\",\""));
        sink = escapeText(f.comment, sink);
        sink.put(QLatin1StringView("\");\r\n"));
        Q_ASSERT(sink.dst <= out.constData() + most);
    }
    out.resize(sink.dst - out.constData());
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
