#pragma once
// Small pieces shared by every file the program reads or writes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

#include <functional>
#include <memory>

namespace textfile {

// What the file system says of a file: it changes with every write,
// rename or change of its times (the inode's change time cannot be set).
struct FileStamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool regular = false;  // a regular file (not a folder, device or, for entryStampOf, a link)
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the file `path` names, through links; nothing when there is none.
std::optional<FileStamp> stampOf(const QString& path);
// The stamp of the entry at `path` itself: a link is not its target.
std::optional<FileStamp> entryStampOf(const QString& path);

// A number as the program prints it into its text files: one blank before
// the digits ("-" instead for a negative value) and one after: " 10 ".
QString printedNumber(qint64 value);

// A file written whole or not at all, for every file the program writes:
// the bytes go to a new file in the same folder, each write checked, synced
// to the disk and renamed over `path` only once all of it is there. A write
// cut short (a full disk, a file-size limit) cancels the new file and the
// old one stays as it was. A folder where no new file can be made refuses
// the write (never a write in place). Bytes may be given a piece at a
// time, so that a large file is never held whole.
class NewFile {
public:
    // Whether a file that holds exactly the new bytes already is replaced
    // all the same, or kept as it is: replacing it would only wait for the
    // disk. Kept is decided a piece at a time as the bytes are given, and
    // also where no new file can be made beside it.
    enum class IfSame { Replace, Keep };
    explicit NewFile(const QString& path, IfSame ifSame = IfSame::Replace);
    ~NewFile();  // cancels a file not committed
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Each false once anything failed; `error` then says why, naming the
    // folder where it is at fault.
    bool open();
    bool write(QByteArrayView bytes);
    bool commit();
    const QString& error() const { return error_; }
    // After a commit: the old file held these bytes and was kept.
    bool kept() const;

private:
    bool writeOut(QByteArrayView bytes);
    bool fail(int number);
    void compare(QByteArrayView bytes);
    bool keepOld();

    struct Impl;
    std::unique_ptr<Impl> d_;
    QByteArray held_;
    QString error_;
    bool failed_ = false;
};

// The whole file at once, as NewFile writes it. On failure `error` (if
// given) receives the reason.
bool writeAtomically(const QString& path, QByteArrayView bytes, QString* error = nullptr,
                     NewFile::IfSame ifSame = NewFile::IfSame::Replace);

// A whole file, read only when it is a regular file after following links
// (a pipe would block the reading, a device never end it) and holds at most
// `maxBytes`. Opened without blocking and its type checked on the open
// handle, so a pipe put in its place meanwhile is refused too.
struct FileRead {
    enum Outcome { Read, Missing, Folder, NotRegular, Unreadable, TooLarge };
    Outcome outcome = Read;
    QByteArray bytes;
    QString whyNot;   // a short reason for every outcome but Read and TooLarge
    qint64 size = 0;  // the file's size, for TooLarge
    bool ok() const { return outcome == Read; }
};
FileRead readRegularFile(const QString& path, qint64 maxBytes);
// The same, its bytes handed to `piece` a little at a time and never held
// whole (`bytes` stays empty): for what looks at them once.
FileRead readRegularFile(const QString& path, qint64 maxBytes, const std::function<void(QByteArrayView)>& piece);

// Copies `from` (read as readRegularFile does: a pipe is refused, never
// waited on) to `to` unless something is there already. False when nothing
// was copied, with the reason in `error` when one was tried.
inline constexpr qint64 kMostCopied = 64 * 1024 * 1024;
bool copyIfMissing(const QString& from, const QString& to, qint64 maxBytes = kMostCopied, QString* error = nullptr);

}  // namespace textfile
