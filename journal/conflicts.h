#pragma once
// Conflict copies of the journal left by file-sync tools when two machines
// changed it while apart, and their merge into the journal. Only the tools'
// own namings count: a near miss is some other file, and the tools'
// temporary files are never journals.

#include <QString>
#include <QStringList>

#include <optional>

namespace journal {

enum class CopyMaker { None, Syncthing, Nextcloud, Dropbox };

// Which sync tool named `fileName` as a conflict copy of the journal named
// `journalName` ("velmora.js"): Syncthing's
// "velmora.sync-conflict-YYYYMMDD-HHMMSS-XXXXXXX.js", Nextcloud's
// "velmora (conflicted copy YYYY-MM-DD HHMMSS).js", Dropbox's
// "velmora (NAME's conflicted copy YYYY-MM-DD).js".
CopyMaker copyMaker(const QString& fileName, const QString& journalName);

// The conflict copies beside the file the journal's path leads to, by
// name (oldest first where the tool puts the time in it).
QStringList conflictCopies(const QString& journalPath);

// A copy merged into the rows: three ways against `base` where there is
// one (the rules of "Keep both"), else every place of both with exact
// duplicates dropped.
QStringList mergedWithCopy(const std::optional<QStringList>& base, const QStringList& ours, const QStringList& copy);

// The copies of the journal at `journalPath` merged into `rows` against
// this machine's merge base.
struct CopiesMerged {
    QStringList rows;
    QStringList merged;      // the copies taken in, to remove once the journal is written
    QStringList said;        // "Merged 5 places from velmora.sync-conflict-...js", one for each
    QStringList unreadable;  // one for each copy left in place, naming it and why
    bool changed() const { return !merged.isEmpty(); }
};
CopiesMerged mergeCopies(const QString& journalPath, const QStringList& rows);

// Removes the merged copies; what could not be removed, one line each.
QStringList removeCopies(const QStringList& copies);

}  // namespace journal
