#include "placeorder.h"

#include "journal/row.h"
#include "worldwind/links.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace placeorder {
namespace {

QList<int> identity(qsizetype n)
{
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    return order;
}

}  // namespace

QList<int> byName(const QStringList& rows, const QCollator& collator)
{
    // A key per name once, rather than the collation run twice per comparison.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows.size());
    for (const QString& row : rows)
        keys.push_back(collator.sortKey(viewRow(row).name.toString()));
    QList<int> order = identity(rows.size());
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}

double distanceKm(double lat1, double lon1, double lat2, double lon2)
{
    // Haversine on a sphere of the Earth's mean radius: plenty for an order,
    // and the difference of longitudes needs no care at the antimeridian.
    constexpr double kRadiusKm = 6371.0088;
    constexpr double kRad = 3.14159265358979323846 / 180;
    const double dLat = (lat2 - lat1) * kRad;
    const double dLon = (lon2 - lon1) * kRad;
    const double h = std::pow(std::sin(dLat / 2), 2)
                     + std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * std::pow(std::sin(dLon / 2), 2);
    return 2 * kRadiusKm * std::asin(std::min(1.0, std::sqrt(h)));
}

QList<int> byDistance(const QStringList& rows, QStringView link)
{
    const std::optional<links::Position> from = links::position(link);
    if (!from)
        return {};
    std::vector<double> km;
    km.reserve(rows.size());
    for (const QString& row : rows) {
        const std::optional<links::Position> p = links::position(viewRow(row).link);
        km.push_back(p ? distanceKm(from->latitude, from->longitude, p->latitude, p->longitude)
                       : std::numeric_limits<double>::infinity());
    }
    QList<int> order = identity(rows.size());
    std::stable_sort(order.begin(), order.end(), [&km](int a, int b) { return km[a] < km[b]; });
    return order;
}

}  // namespace placeorder
