#pragma once
// A journal entry lives as one row of the main list: name TAB link TAB comment.

#include <QString>
#include <QStringList>
#include <QStringView>

// Row positions and counts are 16-bit signed: the journal holds at most
// this many places.
inline constexpr int kMaxRows = 32767;

// The most characters a name, a comment or a link may have: what the main
// window's boxes hold. A longer one would be cut at its first edit.
inline constexpr int kMaxFieldLength = 32767;

struct RowFields {
    QString name;
    QString link;
    QString comment;
};

// The same pieces, viewed inside the row without copying it.
struct RowView {
    QStringView name;
    QStringView link;
    QStringView comment;
};

// Builds a row from typed or pasted texts. A TAB, CR or LF in the name or
// the comment becomes a space, a TAB in the link becomes %09: any of them
// would otherwise split the row or the journal line into something else.
QString makeRow(QStringView name, QStringView link, QStringView comment);

// makeRow's rules for readers that build a row in place: the text that
// `row` holds from `from` on with each TAB, CR and LF as a space, or (a
// link) with each TAB as %09.
void flattenFrom(QString& row, qsizetype from);
void escapeTabsFrom(QString& row, qsizetype from);

// Pieces 0, 1 and 2 of the row split at TAB; missing pieces are empty,
// further pieces are ignored.
RowView viewRow(QStringView row);
RowFields splitRow(QStringView row);

// "a link of 40000 characters, more than the 32767 a name, comment or link
// can hold": what a text longer than kMaxFieldLength is told, everywhere.
QString fieldTooLong(QLatin1StringView what, qsizetype length);

// Why the rows cannot join the journal because a field is too long, naming
// the first such place; empty when every field fits.
QString overlongField(const QStringList& rows);
