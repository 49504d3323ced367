#include "xmldoc.h"

#include "exchange/readrules.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace exchange::xml {
namespace {

// "U+D800".
QString codePoint(char32_t c)
{
    return QStringLiteral("U+") + QString::number(quint32(c), 16).toUpper().rightJustified(4, u'0');
}

// Code points XML 1.0 allows in a document.
bool xmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

struct BadByte {
    qsizetype offset = -1;  // -1: none
    QString why;
    // Elements, comments, processing instructions and CDATA sections that
    // start before it (every "<" but those of end tags).
    qsizetype markup = 0;
};

// The first byte that is not valid UTF-8 or starts a character XML
// forbids, noting where lines end and counting markup on the way. Sixteen
// bytes at a time while they are plain printable ASCII.
BadByte firstBadByte(const char* data, qsizetype size, std::vector<qsizetype>& newlines)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    qsizetype markup = 0;
#ifdef __SSE2__
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i open = _mm_set1_epi8('<');
    const __m128i slash = _mm_set1_epi8('/');
#endif
    while (p < end) {
#ifdef __SSE2__
        if (end - p > 16) {
            // Signed: bytes of 0x80 and above count as below a blank too.
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(_mm_cmplt_epi8(block, space)) == 0) {
                const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
                const unsigned starts = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, open)))
                                        & ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(next, slash)));
                for (unsigned m = starts; m; m &= m - 1)  // a few a block: no popcount needed
                    ++markup;
                p += 16;
                continue;
            }
        }
#endif
        const unsigned char c = *p;
        if (c < 0x80) {
            if (c == '<' && (end - p == 1 || p[1] != '/'))
                ++markup;
            if (c == '\n')
                newlines.push_back(p - reinterpret_cast<const unsigned char*>(data));
            else if (c < 0x20 && c != 0x9 && c != 0xD)
                return {p - reinterpret_cast<const unsigned char*>(data),
                        QStringLiteral("the character %1, which XML forbids").arg(codePoint(c)), markup};
            ++p;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t least = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
            least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
            least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
            least = 0x10000;
        }
        const qsizetype at = p - reinterpret_cast<const unsigned char*>(data);
        bool valid = extra > 0 && end - p > extra;
        for (int i = 1; valid && i <= extra; ++i) {
            valid = (p[i] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!valid || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return {at, QStringLiteral("bytes that are not UTF-8"), markup};
        if (!xmlChar(cp))
            return {at, QStringLiteral("the character %1, which XML forbids").arg(codePoint(cp)), markup};
        p += extra + 1;
    }
    return {-1, QString(), markup};
}

// Whether more than `most` elements, comments, processing instructions or
// CDATA sections start in the text: every "<" but those of end tags.
bool moreMarkupThan(const QByteArray& bytes, qsizetype most)
{
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    qsizetype n = 0;
    while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p))))) {
        ++p;
        if ((p == end || *p != '/') && ++n > most)
            return true;
    }
    return false;
}

// The encoding named by the XML declaration, if any.
QByteArray declaredEncoding(const QByteArray& bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype close = bytes.indexOf("?>");
    if (close < 0 || close > 512)
        return {};
    const QByteArray decl = bytes.left(close);
    const qsizetype key = decl.indexOf("encoding");
    if (key < 0)
        return {};
    qsizetype i = key + 8;
    while (i < decl.size()
           && (decl[i] == ' ' || decl[i] == '=' || decl[i] == '\t' || decl[i] == '\r' || decl[i] == '\n'))
        ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
        return {};
    const qsizetype end = decl.indexOf(decl[i], i + 1);
    return end < 0 ? QByteArray() : decl.mid(i + 1, end - i - 1);
}

bool isUtf8Name(const QByteArray& name)
{
    const QByteArray n = name.toLower();
    return n.isEmpty() || n == "utf-8" || n == "utf8";
}

