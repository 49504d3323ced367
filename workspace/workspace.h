#pragma once
// One open journal, as the window and the command line both work on it:
// the settings that name its folders, the journal itself (rows, history,
// save, watch) and the World Wind layer each save writes. No widgets.

#include "journal/journal.h"
#include "settings/settings.h"
#include "worldwind/placenames.h"

#include <QObject>
#include <QString>
#include <QStringList>

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
    // The World Wind layer for `rows`, with the label font of the settings.
    placenames::Result writeLayer(const QStringList& rows) const;
    // The save of the rows as they stand: the layer's data is made on
    // another processor while the journal is written (rows that the save
    // changes, another writer's taken in, get theirs made afterwards).
    journal::Journal::SaveResult save(int waitMs, const journal::Journal::Ask& ask);

private:
    journal::Journal* journal_;
};
