#pragma once
// Tells one content of the journal file from another without parsing it:
// its size and a hash of its bytes. What the file system says of the file
// (its times, its inode) stands for the bytes only where it cannot have
// stayed the same across a change: otherwise the bytes are hashed again.

#include "platform/textfile.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace journal {

using textfile::FileStamp;
using textfile::stampOf;

// Whether a stamp looked at when the clock read `nowNs` tells the file's
// bytes: a file changed within the file system's time granularity of that
// moment (2 s on FAT; whole seconds on many) can change again and keep
// every time.
bool stampProvesBytes(const FileStamp& stamp, qint64 nowNs);

// A 64-bit hash of bytes given a piece at a time; the pieces do not
// matter, only the bytes. Compared only within this process.
class BytesHash {
public:
    void add(QByteArrayView bytes);
    quint64 value() const;

private:
    void addBlock(const char* block);
    QByteArray block_;
    quint64 hash_ = 0;
};

struct Fingerprint {
    bool exists = false;
    qint64 size = 0;
    quint64 hash = 0;
    // The file's stamp when it tells the bytes: it stood still while they
    // were read, long enough after their last change.
    std::optional<FileStamp> stamp;
    bool sameBytes(const Fingerprint& other) const
    {
        return exists == other.exists && size == other.size && hash == other.hash;
    }
};
Fingerprint fingerprintOf(const QByteArray& bytes);
// Reads the file's bytes (nothing else): a file that cannot be read has
// no print, and differs from every file that can.
Fingerprint fingerprintOf(const QString& path);
// The print of `file`, read at `path` when its stamp was `before`.
Fingerprint fingerprintOfRead(const QString& path, const std::optional<FileStamp>& before,
                              const textfile::FileRead& file);
// The print of the file now: `known` when its stamp still tells the bytes,
// else read afresh.
Fingerprint fingerprintNow(const QString& path, const Fingerprint& known);

}  // namespace journal