// Writes `c` as UTF-8 at `o`; returns the end of what was written.
char* putUtf8(char* o, char32_t c)
{
    if (c < 0x80) {
        *o++ = char(c);
    } else if (c < 0x800) {
        *o++ = char(0xC0 | (c >> 6));
        *o++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *o++ = char(0xE0 | (c >> 12));
        *o++ = char(0x80 | ((c >> 6) & 0x3F));
        *o++ = char(0x80 | (c & 0x3F));
    } else {
        *o++ = char(0xF0 | (c >> 18));
        *o++ = char(0x80 | ((c >> 12) & 0x3F));
        *o++ = char(0x80 | ((c >> 6) & 0x3F));
        *o++ = char(0x80 | (c & 0x3F));
    }
    return o;
}

// The character of the reference starting at `p` ("&amp;", "&#10;",
// "&#x41;"); `length` receives its length. 0 when it is none of them.
char32_t reference(const char* p, qsizetype* length)
{
    const char* semicolon = std::strchr(p, ';');
    if (!semicolon || semicolon - p > 12)
        return 0;
    const qsizetype n = semicolon - p + 1;
    *length = n;
    const std::string_view ref(p + 1, size_t(n - 2));
    if (ref == "amp")
        return '&';
    if (ref == "lt")
        return '<';
    if (ref == "gt")
        return '>';
    if (ref == "quot")
        return '"';
    if (ref == "apos")
        return '\'';
    if (ref.size() < 2 || ref[0] != '#')
        return 0;
    const bool hex = ref[1] == 'x';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty())
        return 0;
    char32_t c = 0;
    for (const char d : digits) {
        int v;
        if (d >= '0' && d <= '9')
            v = d - '0';
        else if (hex && d >= 'a' && d <= 'f')
            v = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F')
            v = d - 'A' + 10;
        else
            return 0;
        c = c * (hex ? 16 : 10) + char32_t(v);
        if (c > 0x10FFFF)
            return 0;
    }
    return xmlChar(c) ? c : 0;
}

// The number of a character reference ("&#55296;", "&#xD800;") whatever
// it refers to, up to just past U+10FFFF; nothing when `p` starts none.
std::optional<char32_t> numericReference(const char* p)
{
    if (p[0] != '&' || p[1] != '#')
        return std::nullopt;
    const bool hex = p[2] == 'x';
    const char* d = p + (hex ? 3 : 2);
    char32_t c = 0;
    const char* const first = d;
    for (;; ++d) {
        int v;
        if (*d >= '0' && *d <= '9')
            v = *d - '0';
        else if (hex && *d >= 'a' && *d <= 'f')
            v = *d - 'a' + 10;
        else if (hex && *d >= 'A' && *d <= 'F')
            v = *d - 'A' + 10;
        else
            break;
        c = std::min<char32_t>(c * (hex ? 16 : 10) + char32_t(v), 0x110000);
    }
    if (d == first || *d != ';')
        return std::nullopt;
    return c;
}

enum class Kind { Text, Attribute, Cdata };

// Appends `value` as XML reads it: line ends made LF (blanks in an
// attribute, as are tabs), references replaced. The value was checked.
// Written in place: decoding never lengthens a value (a reference is
// longer than the character it stands for, CR LF becomes one byte).
void appendDecoded(QByteArray& out, const char* value, Kind kind)
{
    const qsizetype start = out.size();
    out.resize(start + qsizetype(std::strlen(value)));
    char* const begin = out.data();
    char* o = begin + start;
    // Values are short: copied as they are scanned, a byte at a time.
    for (const char* p = value;;) {
        const char c = *p;
        if (static_cast<unsigned char>(c) > '&') {  // above every byte that changes
            *o++ = c;
            ++p;
        } else if (c == '\0') {
            break;
        } else if (c == '&' && kind != Kind::Cdata) {
            qsizetype length = 0;
            const char32_t r = reference(p, &length);
            if (length == 0) {  // none at all: never in a checked value, kept as it stands
                *o++ = *p++;
                continue;
            }
            o = putUtf8(o, r);
            p += length;
        } else if (c == '\r' || (kind == Kind::Attribute && (c == '\n' || c == '\t'))) {
            if (c == '\r' && p[1] == '\n')
                ++p;
            *o++ = kind == Kind::Attribute ? ' ' : '\n';
            ++p;
        } else {
            *o++ = c;
            ++p;
        }
    }
    out.truncate(o - begin);
}

}  // namespace

