#include "writeturn.h"

#include "journalfile.h"
#include "platform/paths.h"
#include "platform/userfolders.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QThread>

#include <chrono>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace journal {

namespace {

// Far longer than any save, which takes seconds even for a full journal:
// something at the lock's path that no writer can hold (a pipe, a link, a
// folder) is removed once it is this old.
constexpr auto kStaleLockTime = std::chrono::minutes(3);

QString busyText(qint64 pid)
{
    return pid > 0 ? QStringLiteral("another process of the program (process %1) is writing it").arg(pid)
                   : QStringLiteral("another process of the program is writing it");
}

#ifndef Q_OS_WIN

QString folderOf(const QString& lockPath)
{
    return paths::shown(QFileInfo(lockPath).absolutePath());
}

// What stands at the lock's path when it is no lock file of the program.
QString kindOf(const struct stat& st, const QByteArray& path)
{
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a folder");
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        if (stat(path.constData(), &target) == 0)
            return QStringLiteral("a symbolic link");
        return errno == ELOOP ? QStringLiteral("a symbolic link that leads round in a loop")
                              : QStringLiteral("a symbolic link that leads nowhere");
    }
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("a named pipe");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("a device");
    if (st.st_uid != geteuid())
        return QStringLiteral("a file of another user that the program cannot open");
    return QStringLiteral("a file the program cannot open");
}

enum class Attempt { Taken, Held, Again, Refused };

// The process that holds the lock, as it wrote itself into the file.
qint64 holderOf(int fd)
{
    char text[32] = {};
    const ssize_t got = pread(fd, text, sizeof text - 1, 0);
    return got > 0 ? std::strtoll(text, nullptr, 10) : 0;
}

// Something unusable at the lock's path: removed when that is safe (a
// name only, or an empty folder, old enough that no writer can be at it),
// else the reason.
Attempt unusable(const QByteArray& path, const QString& shown, QString& why)
{
    struct stat st {};
    if (lstat(path.constData(), &st) != 0)
        return Attempt::Again;  // gone meanwhile
    const auto age = std::chrono::seconds(time(nullptr) - st.st_mtime);
    const bool device = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    if (age > kStaleLockTime && !device) {
        if ((S_ISDIR(st.st_mode) ? rmdir(path.constData()) : unlink(path.constData())) == 0)
            return Attempt::Again;
        why = QStringLiteral("its lock file %1 is %2, left there %3 minutes ago, and cannot be removed (%4); remove "
                             "it and try again")
                  .arg(shown, kindOf(st, path))
                  .arg(age.count() / 60)
                  .arg(qt_error_string(errno));
        return Attempt::Refused;
    }
    why = QStringLiteral("its lock file %1 is %2, not a lock file of the program; remove it and try again")
              .arg(shown, kindOf(st, path));
    return Attempt::Refused;
}

// One try at the lock: opened without following a link or waiting on a
// pipe, its type checked on the open handle, then locked without waiting.
Attempt attempt(const QString& lockPath, int& fd, QString& why)
{
    const QByteArray path = QFile::encodeName(lockPath);
    const QString shown = paths::shown(lockPath);
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int handle = open(path.constData(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0644);
    int error = errno;
    const bool created = handle >= 0;
    if (handle < 0 && error == EEXIST) {
        handle = open(path.constData(), O_RDWR | kFlags);
        error = errno;
    }
    // Another user's lock file left in a shared folder can still be locked.
    if (handle < 0 && (error == EACCES || error == EPERM || error == EROFS))
        handle = open(path.constData(), O_RDONLY | kFlags);
    if (handle < 0) {
        struct stat st {};
        if (lstat(path.constData(), &st) == 0)
            return unusable(path, shown, why);
        if (error == ENOENT || error == EACCES || error == EPERM || error == EROFS)
            why = QStringLiteral("the lock folder %1 does not let the program create its lock (%2)")
                      .arg(folderOf(lockPath), qt_error_string(error));
        else
            why = QStringLiteral("its lock file %1 cannot be made (%2)").arg(shown, qt_error_string(error));
        return Attempt::Refused;
    }
    struct stat opened {};
    if (fstat(handle, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(handle);
        return unusable(path, shown, why);
    }
    if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        if (lockError == EWOULDBLOCK) {
            why = busyText(holderOf(handle));
            close(handle);
            return Attempt::Held;
        }
        // A file system without such locks: the file's maker holds the
        // turn, and a file older than any save is a dead writer's.
        const bool unsupported = lockError == ENOLCK || lockError == EOPNOTSUPP || lockError == ENOSYS
                                 || lockError == EINVAL;
        if (!unsupported) {
            close(handle);
            why = QStringLiteral("its lock file %1 cannot be locked (%2)").arg(shown, qt_error_string(lockError));
            return Attempt::Refused;
        }
        if (!created) {
            const auto age = std::chrono::seconds(time(nullptr) - opened.st_mtime);
            why = busyText(holderOf(handle));
            close(handle);
            return age > kStaleLockTime && unlink(path.constData()) == 0 ? Attempt::Again : Attempt::Held;
        }
    }
    // The holder before us removes the file as it lets go: what we locked
    // must still be what the path names.
    struct stat now {};
    if (lstat(path.constData(), &now) != 0 || now.st_ino != opened.st_ino || now.st_dev != opened.st_dev) {
        close(handle);
        return Attempt::Again;
    }
    const QByteArray pid = QByteArray::number(qint64(getpid())) + '\n';
    if (ftruncate(handle, 0) == 0)
        (void)!pwrite(handle, pid.constData(), size_t(pid.size()), 0);
    fd = handle;
    return Attempt::Taken;
}

#endif

}  // namespace

