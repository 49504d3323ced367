#include "textfile.h"

#include "readable.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

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

namespace {

// Opens `path` for reading as readRegularFile says; nothing, with the
// outcome in `r`, when it is not to be read.
std::unique_ptr<QFile> openRegular(const QString& path, qint64 maxBytes, FileRead& r)
{
    auto refuse = [&r](FileRead::Outcome outcome, const QString& why) {
        r.outcome = outcome;
        r.whyNot = why;
        return nullptr;
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
    auto file = std::make_unique<QFile>();
#ifndef Q_OS_WIN
    // Checked again on the open file: what the path names may have been
    // swapped for a pipe meanwhile, whose open must not wait for a writer.
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(FileRead::Unreadable, qt_error_string(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        close(fd);
        return folder ? refuse(FileRead::Folder, QStringLiteral("it is a folder, not a file"))
                      : refuse(FileRead::NotRegular, QStringLiteral("it is not a regular file"));
    }
    r.size = st.st_size;
    if (r.size > maxBytes) {
        close(fd);
        return refuse(FileRead::TooLarge, QString());
    }
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        close(fd);
        return refuse(FileRead::Unreadable, file->errorString());
    }
#else
    r.size = info.size();
    if (r.size > maxBytes)
        return refuse(FileRead::TooLarge, QString());
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly))
        return refuse(FileRead::Unreadable, file->errorString());
#endif
    return file;
}

}  // namespace

FileRead readRegularFile(const QString& path, qint64 maxBytes)
{
    FileRead r;
    const std::unique_ptr<QFile> file = openRegular(path, maxBytes, r);
    if (!file)
        return r;
    // Read one byte past the limit: a file that grew meanwhile is still caught.
    r.bytes = file->read(maxBytes + 1);
    if (file->error() != QFileDevice::NoError) {
        r.bytes.clear();
        r.outcome = FileRead::Unreadable;
        r.whyNot = file->errorString();
        return r;
    }
    if (r.bytes.size() > maxBytes) {
        r.size = std::max(r.size, qint64(r.bytes.size()));
        r.bytes.clear();
        r.outcome = FileRead::TooLarge;
    }
    return r;
}

FileRead readRegularFile(const QString& path, qint64 maxBytes, const std::function<void(QByteArrayView)>& piece)
{
    FileRead r;
    const std::unique_ptr<QFile> file = openRegular(path, maxBytes, r);
    if (!file)
        return r;
    // Small enough to be taken again from the heap for every read.
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 got = file->read(buffer.data(), buffer.size());
        if (got < 0) {
            r.outcome = FileRead::Unreadable;
            r.whyNot = file->errorString();
            return r;
        }
        if (got == 0)
            break;
        total += got;
        if (total > maxBytes) {
            r.size = std::max(r.size, total);
            r.outcome = FileRead::TooLarge;
            return r;
        }
        piece(QByteArrayView(buffer.constData(), got));
    }
    r.size = total;
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
    // Only a temporary copy is marked, never the file itself.
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

namespace {

// Why no new file can be made beside `path`, naming the folder; empty when
// nothing in the folder itself stands in the way.
QString folderRefuses(const QString& path)
{
    // A link is saved through, beside its target.
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath()).absolutePath();
    const QString shown = QDir::toNativeSeparators(QDir::cleanPath(folder));
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the folder %1 does not exist").arg(readable::fileName(shown));
#ifndef Q_OS_WIN
    if (access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral("the folder %1 does not let the program create files in it (%2); the file is only ever "
                              "saved as a new file that takes the old one's place")
            .arg(readable::fileName(shown), qt_error_string(errno));
#endif
    return {};
}

}  // namespace

namespace {

std::optional<FileStamp> stamp(const QString& path, bool throughLinks)
{
#ifndef Q_OS_WIN
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if ((throughLinks ? stat(name.constData(), &st) : lstat(name.constData(), &st)) != 0)
        return std::nullopt;
    FileStamp s;
    s.size = st.st_size;
    s.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.changedNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    s.inode = st.st_ino;
    s.device = st.st_dev;
    s.regular = S_ISREG(st.st_mode);
    return s;
#else
    const QFileInfo info(path);
    if (!info.exists() && !(info.isSymLink() && !throughLinks))
        return std::nullopt;
    FileStamp s;
    s.size = info.size();
    s.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
    s.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000;
    s.regular = info.isFile() && (throughLinks || !info.isSymLink());
    return s;
#endif
}

}  // namespace

std::optional<FileStamp> stampOf(const QString& path)
{
    return stamp(path, true);
}

std::optional<FileStamp> entryStampOf(const QString& path)
{
    return stamp(path, false);
}

namespace {

// Bytes held before they are written: few system calls for a file given a
// line at a time, little memory for a large one.
constexpr qsizetype kHeldBytes = 1 << 20;

// The stamp of the regular file at `path` itself (not through a link),
// or nothing.
std::optional<FileStamp> regularFileStamp(const QString& path)
{
    std::optional<FileStamp> stamp = entryStampOf(path);
    if (stamp && !stamp->regular)
        return std::nullopt;
    return stamp;
}

// The file a NewFile may keep, read alongside the new bytes.
struct OldBytes {
    std::unique_ptr<QFile> file;
    FileStamp stamp;
    qint64 compared = 0;
    QByteArray piece;
};

}  // namespace

struct NewFile::Impl {
    Impl(const QString& p, IfSame same) : path(p), ifSame(same), file(p) {}
    QString path;
    IfSame ifSame;
    // Declared before the file: released only after the copy is renamed.
    CopyLock copyLock;
    QSaveFile file;
    // While the new bytes are those of the file there; gone once they differ.
    std::unique_ptr<OldBytes> old;
    int openError = 0;  // no new file could be made: only compared
    bool opened = false;
    bool committed = false;
    bool kept = false;
};

