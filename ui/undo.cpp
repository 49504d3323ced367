#include "undo.h"

#include "journal/journal.h"
#include "journal/row.h"
#include "platform/readable.h"

#include <QUndoCommand>

#include <functional>

namespace undo {
namespace {

class Step : public QUndoCommand {
public:
    Step(const QString& text, std::function<void()> redo, std::function<void()> undo)
        : QUndoCommand(text), redo_(std::move(redo)), undo_(std::move(undo))
    {}
    void redo() override { redo_(); }
    void undo() override { undo_(); }

private:
    std::function<void()> redo_;
    std::function<void()> undo_;
};

}  // namespace

QString stepText(const QString& verb, const QString& row)
{
    return verb + QStringLiteral(" \"") + readable::text(viewRow(row).name) + QLatin1Char('"');
}

QUndoCommand* append(journal::Journal& journal, const QStringList& rows, const QString& text)
{
    journal.finishOpening();  // the rows go after those being read
    const int at = journal.count();
    return new Step(
        text, [&journal, rows] { journal.append(rows); },
        [&journal, at, n = int(rows.size())] { journal.remove(at, n); });
}

QUndoCommand* replace(journal::Journal& journal, int i, const QString& row)
{
    return new Step(
        stepText(QStringLiteral("Update"), row), [&journal, i, row] { journal.replace(i, row); },
        [&journal, i, old = journal.row(i)] { journal.replace(i, old); });
}

QUndoCommand* remove(journal::Journal& journal, int i)
{
    const QString row = journal.row(i);
    return new Step(
        stepText(QStringLiteral("Remove"), row), [&journal, i] { journal.remove(i); },
        [&journal, i, row] { journal.insert(i, {row}); });
}

QUndoCommand* swap(journal::Journal& journal, int i, int j, const QString& text)
{
    return new Step(
        stepText(text, journal.row(i)), [&journal, i, j] { journal.swap(i, j); },
        [&journal, i, j] { journal.swap(i, j); });
}

QUndoCommand* reorder(journal::Journal& journal, const QList<int>& order, const QString& text)
{
    // Undone by the inverse order, so every place goes back to its own row,
    // equal names included.
    return new Step(
        text, [&journal, order] { journal.reorder(order); },
        [&journal, back = journal::Journal::inverse(order)] { journal.reorder(back); });
}

}  // namespace undo
