#include "textfile.h"

#include "readable.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace textfile {

QString printedNumber(qint64 value)
{
    return value < 0 ? QStringLiteral("-%1 ").arg(-value) : QStringLiteral(" %1 ").arg(value);
}

namespace {

// Why a link leads nowhere: round in a loop, or to a file that is not there.
QString brokenLink(const QString& path, const QFileInfo& info)
{
#ifndef Q_OS_WIN
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0 && errno == ELOOP)
        return QStringLiteral("it is a symbolic link that leads round in a loop");
#else
    Q_UNUSED(path);
#endif
    return QStringLiteral("it is a link to %1, which does not exist").arg(readable::fileName(info.symLinkTarget()));
}

}  // namespace

FileRead readRegularFile(const QString& path, qint64 maxBytes)
{
    FileRead r;
    auto refuse = [&r](FileRead::Outcome outcome, const QString& why) {
        r.outcome = outcome;
        r.whyNot = why;
        return r;
    };
    const QFileInfo info(path);
    if (!info.exists()) {
        if (info.isSymLink())
            return refuse(FileRead::Missing, brokenLink(path, info));
        return refuse(FileRead::Missing, QStringLiteral("there is no such file"));
    }
    if (info.isDir())
        return refuse(FileRead::Folder, QStringLiteral("it is a folder, not a file"));
    if (!info.isFile())
        return refuse(FileRead::NotRegular, QStringLiteral("it is not a regular file"));
    r.size = info.size();
    if (r.size > maxBytes)
        return refuse(FileRead::TooLarge, QString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(FileRead::Unreadable, file.errorString());
    // Read one byte past the limit: a file that grew meanwhile is still caught.
    r.bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        r.bytes.clear();
        return refuse(FileRead::Unreadable, file.errorString());
    }
    if (r.bytes.size() > maxBytes) {
        r.size = std::max(r.size, qint64(r.bytes.size()));
        r.bytes.clear();
        return refuse(FileRead::TooLarge, QString());
    }
    return r;
}

namespace {

#ifndef Q_OS_WIN
// A save's temporary copy is "<name>.XXXXXX" beside the file. A kill before
// the copy replaces the file leaves it behind; the next save removes it. To
// tell our copies from a user's "velmora.js.backup", each carries this
// attribute, and a save holds a lock on its copy so that no other save
// removes it while it is being written.
constexpr char kMark[] = "user.velmora.temporary";

// Keeps the lock on a copy until the save is over. The lock belongs to the
// open file, not to the handle: a second handle to it holds the lock after
// QSaveFile closes its own, in the moment before the copy is renamed.
class CopyLock {
public:
    CopyLock() = default;
    CopyLock(const CopyLock&) = delete;
    CopyLock& operator=(const CopyLock&) = delete;
    ~CopyLock()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    void hold(int fd) { fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0); }

private:
    int fd_ = -1;
};

void markAsOurs(int fd, const QString& path, CopyLock& lock)
{
    struct stat copy {
    }, target{};
    // With the direct-write fallback the handle is the file itself.
    if (fstat(fd, &copy) != 0
        || (stat(QFile::encodeName(path).constData(), &target) == 0 && copy.st_ino == target.st_ino
            && copy.st_dev == target.st_dev))
        return;
    // Locked before marked: a marked copy without a lock is abandoned.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lock.hold(fd);
        fsetxattr(fd, kMark, "1", 1, 0);
    }
}

void unmark(const QString& path)
{
    removexattr(QFile::encodeName(path).constData(), kMark);
}

bool abandonedCopy(const QByteArray& name, const QString& fileName)
{
    // The copy's name: the file's name, a dot and six letters.
    const QByteArray base = QFile::encodeName(fileName);
    const QByteArray leaf = name.mid(name.lastIndexOf('/') + 1);
    if (leaf.size() != base.size() + 7 || !leaf.startsWith(base + '.'))
        return false;
    for (char c : leaf.right(6))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    const int fd = open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    char value[2] = {};
    const bool ours = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()
                      && fgetxattr(fd, kMark, value, sizeof value) == 1 && value[0] == '1'
                      && flock(fd, LOCK_EX | LOCK_NB) == 0;
    // Removed while the lock is held, so no save can take it up meanwhile.
    const bool removed = ours && unlink(name.constData()) == 0;
    close(fd);
    return removed;
}

void removeAbandonedCopies(const QString& path)
{
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    const QStringList names = QDir(info.absolutePath())
                                  .entryList({fileName + QLatin1String(".??????")},
                                             QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        abandonedCopy(QFile::encodeName(info.absoluteDir().filePath(name)), fileName);
}
#else
// Windows cannot remove a file while a save holds it open, but it has no
// attribute to tell our copies from the user's files: they are left alone.
struct CopyLock {};
void markAsOurs(int, const QString&, CopyLock&)
{}
void unmark(const QString&)
{}
void removeAbandonedCopies(const QString&)
{}
#endif

// The system's own reason. Qt reports a short write on a full disk as
// "Unknown error"; the error number still tells what happened.
QString reason(const QSaveFile& file, int error)
{
    const QString said = file.errorString();
    if (error != 0
        && (file.error() == QFileDevice::NoError || said.isEmpty() || said == QLatin1String("Unknown error")))
        return qt_error_string(error);
    return said;
}

}  // namespace

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    // Declared before the file: released only after the copy is renamed.
    CopyLock copyLock;
    QSaveFile file(path);
    // Where the folder is read-only but the file writable, the file is
    // written in place: not atomic, but saved.
    file.setDirectWriteFallback(true);
    auto fail = [&](int number) {
        QString why = reason(file, number);
        // QSaveFile reports a missing folder only as a generic open failure.
        if (!QFileInfo(QFileInfo(path).absolutePath()).isDir())
            why = QStringLiteral("the folder does not exist");
        if (error)
            *error = why;
        file.cancelWriting();
        return false;
    };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return fail(errno);
    markAsOurs(file.handle(), path, copyLock);
    errno = 0;
    if (file.write(bytes) != bytes.size())
        return fail(errno);
    errno = 0;
    if (!file.commit())
        return fail(errno);
    unmark(path);
    removeAbandonedCopies(path);
    return true;
}

}  // namespace textfile
