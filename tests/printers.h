#pragma once
// GoogleTest prints Qt values readably: text as UTF-8 in quotes, bytes with
// escapes, so a failing comparison shows what differs.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\r': *os << "\\r"; break;
        case '\n': *os << "\\n"; break;
        case '\t': *os << "\\t"; break;
        case '"': *os << "\\\""; break;
        case '\\': *os << "\\\\"; break;
        default:
            if (u < 0x20 || u >= 0x7F) {
                static const char hex[] = "0123456789ABCDEF";
                *os << "\\x" << hex[u >> 4] << hex[u & 15];
            } else {
                *os << c;
            }
        }
    }
    *os << '"';
    if (bytes.size() > 64)
        *os << " (" << bytes.size() << " bytes)";
}

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << "u8";
    PrintTo(text.toUtf8(), os);
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(list[i], os);
    }
    *os << '}';
}
