#pragma once
// The desktop shell: open a file, a page or a link with its default
// program ("open" verb), and start a program without waiting for it.
// Results follow the Windows shell's convention: above 32 is success,
// 32 or below a failure code (2 file not found, 3 path not found,
// 31 no program associated, ...). Tests prepare results and read back what
// would have been opened, so no test starts a browser or World Wind.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace Shell {

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL
inline constexpr int kOpened = 33;     // what a successful open reports

// Opens `target` with the "open" verb; `show` is handed through where the
// platform has a counterpart. `fallbacks` names other forms of the same
// target, tried in order only when the desktop has no program for the
// target (nor for an earlier fallback); with none for any, the code is 31.
// The desktop is asked on a worker thread, so a slow lookup never stops
// the window; `done` receives the code later on the thread of `context`,
// and not at all once `context` is gone.
void open(const QString& target, int show, const QStringList& fallbacks, QObject* context,
          std::function<void(int)> done);
// Starts `program` in a normal window, without waiting; false when it
// could not be started.
bool start(const QString& program);

// Whether `code` reports success (above 32) rather than a failure.
inline bool succeeded(int code)
{
    return code > 32;
}

// The text shown for a failure code; codes the shell documents no text for
// give their number.
QString errorText(int code);

// The platform's own open, without the test hooks, waiting for the answer:
// ShellExecuteA on Windows (`fallbacks` are for the other desktops, where
// World Wind does not run); elsewhere the checks of a local file or a
// scheme's handler, then the desktop's program for it started the way its
// desktop entry says, never through a shell. A link's program whose entry
// takes files only would start without the link: that is code 27, and
// nothing is started.
int systemOpen(const QString& target, int show, const QStringList& fallbacks = {});

// For tests.
struct Call {
    enum Kind { Open, Start } kind;
    QString target;
    int show;
    QStringList fallbacks;
};
// The next open (or start) is answered with `code` and nothing is opened;
// a start succeeds when the code is above 32. An open's prepared answer
// still arrives later, as the desktop's would.
void setNextResult(int code);
// Opens and starts without a prepared result succeed and open nothing.
void setNonInteractive(bool on);
// The calls made while results are prepared or opens are non-interactive.
QList<Call> history();
void clearHistory();

}  // namespace Shell
