#include "codepage.h"

#include <array>

namespace codepage {
namespace {

// 0x80..0x9F; the undefined bytes map to the C1 control of the same value,
// as Windows itself does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Every byte's character, for decoding a byte at a time without a branch.
constexpr std::array<char16_t, 256> allBytes()
{
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b);
    return t;
}
constexpr auto kAllBytes = allBytes();

}  // namespace

int byteFor(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp)
            return 0x80 + i;
    return -1;
}

char* encodeTo(char* p, QStringView text, char replacement)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {  // the common case, kept cheap
            *p++ = char(c);
            continue;
        }
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode()))
            cp = QChar::surrogateToUcs4(c, text[++i].unicode());
        const int b = byteFor(cp);
        *p++ = b >= 0 ? char(b) : replacement;
    }
    return p;
}

QByteArray encode(QStringView text, char replacement)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    out.truncate(encodeTo(out.data(), text, replacement) - out.constData());
    return out;
}

qsizetype utf8MarkLength(QByteArrayView bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

QString decode(const char* data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    decodeTo(out.data(), data, size);
    return out;
}

QChar* decodeTo(QChar* dst, const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        dst[i] = QChar(kAllBytes[static_cast<unsigned char>(data[i])]);
    return dst + size;
}

}  // namespace codepage
