#pragma once
// The main window most window tests drive: started in a fresh start folder
// on a journal of the given rows, shown and active, with an in-process
// clipboard, and the few ways a user touches it.

#include "dialogs/form2.h"
#include "guitest.h"
#include "journal/journalfile.h"
#include "platform/clipboard.h"
#include "ui/form1.h"
#include "ui/journallist.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace guitest {

// Set before the window is built, so that no run of its capture sees the
// desktop's clipboard.
struct FakeClipboard {
    FakeClipboard()
    {
        Clipboard::setFake(true);
        Clipboard::clearHistory();
    }
    ~FakeClipboard() { Clipboard::setFake(false); }
};

struct ShownWindow {
    explicit ShownWindow(const QStringList& rows)
    {
        start.write("velmora.js", journal::journalBytes(rows));
        loadWindow(start, form);
        form.show();
        if (!QTest::qWaitForWindowActive(&form))
            qWarning("the main window did not become active");
        QTest::qWait(20);  // the capture that goes with showing has run
    }

    Form1& operator*() { return form; }
    Form1* operator->() { return &form; }
    Form2* dialog() { return form.form2(); }

    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    void clickRow(int i)
    {
        JournalList* list = form.List1;
        list->scrollTo(list->model()->index(i, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(i, 0)).center());
    }
    // Update, Remove, Up, Down and Go: on and off together.
    bool selectionButtonsEnabled() const
    {
        const QPushButton* five[] = {form.Command1, form.Command8, form.Command9, form.Command10, form.Command12};
        const auto on = std::count_if(std::begin(five), std::end(five), [](auto* b) { return b->isEnabled(); });
        if (on != 0 && on != 5)
            qWarning("the five selection buttons disagree");
        return on == 5;
    }
    // The link, name and comment boxes.
    QStringList fields() const { return {form.Text1->text(), form.Text2->text(), form.Text3->text()}; }
    bool logSays(const char* text) const
    {
        return !form.logList->findItems(QString::fromUtf8(text), Qt::MatchContains).isEmpty();
    }
    // Back to the main window after a dialog, for its keys.
    void activate()
    {
        QApplication::setActiveWindow(&form);
        if (!QTest::qWaitForWindowActive(&form))
            qWarning("the main window did not become active again");
        form.List1->setFocus();
    }

    FakeClipboard clipboard;
    StartFolder start;
    Form1 form;
};

}  // namespace guitest
