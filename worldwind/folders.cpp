#include "folders.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace wwfolders {

QString joinExisting(const QString& folder, const QString& name)
{
    const QString exact = paths::join(folder, name);
#ifndef Q_OS_WIN
    if (QFileInfo(paths::local(exact)).isDir())
        return exact;
    // Sorted, so that of several spellings the same one wins every time.
    const QStringList present =
        QDir(paths::local(folder)).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& candidate : present)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return paths::join(folder, candidate);
#endif
    return exact;
}

}  // namespace wwfolders
