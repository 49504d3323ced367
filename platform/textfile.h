#pragma once
// Small pieces shared by every file the program reads or writes.

#include <QByteArray>
#include <QString>

namespace textfile {

// A number as the program prints it into its text files: one blank before
// the digits ("-" instead for a negative value) and one after: " 10 ".
QString printedNumber(qint64 value);

// Writes the whole file or nothing: the bytes go to a temporary file in the
// same folder, which replaces `path` only once it is complete. A folder
// where no new file can be made refuses the write (never a write in place).
// On failure `error` (if given) receives the reason, naming the folder where
// it is at fault, and any old file is left as it was.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

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

// Copies `from` (read as readRegularFile does: a pipe is refused, never
// waited on) to `to` unless something is there already. False when nothing
// was copied.
bool copyIfMissing(const QString& from, const QString& to, qint64 maxBytes = 64 * 1024 * 1024);

}  // namespace textfile
