#include "places.h"

#include "journal/row.h"
#include "worldwind/links.h"

#include <QHash>

#include <cmath>
#include <optional>
#include <vector>

namespace exchange {

namespace {

// Positions within a millionth of a degree (about 10 cm) are the same
// place: other programs write six decimals, and a place that went through
// one must not come back as a new one.
bool samePosition(const links::Position& a, const links::Position& b)
{
    constexpr double kSame = 1e-6 + 1e-11;  // and what subtracting degrees may add
    return std::abs(a.latitude - b.latitude) <= kSame && std::abs(a.longitude - b.longitude) <= kSame;
}

}  // namespace

void leaveOutKnown(Import& found, const QStringList& list)
{
    if (list.isEmpty() || found.rows.isEmpty())
        return;
    // The list's places by name (views into its rows), each name's places
    // chained: one look-up a place, names are mostly unique. A link is
    // read for its position only when a name matches and the two links'
    // texts differ: the same text is the same position.
    struct Known {
        QStringView link;
        std::optional<links::Position> at;
        qsizetype next;  // the previous place of the same name, or -1
    };
    std::vector<Known> known;
    known.reserve(size_t(list.size()));
    QHash<QStringView, qsizetype> last;
    last.reserve(list.size());
    for (const QString& row : list) {
        const RowView f = viewRow(row);
        auto slot = last.find(f.name);
        if (slot == last.end())
            slot = last.insert(f.name, -1);
        known.push_back({f.link, std::nullopt, *slot});
        *slot = qsizetype(known.size()) - 1;
    }
    const qsizetype before = found.rows.size();
    found.rows.removeIf([&](const QString& row) {
        const RowView f = viewRow(row);
        const auto it = last.constFind(f.name);
        if (it == last.cend())
            return false;
        std::optional<links::Position> at;
        for (qsizetype k = *it; k >= 0; k = known[size_t(k)].next) {
            Known& candidate = known[size_t(k)];
            if (candidate.link == f.link)
                return true;
            if (!candidate.at)
                candidate.at = exportedPosition(candidate.link);
            if (!at)
                at = exportedPosition(f.link);
            if (samePosition(*candidate.at, *at))
                return true;
        }
        return false;
    });
    found.alreadyInList += int(before - found.rows.size());
}
}  // namespace exchange