Document::Document(QByteArray bytes) : buffer_(std::move(bytes))
{
    load();
    if (ok())
        check();
}

void Document::load()
{
    // Other encodings are converted to UTF-8 first.
    const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(buffer_, u'<');
    const QByteArray declared = declaredEncoding(buffer_);
    if (marked && *marked != QStringConverter::Utf8) {
        if (!convert([&] { return QStringDecoder(*marked); },
                     QLatin1String(QStringConverter::nameForEncoding(*marked))))
            return;
    } else if (!marked && !isUtf8Name(declared)) {
        if (!QStringDecoder(declared.constData()).isValid()) {
            error_ = QStringLiteral("it is written in the encoding \"%1\", which is not read")
                         .arg(QString::fromLatin1(declared.left(40)));
            return;
        }
        if (!convert([&] { return QStringDecoder(declared.constData()); }, QString::fromLatin1(declared.left(40))))
            return;
    } else if (const QByteArrayView text = withoutBom(buffer_); text.size() != buffer_.size()) {
        buffer_ = buffer_.sliced(buffer_.size() - text.size());
    }
    size_ = buffer_.size();

    // pugixml writes into the text as it cuts it into nodes, blanks that
    // end lines among what it overwrites: the lines are told by where
    // they ended before, noted on the way.
    const BadByte bad = firstBadByte(buffer_.constData(), size_, newlines_);

    // Counted before anything is built: a small zipped file can inflate to
    // millions of empty elements, and their tree to gigabytes. Said before
    // a bad byte: the scan stopped there, the count goes on to the end.
    if (bad.markup > kMaxMarkup || (bad.offset >= 0 && moreMarkupThan(buffer_, kMaxMarkup))) {
        error_ = QStringLiteral("it holds more than %1 elements, far more than any places file; it is refused")
                     .arg(kMaxMarkup);
        return;
    }
    if (bad.offset >= 0) {
        failAt(bad.offset, QStringLiteral("it holds ") + bad.why);
        return;
    }

    // pugixml takes the buffer's last byte for the end of the text: a NUL
    // of our own, so that no text at the end of the file goes unseen. A
    // file read for this alone has room for it, and is parsed where it lies.
    buffer_.append('\0');
    // Minimal parsing: values stay as written (checked and decoded here),
    // so pugixml only cuts the buffer into nodes. Blanks alone in an
    // element are its text; top-level text is kept to be refused.
    // An element's first text is kept in the element itself (fewer nodes
    // to make and to walk).
    const unsigned options = pugi::parse_cdata | pugi::parse_doctype | pugi::parse_fragment
                             | pugi::parse_ws_pcdata_single | pugi::parse_embed_pcdata;
    const pugi::xml_parse_result parsed = doc_.load_buffer_inplace(buffer_.data(), size_t(buffer_.size()), options,
                                                                   pugi::encoding_utf8);
    if (!parsed)
        failAt(qsizetype(parsed.offset), QString::fromLatin1(parsed.description()));
}

