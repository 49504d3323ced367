#include "userfolders.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace userfolders {
namespace {

const QString kProgram = QStringLiteral("velmora");

// The variable's value when it names an absolute folder: relative values
// are to be ignored, as the desktop's base directory rules say.
QString absoluteFromEnvironment(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

bool refuse(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

#ifndef Q_OS_WIN

// A folder only this user can enter: made when missing, else checked
// without following a link, so nobody else can have put it there for us.
bool privateFolder(const QString& folder, QString* why)
{
    const QByteArray path = QFile::encodeName(folder);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return refuse(why, QStringLiteral("the folder %1 cannot be made (%2)")
                               .arg(QDir::toNativeSeparators(folder), qt_error_string(errno)));
    struct stat st {};
    if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return refuse(why, QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(folder)));
    if (st.st_uid != geteuid())
        return refuse(why,
                      QStringLiteral("the folder %1 belongs to another user").arg(QDir::toNativeSeparators(folder)));
    if ((st.st_mode & 077) != 0 && chmod(path.constData(), 0700) != 0)
        return refuse(why, QStringLiteral("the folder %1 is open to other users and cannot be closed (%2)")
                               .arg(QDir::toNativeSeparators(folder), qt_error_string(errno)));
    return true;
}

#endif

}  // namespace

QString runtimeFolder(QString* why)
{
#ifdef Q_OS_WIN
    const QString folder = QDir::tempPath() + QLatin1Char('/') + kProgram + QStringLiteral("-locks");
    if (!QDir().mkpath(folder)) {
        refuse(why, QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(folder)));
        return {};
    }
    return folder;
#else
    const QString base = absoluteFromEnvironment("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        // One folder per user: a shared temporary folder lets anyone make names in it.
        const QString folder = QDir::tempPath() + QLatin1Char('/') + kProgram + QLatin1Char('-')
                               + QString::number(geteuid());
        return privateFolder(folder, why) ? folder : QString();
    }
    const QString folder = base + QLatin1Char('/') + kProgram;
    return privateFolder(folder, why) ? folder : QString();
#endif
}

QString stateFolder(QString* why)
{
    QString base = absoluteFromEnvironment("XDG_STATE_HOME");
    if (base.isEmpty()) {
        // Without a home the record is not kept: never a folder made at "/".
        const QString home = absoluteFromEnvironment("HOME");
        if (home.isEmpty() || home == QDir::rootPath()) {
            refuse(why, QStringLiteral("neither XDG_STATE_HOME nor HOME names a folder"));
            return {};
        }
        base = home + QStringLiteral("/.local/state");
    }
    const QString folder = base + QLatin1Char('/') + kProgram;
    if (!QDir().mkpath(folder)) {
        refuse(why, QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(folder)));
        return {};
    }
    return folder;
}

}  // namespace userfolders
