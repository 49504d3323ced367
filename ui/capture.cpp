// The clipboard capture and what runs it: a location copied in a globe
// becomes a new entry when the user comes back to the main window.

#include "form1.h"

#include "dialogs/form2.h"
#include "exchange/copied.h"
#include "journallist.h"
#include "platform/clipboard.h"
#include "platform/messagebox.h"

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
    if (capture_.takeMissed())
        schedulePaintHook();
}

capture::Seen Form1::clipboardNow() const
{
    capture::Seen seen;
    if (Clipboard::hasText())
        seen.offer.text = Clipboard::text();
    if (capture::Policy::wantsFlavours(seen.offer.text)) {
        seen.offer.kml = Clipboard::data(QLatin1String(exchange::kKmlFlavour));
        seen.offer.gpx = Clipboard::data(QLatin1String(exchange::kGpxFlavour));
        seen.offer.uriList = Clipboard::data(QLatin1String(exchange::kUriListFlavour));
    }
    seen.refilled = Clipboard::refilledSinceCleared();
    return seen;
}

void Form1::getUrlFromClipboard()
{
    const capture::Decision d = capture_.look(journal_->isBusy(), journal_->count(), [this] { return clipboardNow(); });
    switch (d.kind) {
    case capture::Decision::Wait: return;
    case capture::Decision::Nothing: askClipboardAgainLater(); return;
    case capture::Decision::Refused:
    case capture::Decision::Offer: break;
    }
    log(QStringLiteral("getting url from clipboard "));
    Clipboard::clear();  // first: a repaint under the message or the dialog would find it again
    if (d.kind == capture::Decision::Offer) {
        offerCaptured(d);
        return;
    }
    if (d.refusal.kind == journal::Refusal::Full)
        ++fullRefusals_;
    MessageBox::information(this, d.refusal.text);
}

void Form1::offerCaptured(const capture::Decision& offered)
{
    List1->clearSelectedRow();
    Command1->setEnabled(false);
    Command8->setEnabled(false);
    Form2* dialog = form2();
    dialog->Text1->setText(offered.found.link);
    dialog->Text2->setText(offered.name());
    dialog->Text3->setText(QString());
    dialog->Option1->setChecked(true);
    // Run again while the dialog is open, the capture only refills it; the
    // run that showed it adds the entry once it is confirmed.
    if (!dialog->isVisible())
        dialog->showModal();
    if (dialog->add)
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