WriteTurn::WriteTurn(const QString& journalPath) : journalPath_(journalPath)
{}

QString WriteTurn::lockPathFor(const QString& journalPath, QString* why)
{
    const QString file = resolvedPath(journalPath);
    const QFileInfo resolved(file);
    const QString folder = resolved.absolutePath();
    // The name's hash keeps the lock's name short and plain, whatever the journal's.
    const QByteArray name =
        QCryptographicHash::hash(QFile::encodeName(resolved.fileName()), QCryptographicHash::Sha256).toHex().left(16);
#ifndef Q_OS_WIN
    struct stat st {};
    if (stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (why)
            *why = QStringLiteral("the folder %1 does not exist").arg(paths::shown(folder));
        return {};
    }
    const QString key = QStringLiteral("%1-%2-%3")
                            .arg(quint64(st.st_dev), 0, 16)
                            .arg(quint64(st.st_ino), 0, 16)
                            .arg(QString::fromLatin1(name));
#else
    if (!QFileInfo(folder).isDir()) {
        if (why)
            *why = QStringLiteral("the folder %1 does not exist").arg(paths::shown(folder));
        return {};
    }
    const QString key = QString::fromLatin1(
        QCryptographicHash::hash(file.toLower().toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
#endif
    QString unusable;
    const QString runtime = userfolders::runtimeFolder(&unusable);
    if (runtime.isEmpty()) {
        if (why)
            *why = QStringLiteral("no lock can be made: %1").arg(unusable);
        return {};
    }
    return runtime + QStringLiteral("/journal-") + key + QStringLiteral(".lock");
}

WriteTurn::~WriteTurn()
{
    release();
}

#ifndef Q_OS_WIN

bool WriteTurn::take(int waitMs, QString* why)
{
    if (fd_ >= 0)
        return true;
    busy_ = false;
    if (lockPath_.isEmpty())
        lockPath_ = lockPathFor(journalPath_, why);
    if (lockPath_.isEmpty())
        return false;
    QElapsedTimer clock;
    clock.start();
    QString reason;
    busy_ = false;
    for (;;) {
        switch (attempt(lockPath_, fd_, reason)) {
        case Attempt::Taken: return true;
        case Attempt::Refused:
            if (why)
                *why = reason;
            return false;
        case Attempt::Again:
            if (clock.elapsed() < waitMs)
                continue;
            break;
        case Attempt::Held:
            if (clock.elapsed() >= waitMs)
                break;
            // Short, uneven waits: writers that wake together would collide again.
            QThread::msleep(5 + QRandomGenerator::global()->bounded(20));
            continue;
        }
        break;
    }
    busy_ = true;
    if (why)
        *why = reason;
    return false;
}

void WriteTurn::release()
{
    if (fd_ < 0)
        return;
    // Removed while still locked, and only when it is still ours: a writer
    // waiting on the old file sees it gone and tries again.
    const QByteArray path = QFile::encodeName(lockPath_);
    struct stat mine {
    }, there{};
    if (fstat(fd_, &mine) == 0 && lstat(path.constData(), &there) == 0 && mine.st_ino == there.st_ino
        && mine.st_dev == there.st_dev)
        unlink(path.constData());
    close(fd_);
    fd_ = -1;
}

#else

bool WriteTurn::take(int waitMs, QString* why)
{
    busy_ = false;
    if (lockPath_.isEmpty())
        lockPath_ = lockPathFor(journalPath_, why);
    if (lockPath_.isEmpty())
        return false;
    if (!lock_) {
        lock_ = std::make_unique<QLockFile>(lockPath_);
        lock_->setStaleLockTime(kStaleLockTime);
    }
    busy_ = false;
    if (lock_->tryLock(waitMs))
        return true;
    busy_ = lock_->error() == QLockFile::LockFailedError;
    if (why) {
        qint64 pid = 0;
        QString host, app;
        *why = busy_ ? busyText(lock_->getLockInfo(&pid, &host, &app) ? pid : 0)
                     : QStringLiteral("its lock file %1 cannot be made").arg(paths::shown(lockPath_));
    }
    return false;
}

void WriteTurn::release()
{
    if (lock_)
        lock_->unlock();
}

#endif

}  // namespace journal
