#pragma once
// The journal that the kill test saves again and again: a full one of
// kMaxRows places in two versions, so that every file has an old and a new
// complete content to be checked against.

#include "journal/row.h"
#include "worldwind/placenames.h"

#include <QStringList>

namespace killsave {

inline QStringList rows(int version)
{
    QStringList out;
    out.reserve(kMaxRows);
    for (int i = 0; i < kMaxRows; ++i)
        out << makeRow(QStringLiteral("Place %1 of version %2 <%3>").arg(i).arg(version).arg(QChar(0x0141 + i % 40)),
                       QStringLiteral("worldwind://goto/world=Earth&lat=%1&lon=%2").arg(i % 90).arg(-(i % 180)),
                       QStringLiteral("comment %1, \"quoted\" & it's %2").arg(i).arg(version));
    return out;
}

inline placenames::LabelFont font(int version)
{
    placenames::LabelFont f;
    f.name = version ? QStringLiteral("times") : QStringLiteral("arial");
    f.size = qint16(10 + version);
    f.bold = version;
    return f;
}

}  // namespace killsave
