#pragma once
// The journal as the window and the command line work on it: the rows, the
// modified state, what was last read of the file, the save that writes the
// journal and then the World Wind layer while holding the writers' turn,
// and the watch for other writers. No widgets: the window's list is a view
// of this model.

#include "fingerprint.h"
#include "journalfile.h"
#include "row.h"
#include "writeturn.h"

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <optional>

class QFileSystemWatcher;
class QTimer;

namespace journal {

class History;

// "1 place", "N places".
QString placesText(qsizetype n);
// "1 place was read", "N places were read".
QString placesRead(qsizetype n);

// Whether the row comes back from the journal file exactly as it is: its
// texts hold nothing the escaping changes on the way (an "&", a link
// character that is percent-encoded, a line end).
bool readsBackSame(QStringView row);

class Journal : public QAbstractListModel {
    Q_OBJECT
public:
    explicit Journal(QObject* parent = nullptr);
    ~Journal() override;

    // Whether `adding` more places fit beside the `held` ones.
    static bool hasRoom(qsizetype held, qsizetype adding = 1);
    // What a place added to a full journal is told.
    static QString fullText();

    // The rows, each name TAB link TAB comment: the text the list shows.
    // Each field is a role of its own too.
    enum Role { NameRole = Qt::UserRole + 1, LinkRole, CommentRole };
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;
    // Row i as its three fields.
    RowFields place(int i) const;
    const QStringList& rows() const { return rows_; }
    int count() const { return int(rows_.size()); }
    const QString& row(int i) const { return rows_[i]; }

    // Edits: each marks the journal modified. Made by a step of the history
    // they can be undone back to the saved rows; made directly, they cannot.
    void insert(int i, const QStringList& rows);
    void append(const QStringList& rows)
    {
        finishOpening();
        insert(count(), rows);
    }
    void replace(int i, const QString& row);
    void remove(int i, int n = 1);
    // Rows i and j trade places (moving a row by one).
    void swap(int i, int j);
    // The rows put in a new order: the k-th row afterwards is the one at
    // `order[k]` before. False, changing nothing, when `order` is not an
    // order of all the rows. A selected row stays with its place.
    bool reorder(const QList<int>& order);
    // The order that puts reordered rows back as they were.
    static QList<int> inverse(const QList<int>& order);
    // Every row at once, as when read: the modified state stays.
    void setRows(const QStringList& rows);

    // Whether the rows differ from the file: the history is not at the step
    // a save or a read left it at. Only the history changes it.
    bool isModified() const;

    // The undo history of the rows: modified follows its saved step, and a
    // journal read again from the file starts a new one.
    History& history() { return *history_; }

    // The journal file and what was last read of it (or written to it).
    QString path() const { return asRead_.path; }
    const ReadResult& asRead() const { return asRead_; }
    // Reads the journal at `path` into the rows, unmodified with a new
    // history, and watches it for other writers.
    const ReadResult& open(const QString& path);
    // The journal at `path`, none of it read (a start-up that stopped
    // before reading it): a save asks before it replaces the file.
    void setUnread(const QString& path);
    // From now on the file is watched for other writers (`changedOnDisk`).
    void watchForOtherWriters();
    // Reads the same file again after another writer changed it.
    const ReadResult& followDisk() { return open(path()); }
    // As open(), with the file read and parsed on another thread while
    // this one goes on (the window is built and shown): the rows are taken
    // here from the event loop, and `openedInBackground` then says what was
    // read. Until then the journal is busy, so a capture waits for the rows
    // instead of adding to a list about to be replaced.
    void openInBackground(const QString& path);
    // Begins the read of openInBackground before any model exists (before
    // the application is built): the first openInBackground of the same
    // path takes it over.
    static void readAhead(const QString& path);
    // The file's print and what was read of it.
    struct Loaded {
        Fingerprint print;
        ReadResult read;
    };
    bool isOpening() const { return opening_.valid(); }
    // Takes the rows of openInBackground now, waiting for the read if need
    // be: for whatever must see them before the event loop delivers them
    // (the user's first key or click, an edit, a save).
    void finishOpening();

    // While a save or a reload runs (and while the window asks about one),
    // what would add a row waits: a row added then would be lost. `idle`
    // tells when the last hold ends.
    class Busy {
    public:
        explicit Busy(Journal& journal);
        ~Busy();
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        Journal& journal_;
    };
    bool isBusy() const { return busy_ > 0; }

    // Writes the World Wind layer for the rows: one line per file not written.
    using LayerWriter = std::function<QStringList(const QStringList& rows)>;

    // What a save asks when the file is not as last read and saving the
    // rows as they are would lose places of it.
    struct Question {
        enum Kind {
            OthersAdded,  // another writer added `added`; keeping both is possible
            NotAllRead,   // the file holds places that were never read
        };
        Kind kind = OthersAdded;
        ReadResult onDisk;
        QStringList added;
    };
    enum class Answer { KeepBoth, SaveOver, Cancel };
    using Ask = std::function<Answer(const Question&)>;

