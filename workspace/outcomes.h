#pragma once
// What an import, an export or a new configuration came to, as values: the
// window shows them in its box and its log, the command line prints them.
// Each text either of them says about these steps is written here once.

#include "exchange/journalimport.h"
#include "journal/journalfile.h"

#include <QString>
#include <QStringList>

// The places of some files planned against the journal, and taken into it
// when they add any.
struct ImportOutcome {
    exchange::ImportPlan plan;

    bool adds() const { return plan.outcome == exchange::ImportPlan::Adds; }
    // The window's box after one file: what joined the list, or why nothing did.
    QString message() const;
    // The command line's line for each file read.
    QStringList fileLines() const;
    // The command line's error line when nothing can be imported.
    QString refusal() const;
};

// The journal's places written to a places file.
struct ExportOutcome {
    QString shown;  // the file as messages name it
    qsizetype places = 0;
    bool written = false;
    QString error;  // why not

    bool ok() const { return written; }
    // The window's box.
    QString message() const;
    // The command line's line: the report, or the error.
    QString line() const;
};

// New settings taken: written, the journal of their save folder read, the
// web view's files copied beside it.
struct ConfigureOutcome {
    QString settingsNotSaved;  // the box when the settings file could not be written
    journal::ReadResult read;
    QStringList log;  // the copying of the web view's files, line by line
};

namespace texts {

// A file the command line does not import, and why.
QString notImported(const QString& shownFile, const QString& why);
// A save of the command line that did not write the journal at `path`.
QString notSaved(const QString& path, const QString& why);
// A journal read in part, which the command line neither replaces nor exports.
QString notReadInFull(const journal::ReadResult& read);
// The window's box when its save did not get the writers' turn
// (`tryAgain`) or could not write the journal.
QString saveFailed(const QString& path, const QString& why, bool tryAgain);
// The window's box when the settings file could not be written.
QString settingsNotSaved(const QString& why);

}  // namespace texts
