#pragma once
// What the launch commands hand to the desktop. Only location links leave
// the program as places to show (a journal file may say anything), and a
// place goes to whichever globe the desktop has.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace launch {

// Whether `target` is a place to show: a "worldwind://" link (exactly so,
// as links::isLocationLink) or a "geo:" URI (the scheme in any case).
bool isPlaceLink(QStringView target);

// Why `target` is not handed over, naming it.
QString refusal(QStringView target);

// The forms of a place link to try before the link itself. Away from
// Windows, where World Wind does not run, a worldwind:// link whose
// position can be read goes first as "geo:lat,lon", which every globe of
// the desktop reads; World Wind on Windows takes the link itself.
QStringList preferredForms(const QString& link);

}  // namespace launch