NewFile::NewFile(const QString& path, IfSame ifSame) : d_(std::make_unique<Impl>(path, ifSame))
{}

bool NewFile::kept() const
{
    return d_->kept;
}

NewFile::~NewFile()
{
    if (d_->opened && !d_->committed)
        d_->file.cancelWriting();
}

bool NewFile::fail(int number)
{
    if (!failed_) {
        error_ = folderRefuses(d_->path);
        if (error_.isEmpty())
            error_ = reason(d_->file, number);
        if (error_.isEmpty())
            error_ = QStringLiteral("it could not be written whole");
    }
    failed_ = true;
    held_ = QByteArray();
    d_->old.reset();
    // Cancelled at once: nothing of it may take the old file's place.
    if (d_->opened)
        d_->file.cancelWriting();
    return false;
}

bool NewFile::open()
{
    // Never written in place: a write cut short there leaves the file
    // short, and two writers in place mix their bytes.
    d_->file.setDirectWriteFallback(false);
    if (d_->ifSame == IfSame::Keep)
        if (const std::optional<FileStamp> stamp = regularFileStamp(d_->path)) {
            FileRead read;
            if (std::unique_ptr<QFile> file = openRegular(d_->path, stamp->size, read))
                d_->old.reset(new OldBytes{std::move(file), *stamp, 0, QByteArray(64 * 1024, Qt::Uninitialized)});
        }
    errno = 0;
    // Unbuffered: Qt's own buffer is flushed at the commit, whose failure
    // Qt does not stop the rename for. Every write is checked here.
    if (!d_->file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int error = errno != 0 ? errno : EIO;
        // The old file may hold these bytes already: then there is nothing to write.
        if (d_->old) {
            d_->openError = error;
            return true;
        }
        return fail(error);
    }
    d_->opened = true;
    markAsOurs(d_->file.handle(), d_->path, d_->copyLock);
    return true;
}

bool NewFile::writeOut(QByteArrayView bytes)
{
    errno = 0;
    // A short count is a write cut short (Qt reports no error for it).
    if (d_->file.write(bytes.data(), bytes.size()) != bytes.size())
        return fail(errno != 0 ? errno : EIO);
    return true;
}

void NewFile::compare(QByteArrayView bytes)
{
    OldBytes* old = d_->old.get();
    if (!old)
        return;
    bool same = old->compared + bytes.size() <= old->stamp.size;
    for (qsizetype at = 0; same && at < bytes.size();) {
        const qsizetype want = std::min(old->piece.size(), bytes.size() - at);
        same = old->file->read(old->piece.data(), want) == want
               && std::memcmp(old->piece.constData(), bytes.data() + at, size_t(want)) == 0;
        at += want;
    }
    if (same)
        old->compared += bytes.size();
    else
        d_->old.reset();
}

bool NewFile::write(QByteArrayView bytes)
{
    if (failed_)
        return false;
    compare(bytes);
    if (!d_->opened)
        return d_->old ? true : fail(d_->openError != 0 ? d_->openError : EBADF);
    if (held_.size() + bytes.size() < kHeldBytes) {
        if (held_.capacity() < kHeldBytes)
            held_.reserve(kHeldBytes);
        held_.append(bytes);
        return true;
    }
    if (!held_.isEmpty()) {
        if (!writeOut(held_))
            return false;
        held_.resize(0);
    }
    if (bytes.size() >= kHeldBytes)
        return writeOut(bytes);
    held_.append(bytes);
    return true;
}

bool NewFile::keepOld()
{
    // All of the old file compared, and still the file compared: no other
    // writer replaced or changed it meanwhile.
    const OldBytes* old = d_->old.get();
    if (!old || old->compared != old->stamp.size || regularFileStamp(d_->path) != old->stamp)
        return false;
    d_->old.reset();
    held_ = QByteArray();
    if (d_->opened)
        d_->file.cancelWriting();
    d_->committed = d_->kept = true;
    return true;
}

bool NewFile::commit()
{
    if (failed_)
        return false;
    if (keepOld())
        return true;
    if (!d_->opened)
        return fail(d_->openError != 0 ? d_->openError : EBADF);
    if (!held_.isEmpty() && !writeOut(held_))
        return false;
    held_ = QByteArray();
#ifndef Q_OS_WIN
    // Qt syncs too but goes on when that fails: a disk that could not take
    // the bytes must not get the rename.
    errno = 0;
    if (fdatasync(d_->file.handle()) != 0)
        return fail(errno);
#endif
    errno = 0;
    if (!d_->file.commit()) {
        d_->opened = false;  // the copy is gone with the failed commit
        return fail(errno);
    }
    d_->committed = true;
    unmark(d_->path);
    removeAbandonedCopies(d_->path);
    return true;
}

bool writeAtomically(const QString& path, QByteArrayView bytes, QString* error, NewFile::IfSame ifSame)
{
    NewFile file(path, ifSame);
    if (file.open() && file.write(bytes) && file.commit())
        return true;
    if (error)
        *error = file.error();
    return false;
}

bool copyIfMissing(const QString& from, const QString& to, qint64 maxBytes, QString* error)
{
    const QFileInfo target(to);
    if (target.exists() || target.isSymLink())
        return false;
    const FileRead file = readRegularFile(from, maxBytes);
    if (!file.ok()) {
        if (error)
            *error = file.outcome == FileRead::TooLarge ? QStringLiteral("it is too large") : file.whyNot;
        return false;
    }
    return writeAtomically(to, file.bytes, error);
}

}  // namespace textfile
