#pragma once
// The desktop's globe as it already runs: a Marble on the session bus is
// centred on a place instead of a second one being started. Everything is
// asked without waiting, so a busy or stuck globe never stops the window.
// Tests prepare whether a globe runs and read back where it was sent.

#include <QList>
#include <QString>

#include <functional>

class QObject;

namespace GlobeBus {

// Marble's well-known name and its one object on the bus.
inline constexpr auto kService = "org.kde.marble";
inline constexpr auto kPath = "/Marble";
inline constexpr auto kInterface = "org.kde.marble";

// Which of the bus's names is a running Marble: its well-known name, or one
// of the "org.kde.marble-<pid>" form; the well-known one first. Empty when
// none is.
QString globeAmong(const QStringList& names);

// Looks on the session bus for a running globe and centres it on
// (latitude, longitude) at `zoom` (Marble's zoom: about 1050 shows the
// whole Earth, 2400 a town), then brings its window forward where the
// desktop allows (platform/activation). `done` receives true once the globe took
// the place, false when none runs or it did not answer in time; it is
// called later on the thread of `context`, and not at all once `context`
// is gone.
void centre(double latitude, double longitude, int zoom, QObject* context, std::function<void(bool)> done);

// After the desktop started a globe for a place: waits a while for a
// globe to show up on the session bus and centres it at `zoom`, so that it
// opens on the place at a zoom where a town shows instead of its own.
// Nothing is reported; nothing happens once `context` is gone.
void centreOnceStarted(double latitude, double longitude, int zoom, QObject* context);

// For tests.
struct Call {
    double latitude = 0;
    double longitude = 0;
    int zoom = 0;
    bool onceStarted = false;  // asked through centreOnceStarted
};
// The next centring is answered with `running` (whether a globe took the
// place) and the bus is not asked; the answer still arrives later.
void setNextAnswer(bool running);
// Centrings without a prepared answer find no globe and leave the bus alone.
void setNonInteractive(bool on);
// The centrings asked for while answers are prepared or non-interactive.
QList<Call> history();
void clearHistory();

}  // namespace GlobeBus
