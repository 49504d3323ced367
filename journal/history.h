#pragma once
// The journal's undo history: each change of the rows a step that can be
// undone and done again, named for the Edit menu ("Remove "Paris""). Each
// step knows the row that was selected before it and after it, so that an
// undo or a redo puts the selection back with the rows. The journal is
// modified exactly when the history is not at its saved step: the stack's
// clean state is the one record of it.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUndoStack>

#include <initializer_list>
#include <optional>

struct RowFields;

namespace journal {

class Journal;

// Why a place is not taken into the journal; the text says it to the user.
struct Refusal {
    enum Kind {
        NoLink,   // a place needs a link
        Full,     // the journal holds the most places it can
        TooLong,  // a field is longer than the window's boxes hold
    };
    enum Field { Name, Link, Comment };
    Kind kind;
    QString text;
    Field field = Name;  // TooLong: the field named
};

// The rules a place meets to join the journal, each said once here.
// Room for one more place beside the `held` ones.
std::optional<Refusal> noRoom(int held);
// The first of `fields`, in that order, longer than a row holds; a caller
// names the fields in the order its boxes show them.
std::optional<Refusal> tooLong(const RowFields& place, std::initializer_list<Refusal::Field> fields = {
                                                           Refusal::Name, Refusal::Link, Refusal::Comment});

class History : public QObject {
    Q_OBJECT
public:
    explicit History(Journal& journal);

    // A step's name for a place: the verb and the place's name, quoted.
    static QString stepText(const QString& verb, const QString& row);

    QUndoStack* stack() { return &stack_; }
    int count() const { return stack_.count(); }
    // Forgets every step: the rows were read again from the file and are
    // what it holds, whatever was changed outside the steps before.
    void clear()
    {
        stack_.clear();
        stack_.setClean();
    }
    // The present step is the one the file holds.
    void markSaved() { stack_.setClean(); }
    bool atSavedStep() const { return stack_.isClean(); }
    // The rows changed. By a step, the stack knows where it stands; outside
    // any (conflict copies merged, an edit of the model itself) no step can
    // take the rows back to the file, so no step is the saved one until the
    // next save or read.
    void rowsChanged()
    {
        if (!stepping_)
            stack_.resetClean();
    }
    void undo() { stack_.undo(); }
    void redo() { stack_.redo(); }

    // The steps, each done at once. `selected` is the row selected when
    // the change is made (-1: none).
    // Rows added at the end (Add, a captured place, an import): the
    // selection stays.
    void append(const QStringList& rows, const QString& text, int selected);
    // Row i replaced: Update, row i selected.
    void replace(int i, const QString& row);
    // The same for one place typed or captured, unless it is refused:
    // the step is named "`verb` "name"".
    std::optional<Refusal> add(const RowFields& place, const QString& verb, int selected);
    std::optional<Refusal> update(int i, const RowFields& place);
    // Row i taken out: Remove; nothing selected after it.
    void remove(int i);
    // Row i moved by `offset` (-1 Up, 1 Down), selected where it goes;
    // false, with no step, when it would leave the list.
    bool move(int i, int offset);
    // The rows put in a new order (see Journal::reorder): a Sort; the
    // selected place stays selected where it goes. An order that changes
    // nothing adds no step.
    void reorder(const QList<int>& order, const QString& text, int selected);
    // Every row replaced by what a save wrote: nothing selected.
    void takeRows(const QStringList& rows, const QString& text);

signals:
    // After an undo or a redo: the row the step had selected, or -1.
    void selectionRestored(int row);

private:
    class Step;
    Journal& journal_;
    QUndoStack stack_;
    bool stepping_ = false;  // a step is being done or undone
};

}  // namespace journal
