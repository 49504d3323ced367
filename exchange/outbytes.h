#pragma once
// The bytes of a places file, appended into one buffer reserved ahead:
// markup as it is, texts as UTF-8 with the escapes of the format, a run at
// a time. Every places writer builds its file here, so that each writes
// UTF-8 the same way.

#include "worldwind/links.h"

#include <QByteArray>
#include <QStringView>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace exchange {

class OutBytes {
public:
    explicit OutBytes(qsizetype rows) { bytes_.resize(4096 + rows * 400); }

    OutBytes& operator<<(std::string_view markup)
    {
        char* o = room(qsizetype(markup.size()));
        std::memcpy(o, markup.data(), markup.size());
        used_ += qsizetype(markup.size());
        return *this;
    }

    // `s` as UTF-8. An ASCII character for which `escape` gives bytes is
    // written as those bytes (at most 6); `escape` gives an empty view
    // for the others. Characters a file cannot carry (lone surrogates,
    // U+FFFE, U+FFFF) become U+FFFD.
    template <typename Escape>
    void text(QStringView s, Escape escape)
    {
        char* const start = room(s.size() * 6);
        char* o = start;
        const char16_t* p = s.utf16();
        const char16_t* const end = p + s.size();
        for (; p < end; ++p) {
            const char16_t c = *p;
            if (c < 0x80) {
                const std::string_view v = escape(char(c));
                if (v.empty()) {
                    *o++ = char(c);
                } else {
                    std::memcpy(o, v.data(), v.size());
                    o += v.size();
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
                std::memcpy(o, kReplacement.data(), kReplacement.size());
                o += kReplacement.size();
            }
        }
        used_ += o - start;
    }

    // As links::decimal writes it.
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

    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

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

}  // namespace exchange
