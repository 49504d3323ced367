// The clipboard capture and what runs it: a location copied in a globe
// becomes a new entry when the user comes back to the main window.

#include "form1.h"

#include "dialogs/form2.h"
#include "exchange/copied.h"
#include "journal/row.h"
#include "journallist.h"
#include "platform/clipboard.h"
#include "platform/messagebox.h"
#include "worldwind/links.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::Drop: return true;
    default: return false;
    }
}

}  // namespace

bool Form1::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        // Coming back to the window runs the capture too.
        schedulePaintHook();
        break;
    case QEvent::Show:
    case QEvent::WinIdChange: watchExposure(); break;
    default: break;
    }
    return QMainWindow::event(event);
}

void Form1::watchExposure()
{
    // Qt keeps a picture of the window: uncovering it is an expose event of
    // the top-level window that never reaches a paint event of ours.
    QWindow* window = windowHandle();
    if (!window || window == watchedWindow_)
        return;
    window->installEventFilter(this);
    watchedWindow_ = window;
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (journal_->isOpening() && isUserInput(event->type()))
        journal_->finishOpening();
    if (watched == watchedWindow_ && event->type() == QEvent::Expose && watchedWindow_->isExposed())
        schedulePaintHook();
    return QMainWindow::eventFilter(watched, event);
}

void Form1::schedulePaintHook()
{
    // The capture may open a modal dialog, which must not happen inside a
    // paint or expose event: it runs right after, once per burst.
    if (paintHookPending_)
        return;
    paintHookPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (paintHookPending_)
            runPaintHook();
    });
}

void Form1::runPaintHook()
{
    paintHookPending_ = false;
    Form_Paint();
}

void Form1::repaintNow()
{
    client_->repaint();  // its paint event only schedules the hook...
    runPaintHook();      // ...which runs now, before the caller goes on
}

void Form1::Form_Paint()
{
    ++paintHookRuns_;
    getUrlFromClipboard();
}

void Form1::captureAfterHold()
{
    if (!captureMissed_)
        return;
    captureMissed_ = false;
    schedulePaintHook();
}

std::optional<exchange::CopiedLocation> Form1::waitingLocation() const
{
    exchange::ClipboardOffer offer;
    if (Clipboard::hasText())
        offer.text = Clipboard::text();
    if (!offer.text || !links::isLocationLink(*offer.text)) {
        offer.kml = Clipboard::data(QLatin1String(exchange::kKmlFlavour));
        offer.gpx = Clipboard::data(QLatin1String(exchange::kGpxFlavour));
        offer.uriList = Clipboard::data(QLatin1String(exchange::kUriListFlavour));
    }
    std::optional<exchange::CopiedLocation> found = exchange::copiedLocation(offer);
    // A clipboard manager gives back what we just took: taking it again
    // would reopen the dialog for ever.
    if (found && found->link == takenLink_ && found->name == takenName_ && Clipboard::refilledSinceCleared())
        return std::nullopt;
    return found;
}

void Form1::takeFromClipboard(const exchange::CopiedLocation& found)
{
    takenLink_ = found.link;
    takenName_ = found.name;
    Clipboard::clear();
}

void Form1::getUrlFromClipboard()
{
    // A place added while a save or reload runs would be lost: it waits.
    if (journal_->isBusy()) {
        captureMissed_ = true;
        return;
    }
    const std::optional<exchange::CopiedLocation> found = waitingLocation();
    if (!found) {
        askClipboardAgainLater();
        return;
    }
    log(QStringLiteral("getting url from clipboard "));
    if (const QString why = exchange::refusal(*found); !why.isEmpty()) {
        takeFromClipboard(*found);  // first: a repaint under the message would say it again
        MessageBox::information(this, why);
        return;
    }
    if (!journal::Journal::hasRoom(journal_->count())) {
        takeFromClipboard(*found);  // first: a repaint under the message would say it again
        refuseWhenFull();
        return;
    }
    List1->clearSelectedRow();
    Command1->setEnabled(false);
    Command8->setEnabled(false);
    Form2* dialog = form2();
    fillForCapturedLink(dialog, *found);
    takeFromClipboard(*found);
    // Run again while the dialog is open, the capture only refills it; the
    // run that showed it adds the entry once it is confirmed.
    if (!dialog->isVisible())
        dialog->showModal();
    if (!dialog->add)
        return;
    appendEntry(dialog->Text2->text(), dialog->Text1->text(), dialog->Text3->text(), true);
}

void Form1::askClipboardAgainLater()
{
    const qint64 ms = Clipboard::askAgainInMs();
    if (ms <= 0 || askAgainPending_)
        return;
    askAgainPending_ = true;
    QTimer::singleShot(ms, this, [this] {
        askAgainPending_ = false;
        schedulePaintHook();
    });
}

void Form1::fillForCapturedLink(Form2* dialog, const exchange::CopiedLocation& found)
{
    dialog->Text1->setText(found.link);
    dialog->Text2->setText(found.name.isEmpty() ? QStringLiteral("<Enter a name>") : found.name);
    dialog->Text3->setText(QString());
    dialog->Option1->setChecked(true);
}
