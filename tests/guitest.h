#pragma once
// Helpers for widget tests: a scratch start folder, boxes answered without
// a person, a way to act inside a modal dialog once it is up, and the main
// window loaded as at start-up.

#include "platform/commondialogs.h"
#include "platform/globebus.h"
#include "platform/messagebox.h"
#include "platform/shell.h"
#include "startfolder.h"
#include "ui/form1.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace guitest {

// Closes every modal window still up, innermost first, so that a test whose
// check failed inside a dialog returns from the dialog's loop instead of
// waiting there for ever.
inline void closeModals()
{
    for (int guard = 0; guard < 20; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (modal->isVisible())
            modal->hide();
    }
}

// Runs `act` with the modal dialog as soon as one is shown (tried for about
// two seconds). When a check inside `act` fails, whatever is still modal is
// closed, so the test fails instead of hanging; so it does when the dialog
// `act` was given is still open ten seconds later.
inline void whenModal(std::function<void(QWidget*)> act, int triesLeft = 200)
{
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            act(modal);
            if (QTest::currentTestFailed()) {
                closeModals();
                return;
            }
            const QByteArray test = QTest::currentTestFunction();
            QTimer::singleShot(10000, [dialog = QPointer<QWidget>(modal), test] {
                if (dialog && dialog->isVisible() && QApplication::activeModalWidget() == dialog
                    && test == QTest::currentTestFunction()) {
                    QTest::qFail("a modal dialog was still open ten seconds after the test acted on it", __FILE__,
                                 __LINE__);
                    closeModals();
                }
            });
        } else if (triesLeft > 0) {
            whenModal(std::move(act), triesLeft - 1);
        }
    });
}
// A fresh start folder for one test (the process works in it meanwhile),
// where no box, dialog, browser or globe waits for a person.
class StartFolder : public testfolder::StartFolder {
public:
    StartFolder()
    {
        MessageBox::setNonInteractive(true);
        MessageBox::clearHistory();
        CommonDialog::setNonInteractive(true);
        Shell::setNonInteractive(true);
        Shell::clearHistory();
        GlobeBus::setNonInteractive(true);
        GlobeBus::clearHistory();
    }
};

using testfolder::kSettings;
using testfolder::settingsFile;

// Start-up as the program runs it, until the journal read beside it is in
// the list (and what was read is said).
inline void startUp(Form1& form)
{
    form.Form_Load();
    if (!QTest::qWaitFor([&] { return !form.journal()->isOpening(); }, 10000))
        QFAIL("the journal was not read");
}

// The main window started in `start` with `settings` as its settings file.
inline void loadWindow(StartFolder& start, Form1& form, const QByteArray& settings = kSettings)
{
    start.write("velmora.ini", settings);
    startUp(form);
}

}  // namespace guitest
