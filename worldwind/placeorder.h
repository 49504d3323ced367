#pragma once
// Orders of the journal's places for the Sort commands: by name in a
// language's collation, or by distance from a place. Both are stable
// (places that compare equal keep their order) and give the order as the
// journal's reorder takes it: the k-th place afterwards is row order[k].

#include <QCollator>
#include <QList>
#include <QStringList>

namespace placeorder {

// By name as `collator` compares names (the user's locale in the window).
QList<int> byName(const QStringList& rows, const QCollator& collator);

// By distance on the globe from where `link` points, nearest first; places
// without a position of their own go last. Nothing when `link` has none.
QList<int> byDistance(const QStringList& rows, QStringView link);

// Kilometres along the globe between two points in degrees.
double distanceKm(double lat1, double lon1, double lat2, double lon2);

}  // namespace placeorder
