#include "fingerprint.h"

#include "journalfile.h"

#include <QFile>
#include <QHash>

#include <chrono>

namespace journal {

namespace {

// FAT keeps times to 2 seconds, the coarsest of the file systems a journal
// may live on; the others keep whole seconds or the kernel's clock ticks.
constexpr qint64 kTimeGranularityNs = 2'000'000'000;

// Hashed a block at a time, each block's hash the seed of the next.
constexpr qsizetype kBlock = 64 * 1024;

qint64 clockNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool stampProvesBytes(const FileStamp& stamp, qint64 nowNs)
{
    // A time ahead of the clock (another machine's, on a share) proves
    // nothing either.
    const qint64 last = std::max(stamp.modifiedNs, stamp.changedNs);
    return nowNs - last >= kTimeGranularityNs;
}

void BytesHash::add(QByteArrayView bytes)
{
    const char* p = bytes.data();
    qsizetype n = bytes.size();
    if (!block_.isEmpty()) {
        const qsizetype take = std::min(kBlock - block_.size(), n);
        block_.append(p, take);
        p += take;
        n -= take;
        if (block_.size() < kBlock)
            return;
        addBlock(block_.constData());
        block_.resize(0);
    }
    for (; n >= kBlock; p += kBlock, n -= kBlock)
        addBlock(p);
    block_.append(p, n);
}

void BytesHash::addBlock(const char* block)
{
    hash_ = quint64(qHashBits(block, size_t(kBlock), size_t(hash_)));
}

quint64 BytesHash::value() const
{
    return quint64(qHashBits(block_.constData(), size_t(block_.size()), size_t(hash_)));
}

Fingerprint fingerprintOf(const QByteArray& bytes)
{
    Fingerprint print;
    print.exists = true;
    print.size = bytes.size();
    BytesHash hash;
    hash.add(bytes);
    print.hash = hash.value();
    return print;
}

Fingerprint fingerprintOfRead(const QString& path, const std::optional<FileStamp>& before,
                              const textfile::FileRead& file)
{
    Fingerprint print;
    if (file.outcome == textfile::FileRead::Missing)
        return print;
    if (file.ok()) {
        print = fingerprintOf(file.bytes);
        // The stamp counts only when the file stood still while it was read.
        if (const auto after = stampOf(path);
            after && after == before && after->size == print.size && stampProvesBytes(*after, clockNowNs()))
            print.stamp = after;
    } else {
        print.exists = true;
        print.size = -1 - file.size;  // never the size of bytes that were read
    }
    return print;
}

Fingerprint fingerprintOf(const QString& path)
{
    const auto before = stampOf(path);
    // Hashed as it is read: never the whole file in memory.
    BytesHash hash;
    const textfile::FileRead file = textfile::readRegularFile(path, kMaxFileBytes,
                                                              [&hash](QByteArrayView piece) { hash.add(piece); });
    Fingerprint print;
    if (file.outcome == textfile::FileRead::Missing)
        return print;
    print.exists = true;
    if (!file.ok()) {
        print.size = -1 - file.size;  // never the size of bytes that were read
        return print;
    }
    print.size = file.size;
    print.hash = hash.value();
    if (const auto after = stampOf(path);
        after && after == before && after->size == print.size && stampProvesBytes(*after, clockNowNs()))
        print.stamp = after;
    return print;
}

Fingerprint fingerprintNow(const QString& path, const Fingerprint& known)
{
    if (known.exists && known.stamp && stampOf(path) == known.stamp)
        return known;
    return fingerprintOf(path);
}

}  // namespace journal
