#pragma once
// A journal entry lives as one row of the main list: name TAB link TAB comment.

#include <QString>
#include <QStringView>

struct RowFields {
    QString name;
    QString link;
    QString comment;
};

// Builds a row from typed or pasted texts. A TAB, CR or LF in the name or
// the comment becomes a space, a TAB in the link becomes %09: any of them
// would otherwise split the row or the journal line into something else.
QString makeRow(const QString& name, const QString& link, const QString& comment);

// Pieces 0, 1 and 2 of the row split at TAB; missing pieces are empty,
// further pieces are ignored.
RowFields splitRow(QStringView row);
