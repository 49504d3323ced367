#pragma once
// Bringing another program's window forward, where the desktop lets a
// program ask: on X11 the window manager is asked to activate the window
// (a minimised one comes back); on Wayland nothing is asked, as there a
// program may not raise another. Tests read back what was asked.

#include <QList>

namespace Activation {

// Asks the window manager to activate the window of process `pid`; false
// when nothing was asked (no X11 display, no window of that process among
// the managed ones, no window manager that lists them).
bool bringForward(qint64 pid);

// For tests: nothing is asked of the desktop, the processes are recorded.
void setNonInteractive(bool on);
QList<qint64> history();
void clearHistory();

}  // namespace Activation
