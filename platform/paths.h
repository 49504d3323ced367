#pragma once
// Folders are stored as the user typed them (Windows style, ".\" by
// default) and every user of a folder appends "\" and a file name itself.
// On other systems a backslash in such a joined path is a folder separator.

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace paths {

// folder + "\" + name, the program's one way of joining. An empty folder
// setting is the start folder ".\", never the root of the file system
// that "" + "\" + name would give.
inline QString join(const QString& folder, const QString& name)
{
    return (folder.isEmpty() ? QStringLiteral(".") : folder) + QLatin1Char('\\') + name;
}

// The joined path as the local file system wants it.
inline QString local(const QString& joined)
{
#ifdef Q_OS_WIN
    return joined;
#else
    QString p = joined;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
#endif
}

// A file as the user should look for it in a message: absolute, cleaned,
// with the local separators.
inline QString shown(const QString& joined)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(local(joined)).absoluteFilePath()));
}

}  // namespace paths
