#pragma once
// The merge base: this machine's record of the journal as last read here
// from another writer, kept in this user's state folder (never in a save
// folder that a sync tool carries elsewhere), one record per journal file.
// When two machines change a synced journal while apart, the version they
// last shared is the one each read before its own writes; a version this
// machine wrote itself is never taken as the base, since one side of the
// conflict then equals it and a three-way merge would drop the other's work.

#include "fingerprint.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace journal::mergebase {

// The record's file for the journal at `journalPath` (named after the file
// the path resolves to); empty when the state folder is unusable.
QString recordPath(const QString& journalPath);

// The journal was read whole with these bytes (whose print is `print`):
// they become the base unless this machine wrote them itself.
void noteRead(const QString& journalPath, const QByteArray& bytes, const Fingerprint& print);
// This machine wrote bytes of this print as the journal; only the print is
// kept, since a save streams its bytes and never holds them whole.
void noteWritten(const QString& journalPath, const Fingerprint& print);

// The base's rows; nothing when there is none (or it cannot be read whole).
std::optional<QStringList> rows(const QString& journalPath);

}  // namespace journal::mergebase