bool Document::convert(const std::function<QStringDecoder()>& decoderFor, const QString& encoding)
{
    QStringDecoder decoder = decoderFor();
    const QString text = decoder.decode(buffer_);
    if (decoder.hasError()) {
        // Where: the bytes fed one at a time to a fresh decoder, until it
        // fails. Only ever done for a file that is refused.
        QStringDecoder probe = decoderFor();
        QString read;
        for (qsizetype i = 0; i < buffer_.size() && !probe.hasError(); ++i)
            read += probe.decode(QByteArrayView(buffer_.constData() + i, 1));
        failAtText(read, std::max<qsizetype>(0, read.size() - 1),
                   QStringLiteral("bytes that are not valid %1").arg(encoding));
        return false;
    }
    // A lone half of a surrogate pair decodes without complaint from
    // UTF-16, but is no character: it would reach the places as "?".
    const char16_t* const begin = reinterpret_cast<const char16_t*>(text.utf16());
    for (const char16_t *p = begin, *end = begin + text.size(); p < end; ++p) {
        if (!QChar::isSurrogate(*p))
            continue;
        if (QChar::isHighSurrogate(*p) && p + 1 < end && QChar::isLowSurrogate(p[1])) {
            ++p;
            continue;
        }
        // Other decoders turn a number past U+10FFFF into one.
        failAtText(
            text, p - begin,
            encoding.contains(QLatin1String("16"))
                ? QStringLiteral("half of a UTF-16 surrogate pair (%1), which is no character").arg(codePoint(*p))
                : QStringLiteral("a code that is no character of %1").arg(encoding));
        return false;
    }
    buffer_ = text.toUtf8();
    return true;
}

void Document::check()
{
    bool doctype = false;
    for (pugi::xml_node n = doc_.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
        case pugi::node_element:
            if (root_) {
                failAt(offsetOf(n.name()) - 1, QStringLiteral("a second root element"));
                return;
            }
            root_ = n;
            break;
        case pugi::node_pcdata:
            if (n.value()[std::strspn(n.value(), " \t\r\n")] == '\0')
                break;
            [[fallthrough]];
        case pugi::node_cdata: failAt(offsetOf(n.value()), QStringLiteral("text outside the root element")); return;
        case pugi::node_doctype:
            if (doctype || root_) {
                failAt(offsetOf(n.value()), QStringLiteral("a misplaced DOCTYPE"));
                return;
            }
            doctype = true;
            // Places files never need entities; declared ones are how
            // expansion bombs and external entities get in.
            if (std::strstr(n.value(), "<!ENTITY")) {
                error_ = QStringLiteral("it declares entities (<!ENTITY> in its DOCTYPE), which places files do "
                                        "not use; it is refused for safety");
                return;
            }
            break;
        default: break;
        }
    }
    if (!root_) {
        failAt(size_, QStringLiteral("no root element"));
        return;
    }

    // When every "&" of the text starts a reference XML knows, texts need
    // no look of their own for one (attribute values still do, for "<").
    const bool texts = !referencesAllKnown();
    // Every node once, in document order, walked by pugixml itself.
    struct Walker : pugi::xml_tree_walker {
        Document* doc;
        bool texts;
        bool for_each(pugi::xml_node& n) override
        {
            // Most nodes, when texts need no look: nothing to check but
            // their depth and attributes.
            const int at = depth() + 2;
            if (!texts && at <= kMaxDepth && !n.first_attribute())
                return true;
            return doc->checkNode(n, at, texts);
        }
    } walker;
    walker.doc = this;
    walker.texts = texts;
    if (checkNode(root_, 1, texts))
        root_.traverse(walker);
}

bool Document::checkNode(pugi::xml_node n, int depth, bool texts)
{
    switch (n.type()) {
    case pugi::node_element:
        if (depth > kMaxDepth) {
            error_ =
                QStringLiteral("its elements are nested more than %1 deep (line %2)").arg(kMaxDepth).arg(lineOf(n));
            return false;
        }
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            const char* value = a.value();
            if (texts) {
                if (!checkValue(value, true))
                    return false;
            } else if (const char* lt = std::strchr(value, '<')) {
                failAt(offsetOf(lt), QStringLiteral("a \"<\" in an attribute value"));
                return false;
            }
        }
        return !texts || checkValue(n.value(), false);
    case pugi::node_pcdata: return !texts || checkValue(n.value(), false);
    default: return true;
    }
}

