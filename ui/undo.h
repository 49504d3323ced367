#pragma once
// The steps of the list's undo history: each change of the journal as a
// command that can be done again and undone, named for the Edit menu
// ("Remove "Paris"").

#include <QString>
#include <QStringList>

class QUndoCommand;
namespace journal {
class Journal;
}

namespace undo {

// A step's name for a place: the verb and the place's name, quoted.
QString stepText(const QString& verb, const QString& row);

// Rows added at the end: Add, a captured place, an import (one step per file).
QUndoCommand* append(journal::Journal& journal, const QStringList& rows, const QString& text);
// Row i replaced by `row`: Update.
QUndoCommand* replace(journal::Journal& journal, int i, const QString& row);
// Row i taken out: Remove.
QUndoCommand* remove(journal::Journal& journal, int i);
// Rows i and j trade places: Up and Down.
QUndoCommand* swap(journal::Journal& journal, int i, int j, const QString& text);

// The rows put in a new order (see Journal::reorder): a Sort.
QUndoCommand* reorder(journal::Journal& journal, const QList<int>& order, const QString& text);

}  // namespace undo
