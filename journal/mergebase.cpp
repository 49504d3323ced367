#include "mergebase.h"

#include "journalfile.h"
#include "platform/textfile.h"
#include "platform/userfolders.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>

namespace journal::mergebase {
namespace {

// The record of what this machine last wrote: the bytes' size and hash, no
// copy of them. Compared only on this machine.
QByteArray printOf(const Fingerprint& print)
{
    return QByteArray::number(print.size) + ' ' + QByteArray::number(print.hash, 16) + "\r\n";
}

QString writtenPath(const QString& record)
{
    return record + QStringLiteral(".written");
}

QByteArray readSmall(const QString& path, qint64 most)
{
    const textfile::FileRead read = textfile::readRegularFile(path, most);
    return read.ok() ? read.bytes : QByteArray();
}

}  // namespace

QString recordPath(const QString& journalPath)
{
    const QString folder = userfolders::stateFolder();
    if (folder.isEmpty())
        return {};
    const QByteArray key = QCryptographicHash::hash(resolvedPath(journalPath).toUtf8(), QCryptographicHash::Sha256);
    return folder + QStringLiteral("/base-") + QString::fromLatin1(key.toHex().left(32)) + QStringLiteral(".js");
}

void noteRead(const QString& journalPath, const QByteArray& bytes, const Fingerprint& print)
{
    const QString record = recordPath(journalPath);
    if (record.isEmpty())
        return;
    if (readSmall(writtenPath(record), 256) == printOf(print))
        return;  // our own write read back: not what another machine had
    // Compared by print, hashed as it is read: the journal's bytes are in
    // memory already, and a second copy of them would double the peak.
    if (fingerprintOf(record).sameBytes(print))
        return;
    textfile::writeAtomically(record, bytes);
}

void noteWritten(const QString& journalPath, const Fingerprint& print)
{
    const QString record = recordPath(journalPath);
    if (record.isEmpty())
        return;
    const QByteArray line = printOf(print);
    if (readSmall(writtenPath(record), 256) != line)
        textfile::writeAtomically(writtenPath(record), line);
}

std::optional<QStringList> rows(const QString& journalPath)
{
    const QString record = recordPath(journalPath);
    if (record.isEmpty())
        return std::nullopt;
    const ReadResult read = readJournalFile(record);
    if (!read.opened || !read.complete())
        return std::nullopt;
    return read.rows;
}

}  // namespace journal::mergebase
