#pragma once
// One open journal, as the window and the command line both work on it:
// the settings that name its folders, the journal itself (rows, history,
// save, watch) and the World Wind layer each save writes. No widgets.

#include "journal/journal.h"
#include "outcomes.h"
#include "settings/settings.h"
#include "worldwind/placenames.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Workspace : public QObject {
    Q_OBJECT
public:
    explicit Workspace(QObject* parent = nullptr);

    Settings settings;
    journal::Journal& journal() { return *journal_; }

    // The settings file of the current folder, and where it is.
    static QString settingsFile();
    // Reads it; false when it cannot be read whole (what was read before
    // the failing value stays).
    bool readSettings();
    // Writes it; false, saying why, when it cannot be written.
    bool writeSettings(QString* why) const;
    // A font size chosen in points, as the settings hold it: whole, within
    // their range.
    static qint16 fontSize(double points);

    // The journal of the save folder.
    QString journalPath() const;
    // Opening, the same for the window, its start-up and the command line:
    // the settings file read, false when it cannot be read whole; the
    // journal is then left unread where the settings read so far put it,
    // so that a save asks before it replaces the file.
    bool openSettings();
    // The journal those settings name, read now or on another thread.
    const journal::ReadResult& openJournal();
    void openJournalInBackground();
    // Before the application is built: the journal the settings file names
    // begins to be read, for the first openJournalInBackground to take.
    static void readAhead();

    // The places of `files` that join the rows as they stand, by the one
    // import rule, the rows unchanged.
    ImportOutcome planImport(QList<exchange::ImportFile> files) const;
    // One file read and its new places appended as one step of the
    // history, named after the file; `selected` is the row selected before.
    ImportOutcome import(const QString& file, int selected);
    // The rows written as a places file, in the format of its extension.
    ExportOutcome exportTo(const QString& file) const;

    // New settings taken: written, the journal of their save folder read in
    // place of the rows (unsaved changes were settled before), the web
    // view's files copied into it. A settings file that could not be
    // written is told to `notSaved` as well, before the journal is read.
    using Tell = std::function<void(const QString&)>;
    ConfigureOutcome configure(const Settings& chosen, const Tell& notSaved = {});
    // The web page in the save folder, as the desktop is handed it; missing
    // while its folder exists (one made by hand after Configuration).
    QString webPage() const;
    bool webPageMissing() const;
    // Copies the web view's files into the save folder, never over one
    // there; the lines for the log.
    QStringList copyWebViewFiles() const;

    // The World Wind layer for `rows`, with the label font of the settings.
    placenames::Result writeLayer(const QStringList& rows) const;
    // The save of the rows as they stand: the layer's data file is written
    // ahead on another processor, a piece at a time, while the journal is
    // written (rows that the save changes, another writer's taken in, get
    // theirs written afterwards).
    journal::Journal::SaveResult save(int waitMs, const journal::Journal::Ask& ask);

    // Another writer changed the journal. A list without unsaved changes
    // follows it: the journal is read again. One with unsaved changes
    // keeps them, and the change is said once.
    struct Followed {
        QString log;                              // the line to log; empty when nothing is said
        std::optional<journal::ReadResult> read;  // the journal as read again
    };
    Followed followOtherWriter();
    // Conflict copies appeared beside the journal: without unsaved changes
    // they are merged into it and it is written at once; with them, nothing
    // happens now, and the next save merges them.
    std::optional<journal::Journal::SaveResult> mergeCopiesFound(int waitMs);

private:
    journal::Journal* journal_;
};
