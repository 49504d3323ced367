#include "conflicts.h"

#include "journal.h"
#include "journalfile.h"
#include "merge.h"
#include "mergebase.h"
#include "row.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace journal {

CopyMaker copyMaker(const QString& fileName, const QString& journalName)
{
    const qsizetype dot = journalName.lastIndexOf(u'.');
    const QString stem = QRegularExpression::escape(dot < 0 ? journalName : journalName.left(dot));
    const QString ext = QRegularExpression::escape(dot < 0 ? QString() : journalName.mid(dot));
    // Exactly the tools' patterns: digits where they write digits, their
    // device ids in capitals; anything else is some other file.
    const struct {
        CopyMaker maker;
        QString pattern;
    } namings[] = {
        {CopyMaker::Syncthing, QStringLiteral("%1\\.sync-conflict-\\d{8}-\\d{6}-[A-Z0-9]{7}%2")},
        {CopyMaker::Nextcloud, QStringLiteral("%1 \\(conflicted copy \\d{4}-\\d{2}-\\d{2} \\d{6}\\)%2")},
        {CopyMaker::Dropbox, QStringLiteral("%1 \\([^()/]+'s conflicted copy \\d{4}-\\d{2}-\\d{2}\\)%2")},
    };
    for (const auto& n : namings) {
        const QRegularExpression re(QRegularExpression::anchoredPattern(n.pattern.arg(stem, ext)));
        if (re.match(fileName).hasMatch())
            return n.maker;
    }
    return CopyMaker::None;
}

QStringList conflictCopies(const QString& journalPath)
{
    const QFileInfo journal(resolvedPath(journalPath));
    const QDir folder = journal.absoluteDir();
    QStringList copies;
    // Hidden names too are listed, then refused by name: a sync tool's
    // temporary file (".syncthing.*.tmp", "~syncthing~*.tmp", ".~*") is
    // never a journal.
    const QStringList names = folder.entryList({journal.completeBaseName() + QStringLiteral("*")},
                                               QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names)
        if (copyMaker(name, journal.fileName()) != CopyMaker::None)
            copies << folder.filePath(name);
    return copies;
}

QStringList mergedWithCopy(const std::optional<QStringList>& base, const QStringList& ours, const QStringList& copy)
{
    // With no base every row of the copy counts as added: the rows of both,
    // exact duplicates once.
    return merge(base.value_or(QStringList()), ours, copy).rows;
}

namespace {

// The rows of `after` that `before` lacks, counted as often as they occur.
qsizetype placesAdded(const QStringList& before, const QStringList& after)
{
    QHash<QStringView, int> held;
    for (const QString& row : before)
        ++held[row];
    qsizetype added = 0;
    for (const QString& row : after) {
        int& n = held[row];
        if (n > 0)
            --n;
        else
            ++added;
    }
    return added;
}

}  // namespace

CopiesMerged mergeCopies(const QString& journalPath, const QStringList& rows)
{
    CopiesMerged result;
    result.rows = rows;
    const QStringList copies = conflictCopies(journalPath);
    if (copies.isEmpty())
        return result;
    const std::optional<QStringList> base = mergebase::rows(journalPath);
    for (const QString& copy : copies) {
        const QString name = QFileInfo(copy).fileName();
        const ReadResult read = readJournalFile(copy);
        if (!read.opened || !read.complete()) {
            const QString why = !read.opened ? read.whyNotRead
                                             : QStringLiteral("it holds text that is not journal lines");
            result.unreadable
                << QStringLiteral("The conflict copy %1 could not be read (%2); it was left in place").arg(name, why);
            continue;
        }
        const QStringList merged = mergedWithCopy(base, result.rows, read.rows);
        if (merged.size() > kMaxRows) {
            result.unreadable << QStringLiteral("The conflict copy %1 was not merged: the journal would hold more "
                                                "than %2 places; it was left in place")
                                     .arg(name)
                                     .arg(kMaxRows);
            continue;
        }
        result.said << QStringLiteral("Merged %1 from %2").arg(placesText(placesAdded(result.rows, merged)), name);
        result.rows = merged;
        result.merged << copy;
    }
    return result;
}

QStringList removeCopies(const QStringList& copies)
{
    QStringList failed;
    for (const QString& copy : copies) {
        QFile file(copy);
        if (!file.remove() && file.exists())
            failed << QStringLiteral("The conflict copy %1 was merged but could not be removed (%2)")
                          .arg(QFileInfo(copy).fileName(), file.errorString());
    }
    return failed;
}

}  // namespace journal