    struct SaveResult {
        enum Outcome {
            NoTurn,      // another writer held the turn: `why`
            Stopped,     // the save was cancelled, or `edit` stopped it
            NotWritten,  // the journal could not be written: `why`; nothing changed
            Written,     // the journal was written, the layer as `layerFailures` say
        };
        Outcome outcome = Stopped;
        QString why;
        QStringList layerFailures;
        // Conflict copies of sync tools taken in: one line each, said once
        // ("Merged 5 places from ..."); and those left in place, with why.
        QStringList copiesMerged;
        QStringList copiesLeft;
        // What the file holds now, when it differs from the rows before the
        // save: another writer's places were taken, or texts came back
        // changed by the escaping. The rows take it in takeSaved().
        bool rowsReplaced = false;
        QStringList rows;
        // Rows of ours that another writer removed and we had left alone:
        // the save took their removal.
        QStringList taken;
        bool written() const { return outcome == Written; }
    };
    // The window's save: under the turn (waiting up to `waitMs`) the file
    // is compared with what was last read and parsed only when another
    // writer changed it. Unmodified rows then simply take the file; with
    // unsaved changes that would lose places `ask` decides. The journal is
    // written whole, then its layer. The rows stay as they are until the
    // caller, once it has said how the save went, calls takeSaved().
    SaveResult save(int waitMs, const Ask& ask, const LayerWriter& layer);
    // After a save was written: the rows become what the file holds (one
    // step of the history, "Save", when they differ) and the journal is no
    // longer modified. The history stays.
    void takeSaved(const SaveResult& saved);

    // Under the turn: reads the file at `path` (the rows become it), merges
    // the conflict copies of sync tools beside it, lets `edit` change the
    // rows or stop (false), then writes the journal and its layer (also
    // when only copies were merged: the outcome is then Written). For a
    // writer without unsaved changes of its own: an import or a merge from
    // the command line, the window's watch.
    using Edit = std::function<bool()>;
    SaveResult saveEdited(const QString& path, int waitMs, const Edit& edit, const LayerWriter& layer);

    // Parses of the journal file so far (reads, saves, the watch).
    int parses() const { return parses_; }
    // For the watch: looks at the file now instead of after the next change.
    void checkDisk();
    void checkDiskLater(int ms);
    // True once for each content of the file that the window was told of
    // while it could not follow it.
    bool noteChange();

signals:
    void modifiedChanged(bool modified);
    // The rows were read again from the file (or taken from it by a save).
    void reloaded();
    // A reload ended a history that had steps: they cannot be undone.
    void historyForgotten();
    // Another writer changed the file: it is no longer what was last read.
    void changedOnDisk();
    // A sync tool's conflict copy of the journal is beside it (one not
    // found unreadable before).
    void conflictCopiesFound();
    void idle();
    // The rows of openInBackground were taken: what the file gave.
    void openedInBackground(const journal::ReadResult& read);

private:
    static Loaded load(const QString& path);
    void take(const Loaded& loaded);
    // A read of openInBackground not taken yet is dropped: a newer wins.
    void dropOpening();
    void watch();
    void takeRead(const ReadResult& read, const Fingerprint& print);
    SaveResult write(const QStringList& rows, const LayerWriter& layer, WriteTurn& turn);
    // The rows to write after looking at the file under the turn; nothing
    // when the save stops (`outcome` says how).
    std::optional<QStringList> rowsToWrite(WriteTurn& turn, int waitMs, const Ask& ask, SaveResult& outcome);
    void endBusy();
    // Merges the conflict copies into `rows`, to be written with them.
    void takeCopies(QStringList& rows, SaveResult& result, QStringList& copies);
    void reportCopies(SaveResult& result, const QStringList& copies);
    // How a save that did not get the turn ends: another writer holds it
    // (NoTurn) or nobody could take it (NotWritten).
    static SaveResult::Outcome refusedTurn(const WriteTurn& turn);

    QStringList rows_;
    History* history_;
    ReadResult asRead_;
    Fingerprint printRead_;
    Fingerprint printSeen_;
    Fingerprint printNoted_;
    // The rows of the last save, each found to come back from the file as
    // it is.
    QStringList readBackRows_;
    bool watching_ = false;
    // Nothing of the file at the path was ever read.
    bool unread_ = false;
    int busy_ = 0;
    int parses_ = 0;
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    std::future<Loaded> opening_;
    // Counts background reads: only the latest is taken.
    int openings_ = 0;
    // Conflict copies that could not be merged: not reported again.
    QStringList copiesLeft_;
};

}  // namespace journal
