#pragma once
// What the launch commands hand to the desktop. Only location links leave
// the program as places to show (a journal file may say anything), and a
// place goes to the globe that is open, else to the program for
// worldwind: links, else to the program for geo: links.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

class QObject;

namespace launch {

// Whether `target` is a place to show: a "worldwind://" link (exactly so,
// as links::isLocationLink) or a geo: URI as RFC 5870 writes one (the
// scheme in any case), whole: no blanks, quotes, control, format,
// bidirectional or other invisible characters, no lone surrogates. Anything else could reach the program as
// an option ("geo:--help") or a forged line of its output.
bool isPlaceLink(QStringView target);

// Why `target` is not handed over, naming it.
QString refusal(QStringView target);

// The forms of a place link tried only when the desktop has no program for
// the link itself. Away from Windows, where World Wind does not run, a
// worldwind:// link whose position can be read falls back to
// "geo:lat,lon", which every globe of the desktop reads. The start link
// has none: "Start WorldWind" starts the program for worldwind: links.
QStringList fallbackForms(const QString& link);

// Marble's zoom at which a town fills the view (some 25 km across), and
// the one of its whole Earth.
inline constexpr int kTownZoom = 2400;
inline constexpr int kEarthZoom = 1050;

// Where a globe that already runs is sent for `target`: the place of a
// location link or geo: URI at a town's zoom, the whole Earth for the
// start link. Nothing for any other target.
struct GlobeView {
    double latitude = 0;
    double longitude = 0;
    int zoom = kTownZoom;
};
std::optional<GlobeView> globeView(const QString& target);

// Opens `target` as the shell's "open" verb does, except that a place is
// first shown on the globe that is open, if one is (then nothing is
// started and the code is a success). `done` receives the code later on
// the thread of `context`, and not at all once `context` is gone.
void open(const QString& target, int show, QObject* context, std::function<void(int)> done);

}  // namespace launch
