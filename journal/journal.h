#pragma once
// The journal as the window and the command line work on it: what was last
// read of the file, the row limit, and the save that writes the journal and
// then the World Wind layer while holding the writers' turn. No widgets: the
// window's list stays the view and hands over its rows.

#include "journalfile.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace journal {

// "1 place", "N places".
QString placesText(qsizetype n);
// "1 place was read", "N places were read".
QString placesRead(qsizetype n);

class Journal : public QObject {
    Q_OBJECT
public:
    explicit Journal(QObject* parent = nullptr) : QObject(parent) {}

    // Whether `adding` more places fit beside the `held` ones.
    static bool hasRoom(qsizetype held, qsizetype adding = 1);
    // What a place added to a full journal is told.
    static QString fullText();

    // The journal as it was last read (or saved and read again).
    const ReadResult& asRead() const { return asRead_; }
    // Reads the journal at `path` again and tells `reloaded`.
    const ReadResult& reload(const QString& path);
    // Whether `now`, read afresh, is the file as last read: the window's own
    // saves end by reading what they wrote.
    bool isAsRead(const ReadResult& now) const;

    // Writes the World Wind layer for the rows: one line per file not written.
    using LayerWriter = std::function<QStringList(const QStringList& rows)>;
    // Decides under the turn what is written: the rows, or nothing when the
    // save stops (having said why). It may give the turn back and take it
    // again, for instance while the user is asked.
    using Prepare = std::function<std::optional<QStringList>(WriteTurn& turn)>;

    struct SaveResult {
        enum Outcome {
            NoTurn,      // another writer held the turn: `why`
            Stopped,     // `prepare` stopped the save
            NotWritten,  // the journal could not be written: `why`; nothing changed
            Written,     // the journal was written, the layer as `layerFailures` say
        };
        Outcome outcome = Stopped;
        QString why;
        QStringList rows;
        QStringList layerFailures;
        bool written() const { return outcome == Written; }
    };
    // The save: the turn (waiting up to `waitMs`), the rows `prepare` gives,
    // the journal written whole, then its layer; the turn is given back at
    // the end. Tells `saved` when the journal was written.
    SaveResult save(const QString& path, int waitMs, const Prepare& prepare, const LayerWriter& layer);

signals:
    void reloaded();
    void saved(const QString& path);

private:
    ReadResult asRead_;
};

}  // namespace journal