bool Document::referencesAllKnown() const
{
    // The text holds no NUL (refused above), so a reference ends at the
    // ";" found here, a few bytes on, as it does within its value.
    // Parsed: a NUL now ends some names and values, which stops a reference
    // short of its ";" and sends its texts to the look of their own.
    const char* p = buffer_.constData();
    const char* const end = p + size_;
    while ((p = static_cast<const char*>(std::memchr(p, '&', size_t(end - p))))) {
        qsizetype length = 0;
        if (!std::memchr(p, ';', size_t(std::min<qsizetype>(end - p, 14))) || !reference(p, &length))
            return false;
        p += length;
    }
    return true;
}

bool Document::checkValue(const char* value, bool attribute)
{
    for (const char* p = value; (p = attribute ? std::strpbrk(p, "&<") : std::strchr(p, '&'));) {
        if (*p == '<') {
            failAt(offsetOf(p), QStringLiteral("a \"<\" in an attribute value"));
            return false;
        }
        qsizetype length = 0;
        if (!reference(p, &length)) {
            const qsizetype end = qsizetype(std::strcspn(p, "; \t\r\n<\"'"));
            const QString shown = QString::fromUtf8(p, qMin<qsizetype>(end + (p[end] == ';'), 40));
            const std::optional<char32_t> number = numericReference(p);
            if (!number)
                failAt(offsetOf(p),
                       QStringLiteral("\"%1\" is not a reference XML knows without a declaration").arg(shown));
            else if (*number > 0x10FFFF)
                failAt(offsetOf(p), QStringLiteral("\"%1\" refers past U+10FFFF, to no character").arg(shown));
            else
                failAt(offsetOf(p),
                       QStringLiteral("\"%1\" refers to %2, which XML forbids").arg(shown, codePoint(*number)));
            return false;
        }
        p += length;
    }
    return true;
}

void Document::failAtText(const QString& text, qsizetype index, const QString& why)
{
    if (!error_.isEmpty())
        return;
    const QStringView before = QStringView(text).left(index);
    const qsizetype lineStart = before.lastIndexOf(u'\n') + 1;
    qint64 column = 1;
    for (qsizetype i = lineStart; i < index; ++i)
        column += !(QChar::isLowSurrogate(text[i].unicode()) && i > lineStart
                    && QChar::isHighSurrogate(text[i - 1].unicode()));
    error_ = QStringLiteral("it is not well-formed XML (line %1, column %2: %3)")
                 .arg(before.count(u'\n') + 1)
                 .arg(column)
                 .arg(why);
}

void Document::failAt(qsizetype offset, const QString& why)
{
    if (!error_.isEmpty())
        return;
    offset = qBound<qsizetype>(0, offset, size_);
    const qint64 line = lineOf(offset);
    const qsizetype lineStart = line == 1 ? 0 : newlines_[size_t(line - 2)] + 1;
    // What pugixml overwrote was markup, one byte a character.
    qint64 column = 1;
    for (qsizetype i = lineStart; i < offset; ++i)
        column += (buffer_[i] & 0xC0) != 0x80;
    error_ = QStringLiteral("it is not well-formed XML (line %1, column %2: %3)").arg(line).arg(column).arg(why);
}

qint64 Document::lineOf(pugi::xml_node node) const
{
    const char* at = node.type() == pugi::node_element ? node.name() : node.value();
    return lineOf(qBound<qsizetype>(0, offsetOf(at), size_));
}

qint64 Document::lineOf(qsizetype offset) const
{
    return 1 + (std::lower_bound(newlines_.begin(), newlines_.end(), offset) - newlines_.begin());
}

void Document::decode(const char* utf8, qsizetype size, QString& out) const
{
    out.resize(0);
    appendUtf16(QByteArrayView(utf8, size), out);
}

