#include "history.h"

#include "journal.h"
#include "platform/readable.h"
#include "row.h"

#include <QScopedValueRollback>

#include <functional>
#include <utility>

namespace journal {
namespace {

// The rules a place meets to become a row, first broken first.
std::optional<Refusal> refusal(const RowFields& place, bool adding, int held)
{
    if (place.link.isEmpty())
        return Refusal{Refusal::NoLink, QStringLiteral("No placename to add, use worldwind, and copy a location")};
    if (adding)
        if (auto why = noRoom(held))
            return why;
    return tooLong(place);
}

}  // namespace

std::optional<Refusal> noRoom(int held)
{
    if (Journal::hasRoom(held))
        return std::nullopt;
    return Refusal{Refusal::Full, Journal::fullText()};
}

std::optional<Refusal> tooLong(const RowFields& place, std::initializer_list<Refusal::Field> fields)
{
    for (const Refusal::Field field : fields) {
        static constexpr const char* names[] = {"name", "link", "comment"};
        const QString& text = field == Refusal::Name ? place.name : field == Refusal::Link ? place.link : place.comment;
        if (text.size() > kMaxFieldLength)
            return Refusal{Refusal::TooLong, fieldTooLong(QLatin1StringView(names[field]), text.size()), field};
    }
    return std::nullopt;
}

class History::Step : public QUndoCommand {
public:
    Step(History& history, const QString& text, int selectedBefore, int selectedAfter, std::function<void()> redo,
         std::function<void()> undo)
        : QUndoCommand(text), history_(history), before_(selectedBefore), after_(selectedAfter), redo_(std::move(redo)),
          undo_(std::move(undo))
    {}
    void redo() override
    {
        {
            const QScopedValueRollback stepping(history_.stepping_, true);
            redo_();
        }
        // Done the first time, the window has the selection already.
        if (!std::exchange(first_, false))
            emit history_.selectionRestored(after_);
    }
    void undo() override
    {
        {
            const QScopedValueRollback stepping(history_.stepping_, true);
            undo_();
        }
        emit history_.selectionRestored(before_);
    }

private:
    History& history_;
    int before_;
    int after_;
    bool first_ = true;
    std::function<void()> redo_;
    std::function<void()> undo_;
};

History::History(Journal& journal) : QObject(&journal), journal_(journal)
{}

QString History::stepText(const QString& verb, const QString& row)
{
    return verb + QStringLiteral(" \"") + readable::text(viewRow(row).name) + QLatin1Char('"');
}

void History::append(const QStringList& rows, const QString& text, int selected)
{
    journal_.finishOpening();  // the rows go after those being read
    Journal& j = journal_;
    const int at = j.count();
    stack_.push(new Step(
        *this, text, selected, selected, [&j, rows] { j.append(rows); },
        [&j, at, n = int(rows.size())] { j.remove(at, n); }));
}

void History::reorder(const QList<int>& order, const QString& text, int selected)
{
    bool same = true;
    for (int k = 0; k < int(order.size()) && same; ++k)
        same = order[k] == k;
    if (same)
        return;
    Journal& j = journal_;
    // Undone by the inverse order, so every place goes back to its own row,
    // equal names included.
    const int after = selected < 0 ? -1 : int(order.indexOf(selected));
    stack_.push(new Step(
        *this, text, selected, after, [&j, order] { j.reorder(order); },
        [&j, back = Journal::inverse(order)] { j.reorder(back); }));
}

void History::replace(int i, const QString& row)
{
    Journal& j = journal_;
    stack_.push(new Step(
        *this, stepText(QStringLiteral("Update"), row), i, i, [&j, i, row] { j.replace(i, row); },
        [&j, i, old = j.row(i)] { j.replace(i, old); }));
}

std::optional<Refusal> History::add(const RowFields& place, const QString& verb, int selected)
{
    if (auto why = refusal(place, true, journal_.count()))
        return why;
    const QString row = makeRow(place.name, place.link, place.comment);
    append({row}, stepText(verb, row), selected);
    return std::nullopt;
}

std::optional<Refusal> History::update(int i, const RowFields& place)
{
    if (auto why = refusal(place, false, journal_.count()))
        return why;
    replace(i, makeRow(place.name, place.link, place.comment));
    return std::nullopt;
}

void History::remove(int i)
{
    Journal& j = journal_;
    const QString row = j.row(i);
    stack_.push(new Step(
        *this, stepText(QStringLiteral("Remove"), row), i, -1, [&j, i] { j.remove(i); },
        [&j, i, row] { j.insert(i, {row}); }));
}

bool History::move(int i, int offset)
{
    Journal& j = journal_;
    const int to = i + offset;
    if (i < 0 || to < 0 || i >= j.count() || to >= j.count())
        return false;
    stack_.push(new Step(
        *this, stepText(offset < 0 ? QStringLiteral("Up") : QStringLiteral("Down"), j.row(i)), i, to,
        [&j, i, to] { j.swap(i, to); }, [&j, i, to] { j.swap(i, to); }));
    return true;
}

void History::takeRows(const QStringList& rows, const QString& text)
{
    Journal& j = journal_;
    stack_.push(new Step(
        *this, text, -1, -1, [&j, rows] { j.setRows(rows); }, [&j, old = j.rows()] { j.setRows(old); }));
}

}  // namespace journal
