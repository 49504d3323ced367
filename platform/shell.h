#pragma once
// The desktop shell: open a file, a page or a link with its default
// program ("open" verb), and start a program without waiting for it.
// Results follow the Windows shell's convention: above 32 is success,
// 32 or below a failure code (2 file not found, 3 path not found,
// 31 no program associated, ...). Tests prepare results and read back what
// would have been opened, so no test starts a browser or World Wind.

#include <QList>
#include <QString>

namespace Shell {

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL
inline constexpr int kOpened = 33;     // what a successful open reports

// Opens `target` with the "open" verb; `show` is handed through where the
// platform has a counterpart.
int open(const QString& target, int show);
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

// The platform's own open, without the test hooks: ShellExecuteA on
// Windows; elsewhere the checks of a local file or a scheme's handler, then
// xdg-open started detached with the target as its one argument.
int systemOpen(const QString& target, int show);

// For tests.
struct Call {
    enum Kind { Open, Start } kind;
    QString target;
    int show;
};
// The next open (or start) is answered with `code` and nothing is opened;
// a start succeeds when the code is above 32.
void setNextResult(int code);
// Opens and starts without a prepared result succeed and open nothing.
void setNonInteractive(bool on);
QList<Call> history();
void clearHistory();

}  // namespace Shell
