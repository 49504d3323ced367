// Finding a place in the list and sorting the list: the Edit menu's Find,
// Find next and Find previous, and its two Sort commands.

#include "form1.h"

#include "dialogs/findbox.h"
#include "journal/row.h"
#include "journallist.h"
#include "platform/messagebox.h"
#include "worldwind/finder.h"
#include "worldwind/placeorder.h"

#include <QAction>
#include <QCollator>
#include <QLineEdit>
#include <QMenu>
#include <QUndoStack>

void Form1::createFindSortMenu()
{
    finder_ = new finder::Finder(*journal_, this);
    mnuEdit->addSeparator();
    mnuEditFind = mnuEdit->addAction(QStringLiteral("Find..."), this, &Form1::mnuEditFind_Click);
    mnuEditFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuEditFindNext = mnuEdit->addAction(QStringLiteral("Find next"), this,
                                         [this] { findStep(findBox()->findText->text(), false, false); });
    mnuEditFindNext->setShortcut(QKeySequence(Qt::Key_F3));
    mnuEditFindPrevious = mnuEdit->addAction(QStringLiteral("Find previous"), this,
                                             [this] { findStep(findBox()->findText->text(), true, false); });
    mnuEditFindPrevious->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    mnuEdit->addSeparator();
    mnuEditSortName = mnuEdit->addAction(QStringLiteral("Sort by name"), this, &Form1::mnuEditSortName_Click);
    mnuEditSortDistance = mnuEdit->addAction(QStringLiteral("Sort by distance from the selected place"), this,
                                             &Form1::mnuEditSortDistance_Click);
}

FindBox* Form1::findBox()
{
    if (!findBox_) {
        findBox_ = new FindBox(this);
        connect(findBox_, &FindBox::findRequested, this, &Form1::findStep);
        // Escape: back to the list, the found place still selected, so
        // that its keys and the buttons act on it.
        connect(findBox_, &QDialog::rejected, this, [this] {
            activateWindow();
            List1->setFocus();
        });
    }
    return findBox_;
}

void Form1::mnuEditFind_Click()
{
    findBox()->openForTyping();
}

void Form1::findStep(const QString& text, bool backward, bool typing)
{
    if (text.isEmpty()) {
        findBox()->openForTyping();  // F3 before anything was asked for
        findBox()->showNote(QString());
        return;
    }
    journal_->finishOpening();  // the places being read are searched too
    // While typing, the selected place is kept as long as it still matches.
    const int selected = List1->selectedRow();
    const finder::Finder::Found found = finder_->next(text, typing ? selected - 1 : selected, backward);
    if (found.row < 0) {
        showFindNote(QStringLiteral("No place matches"));
        return;
    }
    showFindNote(!found.wrapped ? QString()
                 : backward     ? QStringLiteral("Passed the top: went on from the end")
                                : QStringLiteral("Passed the end: went on from the top"));
    selectFound(found.row);
}

void Form1::showFindNote(const QString& note)
{
    // F3 in the main window with the box closed: a note brings it back.
    if (!note.isEmpty() && !findBox()->isVisible())
        findBox()->show();
    findBox()->showNote(note);
}

void Form1::selectFound(int row)
{
    // As if clicked: the fields are filled and the buttons enabled even when
    // the row was selected already.
    List1->selectRow(row);
    List1->scrollTo(journal_->index(row), QAbstractItemView::EnsureVisible);
    List1_Click();
}

void Form1::sortBy(const QList<int>& order, const QString& text)
{
    journal_->history().reorder(order, text, List1->selectedRow());
}

void Form1::mnuEditSortName_Click()
{
    journal_->finishOpening();
    sortBy(placeorder::byName(journal_->rows(), QCollator(QLocale::system())), QStringLiteral("Sort by name"));
}

void Form1::mnuEditSortDistance_Click()
{
    journal_->finishOpening();
    const int i = List1->selectedRow();
    if (i < 0) {
        MessageBox::information(this, QStringLiteral("Choose the place to sort by distance from"));
        return;
    }
    const QString& from = journal_->row(i);
    const QList<int> order = placeorder::byDistance(journal_->rows(), viewRow(from).link);
    if (order.isEmpty()) {
        MessageBox::information(this, QStringLiteral("The selected place has no position to sort by distance from"));
        return;
    }
    sortBy(order, journal::History::stepText(QStringLiteral("Sort by distance from"), from));
}
