#pragma once
// The three-way merge of the rows when another writer changed the journal
// since it was last read. Plain functions on rows: no file, no model.

#include <QStringList>

namespace journal {

struct Merged {
    QStringList rows;
    // Their rows that the merge puts in (new places, their edits): what a
    // save that keeps both adds to ours.
    QStringList added;
    // Our rows that the merge takes out: rows we left alone that they removed.
    QStringList taken;
};

// Rows are matched by their text, not their place. A row gone on one side,
// alone between its neighbours, was edited into the first new row there;
// where several rows went, each counts as removed and the new rows as
// added. Our order stays: rows they removed go unless we edited
// them, their edits replace rows we left alone, where both edited one row
// differently ours stays and theirs follows it, and their other new rows
// (a row we removed that they edited among them) come after ours; a row
// both added is there once.
Merged merge(const QStringList& base, const QStringList& ours, const QStringList& theirs);

}  // namespace journal
