#include "readable.h"

namespace readable {
namespace {

constexpr qsizetype kMostInFileName = 200;
constexpr qsizetype kMostInMessage = 1000;

void appendEscaped(QString& out, QStringView text)
{
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!controlOrBidi(c)) {
            out += ch;
            continue;
        }
        switch (c) {
        case u'\t': out += QLatin1String("\\t"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        default:
            out += c < 0x100 ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
                             : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        }
    }
}

// Where a cut may fall: never between the two halves of a surrogate pair.
qsizetype cutAt(QStringView text, qsizetype at)
{
    return at > 0 && at < text.size() && text[at].isLowSurrogate() ? at - 1 : at;
}

}  // namespace

bool controlOrBidi(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || c == 0x2028
           || c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString text(QStringView text, qsizetype most)
{
    QString out;
    if (text.size() <= most) {
        appendEscaped(out, text);
        return out;
    }
    appendEscaped(out, text.left(cutAt(text, most)));
    out += u'…';
    return out;
}

QString fileName(QStringView name)
{
    QString out;
    if (name.size() <= kMostInFileName) {
        appendEscaped(out, name);
        return out;
    }
    const qsizetype half = kMostInFileName / 2;
    appendEscaped(out, name.left(cutAt(name, half)));
    out += u'…';
    appendEscaped(out, name.mid(cutAt(name, name.size() - half)));
    return out;
}

QString message(QStringView text)
{
    return readable::text(text, kMostInMessage);
}

}  // namespace readable
