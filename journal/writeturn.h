#pragma once
// Writers of one journal take turns: every read-modify-write of it (an
// import, a merge, the window's save with its layer export) holds this
// lock, which every process of the program on this machine respects. The
// lock lives in this user's runtime folder, never beside the journal: a
// save folder kept in a synced folder would carry it to other machines,
// where it means nothing. It is named after the file the journal's path
// leads to (its folder's device and inode and its name), so links, ".."
// and bind mounts to one journal share one turn. The turn is a lock held
// on the lock file's open handle, so the system gives it back when its
// process dies, however it dies.

#include <QString>

#include <memory>

class QLockFile;

namespace journal {

class WriteTurn {
public:
    explicit WriteTurn(const QString& journalPath);
    ~WriteTurn();
    WriteTurn(const WriteTurn&) = delete;
    WriteTurn& operator=(const WriteTurn&) = delete;

    // The lock file of the journal at `journalPath`; empty, with the reason
    // in `why`, when the journal's folder or the runtime folder is unusable.
    static QString lockPathFor(const QString& journalPath, QString* why = nullptr);

    // Waits up to `waitMs` while another writer holds the turn. False, with
    // the reason in `why`: another writer still holds it (`busy()`), or the
    // turn cannot be taken at all and waiting would not change that: a
    // missing folder, an unusable runtime folder, a lock path that is not a
    // lock file of the program (a folder, a pipe, a link) and cannot be
    // taken over. Never blocks on what it opens.
    bool take(int waitMs, QString* why = nullptr);
    void release();
    // After `take` failed: whether another writer held the turn.
    bool busy() const { return busy_; }

private:
    QString journalPath_;
    QString lockPath_;
    bool busy_ = false;
#ifdef Q_OS_WIN
    std::unique_ptr<QLockFile> lock_;
#else
    int fd_ = -1;
#endif
};

}  // namespace journal
