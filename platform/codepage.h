#pragma once
// Windows-1252, the code page of every text file the program shares with
// Windows machines and World Wind. A table of our own rather than a
// converter: callers need to know, character by character, what the code
// page can hold (to write a character reference or a "?" instead), and the
// five bytes Windows leaves undefined must come back exactly as they went in.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace codepage {

// The byte for a code point, or -1 when Windows-1252 cannot hold it.
int byteFor(char32_t codePoint);

inline bool canHold(char32_t codePoint)
{
    return byteFor(codePoint) >= 0;
}

// Encodes text; each character the code page cannot hold becomes `replacement`.
QByteArray encode(QStringView text, char replacement = '?');
// Writes the bytes at `p`, which has room for one byte per UTF-16 unit of
// `text`, and returns the new end.
char* encodeTo(char* p, QStringView text, char replacement = '?');

// The length of the UTF-8 byte-order mark that editors put in front of
// files they save: 3 when `bytes` starts with one, else 0.
qsizetype utf8MarkLength(QByteArrayView bytes);

// Decodes bytes; every byte maps to exactly one character.
QString decode(const char* data, qsizetype size);
// Writes the characters of the bytes at `dst`, which has room for `size`,
// and returns the new end.
QChar* decodeTo(QChar* dst, const char* data, qsizetype size);
inline QString decode(const QByteArray& bytes)
{
    return decode(bytes.constData(), bytes.size());
}

}  // namespace codepage
