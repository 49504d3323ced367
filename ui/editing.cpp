// Selecting an entry and the commands that edit the journal: Update, Add,
// Remove, Up, Down and Clear, and the rule that switches the buttons which
// act on the selected entry.

#include "form1.h"

#include "dialogs/form2.h"
#include "journal/row.h"
#include "journallist.h"
#include "platform/clipboard.h"
#include "platform/messagebox.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

void Form1::connectEditingCommands()
{
    // A click on the selected row loads it again, as a click on another does.
    connect(List1->selectionModel(), &QItemSelectionModel::selectionChanged, this, &Form1::List1_Click);
    connect(List1, &QAbstractItemView::clicked, this, &Form1::List1_Click);
    connect(qApp, &QApplication::focusChanged, this, &Form1::focusMoved);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(List1, &JournalList::selectionClearedByUser, this, &Form1::List1_Validate);
    connectListKeys();
}

void Form1::connectListKeys()
{
    // Tab leaves the list and so ends the selection: the commands on the
    // selected entry have keys of their own there.
    const auto key = [this](QKeySequence keys, void (Form1::*command)()) {
        connect(new QShortcut(keys, List1, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated, this,
                [this, command] {
                    if (List1->selectedRow() >= 0)
                        (this->*command)();
                });
    };
    key(QKeySequence(Qt::Key_Delete), &Form1::removeByKey);
    key(QKeySequence(Qt::CTRL | Qt::Key_Up), &Form1::Command9_Click);
    key(QKeySequence(Qt::CTRL | Qt::Key_Down), &Form1::Command10_Click);
    key(QKeySequence(Qt::Key_Return), &Form1::Command12_Click);
    key(QKeySequence(Qt::Key_Enter), &Form1::Command12_Click);
}

void Form1::removeByKey()
{
    Command8_Click();
    List1_Validate();  // the focus stays in the list: no selection left for the buttons
}

void Form1::setSelectionButtons(bool enabled)
{
    for (QPushButton* b : {Command1, Command8, Command9, Command10, Command12})
        b->setEnabled(enabled);
}

void Form1::List1_Click()
{
    const int i = List1->selectedRow();
    if (i < 0)
        return;
    setSelectionButtons(true);
    const RowFields entry = journal_->place(i);
    Text2->setText(entry.name);
    Text1->setText(entry.link);
    Text3->setText(entry.comment);
}

void Form1::List1_Validate()
{
    setSelectionButtons(false);
}

bool Form1::endsSelection(const QWidget* w) const
{
    for (const QWidget* c :
         std::initializer_list<const QWidget*>{Command1, Command8, Command7, Command5, Command11, Command6, logList})
        if (w == c)
            return true;
    return false;
}

void Form1::focusMoved(QWidget* old, QWidget* now)
{
    if (now == List1) {
        leftList_ = false;
        return;
    }
    if (old == List1)
        leftList_ = true;
    // Controls that keep the selection, and other windows, leave it pending.
    if (!leftList_ || !now || !endsSelection(now))
        return;
    leftList_ = false;
    endSelectionAfter(now);
}

void Form1::endSelectionAfter(QWidget* control)
{
    // The control that took the focus still does its own work first: Update
    // or Remove pressed right after selecting acts on the selected entry.
    // A mouse press gives the focus before the button is down, so look once
    // the press has been handled.
    QTimer::singleShot(0, this, [this, control = QPointer<QWidget>(control)] {
        auto* button = qobject_cast<QAbstractButton*>(control.data());
        if (button && button->isDown())
            connect(button, &QAbstractButton::released, this, &Form1::List1_Validate,
                    Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        else
            List1_Validate();
    });
}

bool Form1::refuseWhenFull()
{
    const std::optional<journal::Refusal> why = journal::noRoom(journal_->count());
    if (why) {
        ++fullRefusals_;
        MessageBox::information(this, why->text);
    }
    return why.has_value();
}

void Form1::showRestoredSelection(int row)
{
    if (row < 0) {
        List1->clearSelectedRow();
        List1_Validate();
        resetEntryFields();
        return;
    }
    List1->selectRow(row);
    List1_Click();  // also when the row was selected already: the fields show its text now
}

void Form1::appendEntry(const QString& name, const QString& link, const QString& comment, bool captured)
{
    const std::optional<journal::Refusal> why = journal_->history().add(
        {name, link, comment}, captured ? QStringLiteral("Add copied place") : QStringLiteral("Add"),
        List1->selectedRow());
    if (!why)
        return;
    if (why->kind == journal::Refusal::Full)
        ++fullRefusals_;
    MessageBox::information(this, why->text);
}

void Form1::Command1_Click()
{
    const int i = List1->selectedRow();
    if (i < 0) {
        MessageBox::information(this, QStringLiteral("Choose an entry to modify"));
        return;
    }
    if (const auto why = journal_->history().update(i, {Text2->text(), Text1->text(), Text3->text()}))
        MessageBox::information(this, why->text);
}

void Form1::Command7_Click()
{
    const int refusals = fullRefusals_;
    repaintNow();  // a location waiting on the clipboard gets its own dialog first
    if (fullRefusals_ != refusals || refuseWhenFull())
        return;
    Form2* dialog = form2();
    dialog->showModal();
    if (!dialog->add)
        return;
    appendEntry(dialog->Text2->text(), dialog->Text1->text(), dialog->Text3->text(), false);
}

void Form1::Command8_Click()
{
    const int i = List1->selectedRow();
    if (i < 0)
        return;
    // The selection goes first: cleared after the removal, it would wait
    // for the whole list to be laid out again.
    List1->clearSelectedRow();
    journal_->history().remove(i);
    resetEntryFields();
}

void Form1::Command9_Click()
{
    swapWithSelected(-1);
}

void Form1::Command10_Click()
{
    swapWithSelected(1);
}

void Form1::swapWithSelected(int offset)
{
    // The moved entry becomes the selected one and fills the fields again;
    // the first row goes no higher, the last no lower.
    const int i = List1->selectedRow();
    if (journal_->history().move(i, offset))
        List1->selectRow(i + offset);
}

void Form1::Command5_Click()
{
    if (capture_.takeWaiting(clipboardNow()))
        Clipboard::clear();
    resetEntryFields();
}