bool Document::appendUtf16(QByteArrayView utf8, QString& out) const
{
    const qsizetype start = out.size(), size = utf8.size();
    out.resize(start + size);  // never more UTF-16 units than UTF-8 bytes
    // Most texts are plain ASCII, widened here at once (sixteen bytes at a
    // time where the processor can); the decoder takes the rest from the
    // first byte that is not.
    char16_t* const o = reinterpret_cast<char16_t*>(out.data() + start);
    const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
    qsizetype ascii = 0;
    bool control = false;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i space = _mm_set1_epi8(0x20);
    for (; size - ascii >= 16; ascii += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + ascii));
        if (_mm_movemask_epi8(block) != 0)  // a byte of 0x80 or above
            break;
        control = control || _mm_movemask_epi8(_mm_cmplt_epi8(block, space)) != 0;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + ascii), _mm_unpacklo_epi8(block, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + ascii + 8), _mm_unpackhi_epi8(block, zero));
    }
#endif
    for (; ascii < size && in[ascii] < 0x80; ++ascii) {
        control = control || in[ascii] < 0x20;
        o[ascii] = in[ascii];
    }
    if (ascii == size)
        return control;
    for (qsizetype i = ascii; i < size && !control; ++i)
        control = in[i] < 0x20;
    QStringDecoder& decoder = ascii == 0 ? utf8_ : utf8Rest_;
    const QChar* end = decoder.appendToBuffer(reinterpret_cast<QChar*>(o + ascii),
                                              QByteArrayView(utf8.data() + ascii, size - ascii));
    out.resize(end - out.constData());
    return control;
}

QString Document::text(pugi::xml_node element) const
{
    QString out;
    text(element, out);
    return out;
}

void Document::text(pugi::xml_node element, QString& out) const
{
    const QByteArrayView bytes = textBytes(element, scratch_);
    decode(bytes.data(), bytes.size(), out);
}

QByteArrayView Document::textBytes(pugi::xml_node element, QByteArray& scratch) const
{
    // Most elements hold one plain text, kept in the element itself.
    const char* own = element.value();
    const pugi::xml_node first = element.first_child();
    const size_t plain = std::strcspn(own, "&\r");
    if (!first && own[plain] == '\0')
        return QByteArrayView(own, qsizetype(plain));
    scratch.resize(0);
    appendDecoded(scratch, own, Kind::Text);
    pugi::xml_node n = first;
    while (n) {
        switch (n.type()) {
        case pugi::node_pcdata:
        case pugi::node_element: appendDecoded(scratch, n.value(), Kind::Text); break;
        case pugi::node_cdata: appendDecoded(scratch, n.value(), Kind::Cdata); break;
        default: break;
        }
        if (pugi::xml_node child = n.first_child()) {
            n = child;
            continue;
        }
        while (n.parent() != element && !n.next_sibling())
            n = n.parent();
        n = n.next_sibling();
    }
    return scratch;
}

QString Document::attribute(pugi::xml_node element, const char* name) const
{
    QString out;
    if (!attribute(element, name, out))
        return {};
    return out;
}

bool Document::attribute(pugi::xml_node element, const char* name, QString& out) const
{
    const pugi::xml_attribute a = element.attribute(name);
    const QByteArrayView bytes = attributeBytes(element, name, scratch_);
    decode(bytes.data(), bytes.size(), out);
    return bool(a);
}

QByteArrayView Document::attributeBytes(pugi::xml_node element, const char* name, QByteArray& scratch) const
{
    const char* value = element.attribute(name).value();
    const size_t plain = std::strcspn(value, "&\r\n\t");
    if (value[plain] == '\0')
        return QByteArrayView(value, qsizetype(plain));
    scratch.resize(0);
    appendDecoded(scratch, value, Kind::Attribute);
    return scratch;
}

bool Document::attributeIs(pugi::xml_node element, const char* name, const char* wanted) const
{
    const char* value = element.attribute(name).value();
    if (!std::strpbrk(value, "&\r\n\t"))
        return std::strcmp(value, wanted) == 0;
    return attribute(element, name) == QString::fromUtf8(wanted);
}

}  // namespace exchange::xml
