#include "merge.h"

#include <QHash>
#include <QList>
#include <QStringView>

namespace journal {
namespace {

// How the rows of one side stand to the base rows.
struct Side {
    QList<int> sideOfBase;  // the same text on this side, or -1
    QList<int> baseOfSide;  // the same text in the base, or -1: new or edited
    QList<int> editOf;      // by side row: the base row it is an edit of, or -1
    QList<int> editIn;      // by base row: the side row that edits it, or -1
};

// The same text is the same row, taken in order where it repeats.
void matchTexts(const QStringList& base, const QStringList& side, Side& s)
{
    QHash<QStringView, QList<int>> where;
    for (int j = 0; j < side.size(); ++j)
        where[side[j]].append(j);
    QHash<QStringView, int> used;
    for (int k = 0; k < base.size(); ++k) {
        const auto it = where.constFind(base[k]);
        if (it == where.cend())
            continue;
        int& next = used[base[k]];
        if (next >= it->size())
            continue;
        const int j = it->at(next++);
        s.sideOfBase[k] = j;
        s.baseOfSide[j] = k;
    }
}

// Between two rows kept on both sides, in the same order, one base row gone
// and new side rows: the first of them is that row edited, the others are
// new.
void pairEdits(qsizetype baseSize, qsizetype sideSize, Side& s)
{
    int gone = -1, goneCount = 0;
    int before = -1;  // the last kept base row
    for (int k = 0; k <= baseSize; ++k) {
        if (k < baseSize && s.sideOfBase[k] < 0) {
            gone = k;
            ++goneCount;
            continue;
        }
        const int from = before < 0 ? -1 : s.sideOfBase[before];
        const int to = k < baseSize ? s.sideOfBase[k] : int(sideSize);
        if (goneCount == 1 && from < to) {
            int added = -1;
            for (int j = from + 1; j < to && added < 0; ++j)
                if (s.baseOfSide[j] < 0)
                    added = j;
            if (added >= 0) {
                s.editOf[added] = gone;
                s.editIn[gone] = added;
            }
        }
        before = k;
        goneCount = 0;
    }
}

Side sideOf(const QStringList& base, const QStringList& side)
{
    Side s;
    s.sideOfBase.fill(-1, base.size());
    s.editIn.fill(-1, base.size());
    s.baseOfSide.fill(-1, side.size());
    s.editOf.fill(-1, side.size());
    matchTexts(base, side, s);
    pairEdits(base.size(), side.size(), s);
    return s;
}

}  // namespace

Merged merge(const QStringList& base, const QStringList& ours, const QStringList& theirs)
{
    const Side o = sideOf(base, ours);
    const Side t = sideOf(base, theirs);
    Merged m;
    m.rows.reserve(ours.size() + theirs.size());
    QList<bool> placed(theirs.size(), false);
    QHash<QStringView, int> oursNew;  // our new texts: a row both added counts once
    const auto takeTheirs = [&](int j) {
        placed[j] = true;
        m.rows.append(theirs[j]);
        m.added.append(theirs[j]);
    };
    for (int i = 0; i < ours.size(); ++i) {
        const int k = o.baseOfSide[i];
        if (k < 0) {  // ours, new or edited: it stays
            m.rows.append(ours[i]);
            ++oursNew[ours[i]];
            const int edited = o.editOf[i];
            if (const int j = edited < 0 ? -1 : t.editIn[edited]; j >= 0 && !placed[j]) {
                if (theirs[j] == ours[i]) {
                    placed[j] = true;  // the same edit on both sides
                    --oursNew[ours[i]];
                } else {
                    takeTheirs(j);  // theirs follows ours
                }
            }
            continue;
        }
        if (const int j = t.sideOfBase[k]; j >= 0)
            m.rows.append(ours[i]);
        else if (const int e = t.editIn[k]; e >= 0)
            takeTheirs(e);  // their edit of a row we left alone
        else
            m.taken.append(ours[i]);
    }
    for (int j = 0; j < theirs.size(); ++j) {
        if (placed[j] || t.baseOfSide[j] >= 0)
            continue;
        const auto it = oursNew.find(theirs[j]);
        if (it != oursNew.end() && it.value() > 0) {  // added on both sides
            --it.value();
            continue;
        }
        takeTheirs(j);
    }
    return m;
}

}  // namespace journal
