#include "journal.h"

#include "conflicts.h"
#include "history.h"
#include "merge.h"
#include "mergebase.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "row.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <array>
#include <future>
#include <unordered_map>

namespace journal {

QString placesText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 place") : QStringLiteral("%1 places").arg(n);
}

QString placesRead(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 place was read") : QStringLiteral("%1 places were read").arg(n);
}

namespace {

// One look at the file for a burst of changes (a save creates, renames
// and removes several files in the folder).
constexpr int kChangesSettleMs = 150;

}  // namespace

namespace {

enum : quint8 { kTextChanges = 1, kLinkChanges = 2 };

// What of ASCII may not come back from the file: "&" in a name or comment
// when an entity starts there, a line end splits the line, and a link's
// double quote and backslash are percent-encoded.
constexpr std::array<quint8, 128> notReadBack()
{
    std::array<quint8, 128> t{};
    t[u'&'] = kTextChanges;
    t[u'\r'] = t[u'\n'] = kTextChanges | kLinkChanges;
    t[u'"'] = t[u'\\'] = kLinkChanges;
    return t;
}
constexpr auto kNotReadBack = notReadBack();

}  // namespace

bool readsBackSame(QStringView row)
{
    // One pass over the row: name, link and comment told apart by the
    // tabs; a fourth field would be cut, a missing one added.
    int field = 0;
    const char16_t* p = row.utf16();
    const char16_t* const end = p + row.size();
    for (; p < end; ++p) {
        const char16_t c = *p;
        if (c < 0x80) {
            if (c == u'\t') {
                if (++field > 2)
                    return false;
            } else if (kNotReadBack[c] & (field == 1 ? kLinkChanges : kTextChanges)) {
                if (c != u'&' || startsEntity(QStringView(p, end)))
                    return false;
            }
        } else if (field == 1) {
            if (!codepage::canHold(c))  // percent-encoded UTF-8
                return false;
        } else if (QChar::isSurrogate(c)) {
            // A pair becomes a character reference that comes back; a lone
            // one does not.
            if (!QChar::isHighSurrogate(c) || p + 1 == end || !QChar::isLowSurrogate(p[1]))
                return false;
            ++p;
        }
    }
    return field == 2;
}

Journal::Journal(QObject* parent)
    : QAbstractListModel(parent), history_(new History(*this)), watcher_(new QFileSystemWatcher(this)),
      settle_(new QTimer(this))
{
    // Back at the saved step, the rows are the file again.
    connect(history_->stack(), &QUndoStack::cleanChanged, this, [this](bool clean) { emit modifiedChanged(!clean); });
    settle_->setSingleShot(true);
    settle_->setInterval(kChangesSettleMs);
    connect(settle_, &QTimer::timeout, this, &Journal::checkDisk);
    connect(watcher_, &QFileSystemWatcher::fileChanged, settle_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
}

Journal::~Journal()
{
    // The history goes with the children, after the rows.
    disconnect(history_->stack(), nullptr, this, nullptr);
    // The reading thread posts to this object: it ends first.
    if (opening_.valid())
        opening_.wait();
}

bool Journal::hasRoom(qsizetype held, qsizetype adding)
{
    return held + adding <= kMaxRows;
}

QString Journal::fullText()
{
    return QStringLiteral("The journal is full: it holds %1 places, the most it can hold. Remove places to make "
                          "room for new ones; nothing was added.")
        .arg(QLocale().toString(kMaxRows));
}

int Journal::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant Journal::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const QString& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return row;
    case NameRole: return viewRow(row).name.toString();
    case LinkRole: return viewRow(row).link.toString();
    case CommentRole: return viewRow(row).comment.toString();
    default: return {};
    }
}

QHash<int, QByteArray> Journal::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(NameRole, "name");
    names.insert(LinkRole, "link");
    names.insert(CommentRole, "comment");
    return names;
}

RowFields Journal::place(int i) const
{
    return splitRow(rows_[i]);
}

void Journal::insert(int i, const QStringList& rows)
{
    if (rows.isEmpty())
        return;
    finishOpening();
    beginInsertRows(QModelIndex(), i, i + int(rows.size()) - 1);
    if (i == count())
        rows_.append(rows);
    else
        for (qsizetype k = 0; k < rows.size(); ++k)
            rows_.insert(i + k, rows[k]);
    endInsertRows();
    history_->rowsChanged();
}

void Journal::replace(int i, const QString& row)
{
    rows_[i] = row;
    emit dataChanged(index(i), index(i));
    history_->rowsChanged();
}

void Journal::remove(int i, int n)
{
    if (n <= 0)
        return;
    beginRemoveRows(QModelIndex(), i, i + n - 1);
    rows_.remove(i, n);
    endRemoveRows();
    history_->rowsChanged();
}

void Journal::swap(int i, int j)
{
    // Two texts change places: the view redraws two rows instead of laying
    // out the whole journal again, as a move of rows would make it.
    rows_.swapItemsAt(i, j);
    emit dataChanged(index(i), index(i));
    emit dataChanged(index(j), index(j));
    history_->rowsChanged();
}

QList<int> Journal::inverse(const QList<int>& order)
{
    QList<int> back(order.size(), -1);
    for (int k = 0; k < int(order.size()); ++k)
        if (order[k] >= 0 && order[k] < int(order.size()))
            back[order[k]] = k;
    return back;
}

bool Journal::reorder(const QList<int>& order)
{
    // Every row exactly once, or a place would be lost or doubled.
    const QList<int> newPlace = inverse(order);
    if (order.size() != rows_.size() || newPlace.contains(-1))
        return false;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QStringList rows;
    rows.reserve(rows_.size());
    for (const int from : order)
        rows.append(rows_[from]);
    rows_ = std::move(rows);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(index(newPlace[i.row()]));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    history_->rowsChanged();
    return true;
}

void Journal::setRows(const QStringList& rows)
{
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

bool Journal::isModified() const
{
    return !history_->atSavedStep();
}

Journal::Busy::Busy(Journal& journal) : journal_(journal)
{
    ++journal_.busy_;
}

Journal::Busy::~Busy()
{
    journal_.endBusy();
}

void Journal::endBusy()
{
    if (--busy_ == 0)
        emit idle();
}

Journal::Loaded Journal::load(const QString& path)
{
    // One read gives the rows and the print of the same bytes.
    const auto before = stampOf(path);
    const textfile::FileRead file = textfile::readRegularFile(path, kMaxFileBytes);
    Loaded loaded;
    loaded.print = fingerprintOfRead(path, before, file);
    loaded.read = journalOfFile(path, file);
    // A journal beside conflict copies is one side of a conflict, not a
    // version both machines had.
    if (file.ok() && loaded.read.complete() && conflictCopies(path).isEmpty())
        mergebase::noteRead(path, file.bytes, loaded.print);
    return loaded;
}

const ReadResult& Journal::open(const QString& path)
{
    const Busy hold(*this);
    dropOpening();
    take(load(path));
    return asRead_;
}

void Journal::take(const Loaded& loaded)
{
    if (loaded.read.opened)
        ++parses_;
    takeRead(loaded.read, loaded.print);
    setRows(loaded.read.rows);
    watch();
    // Conflict copies already beside the journal are seen as those that appear later.
    if (watching_)
        settle_->start();
    const bool hadSteps = history_->count() > 0;
    history_->clear();
    emit reloaded();
    if (hadSteps)
        emit historyForgotten();
}

namespace {

// The read begun by readAhead, until a model takes it over.
struct Ahead {
    QString path;
    std::future<Journal::Loaded> read;
};
Ahead& ahead()
{
    static Ahead a;
    return a;
}

}  // namespace

void Journal::readAhead(const QString& path)
{
    ahead() = Ahead{path, std::async(std::launch::async, [path] { return load(path); })};
}

void Journal::openInBackground(const QString& path)
{
    dropOpening();
    ++busy_;  // until the rows are taken
    const int ticket = ++openings_;
    std::future<Loaded> early;
    if (ahead().read.valid() && ahead().path == path)
        early = std::move(ahead().read);
    ahead() = Ahead{};
    opening_ = std::async(std::launch::async, [this, path, ticket, early = std::move(early)]() mutable {
        Loaded loaded = early.valid() ? early.get() : load(path);
        QMetaObject::invokeMethod(
            this,
            [this, ticket] {
                if (ticket == openings_)
                    finishOpening();
            },
            Qt::QueuedConnection);
        return loaded;
    });
}

void Journal::finishOpening()
{
    if (!opening_.valid())
        return;
    ++openings_;  // the posted call finds it taken
    take(opening_.get());
    const ReadResult read = asRead_;  // what is told stays as read, whatever the listeners do
    // Told while still busy: a capture waits until what was read (a
    // journal read in part) has been said.
    emit openedInBackground(read);
    endBusy();
}

void Journal::dropOpening()
{
    if (!opening_.valid())
        return;
    ++openings_;
    opening_.wait();
    opening_ = {};
    endBusy();
}

void Journal::setUnread(const QString& path)
{
    takeRead(ReadResult{}, Fingerprint{});
    asRead_.path = path;
    unread_ = true;
}

void Journal::takeRead(const ReadResult& read, const Fingerprint& print)
{
    unread_ = false;
    asRead_ = read;
    printRead_ = print;
    printNoted_ = Fingerprint{};
}

void Journal::watchForOtherWriters()
{
    watching_ = true;
    watch();
}

void Journal::watch()
{
    if (!watching_ || path().isEmpty())
        return;
    const QFileInfo file(path()), resolved(resolvedPath(path()));
    QStringList wanted;
    // The folder too: a save by rename puts a new file in the place of the
    // watched one, and a first save creates it. Through a link, the file it
    // leads to and that file's folder as well: there the saves by rename
    // and the sync tools' conflict copies appear.
    for (const QString& p :
         {file.absoluteFilePath(), file.absolutePath(), resolved.absoluteFilePath(), resolved.absolutePath()})
        if (QFileInfo::exists(p) && !wanted.contains(p))
            wanted << p;
    const QStringList old = watcher_->files() + watcher_->directories();
    for (const QString& p : old)
        if (!wanted.contains(p))
            watcher_->removePath(p);
    for (const QString& p : std::as_const(wanted))
        if (!old.contains(p))
            watcher_->addPath(p);
}

void Journal::checkDisk()
{
    if (path().isEmpty())
        return;
    watch();
    if (isBusy()) {
        settle_->start();
        return;
    }
    const QStringList copies = conflictCopies(path());
    if (std::any_of(copies.cbegin(), copies.cend(), [this](const QString& copy) {
            return std::none_of(copiesLeft_.cbegin(), copiesLeft_.cend(),
                                [&copy](const QString& left) { return left.contains(QFileInfo(copy).fileName()); });
        }))
        emit conflictCopiesFound();
    const Fingerprint now = fingerprintNow(path(), printRead_);
    if (now.sameBytes(printRead_)) {
        printRead_ = now;  // its stamp may tell the bytes by now
        return;            // our own save, or a rewrite of the same bytes: nothing to parse
    }
    printSeen_ = now;
    emit changedOnDisk();
}

void Journal::checkDiskLater(int ms)
{
    settle_->start(ms);
}

bool Journal::noteChange()
{
    if (printSeen_.sameBytes(printNoted_))
        return false;
    printNoted_ = printSeen_;
    return true;
}

Journal::SaveResult::Outcome Journal::refusedTurn(const WriteTurn& turn)
{
    // Only a busy turn is worth another try; a missing folder or a lock
    // path that keeps anyone from writing is a failure to write.
    return turn.busy() ? SaveResult::NoTurn : SaveResult::NotWritten;
}

std::optional<QStringList> Journal::rowsToWrite(WriteTurn& turn, int waitMs, const Ask& ask, SaveResult& outcome)
{
    // The turn is given back while the user decides, and the file looked at
    // again after: the answer holds only for the file the question was about.
    std::optional<Fingerprint> answered;
    Answer answer = Answer::SaveOver;
    Question question;
    for (;;) {
        const Fingerprint now = fingerprintNow(path(), printRead_);
        if (answered && answered->sameBytes(now)) {
            if (answer == Answer::KeepBoth && question.kind == Question::OthersAdded) {
                Merged merged = merge(asRead_.rows, rows_, question.onDisk.rows);
                outcome.taken = std::move(merged.taken);
                return std::move(merged.rows);
            }
            return rows_;
        }
        question = Question{};
        if (now.sameBytes(printRead_)) {
            if (asRead_.complete())
                return rows_;
            question.kind = Question::NotAllRead;
            question.onDisk = asRead_;
        } else {
            ReadResult disk = load(path()).read;
            if (disk.opened)
                ++parses_;
            if (!disk.exists) {
                return rows_;  // gone: the rows lose nothing by being written
            } else if (unread_ || !disk.complete()) {
                question.kind = Question::NotAllRead;
                if (unread_)
                    disk.rows.clear();  // the file holds them, but none is in the rows
            } else if (!isModified()) {
                return disk.rows;  // nothing of ours to lose: the file is taken
            } else {
                Merged merged = merge(asRead_.rows, rows_, disk.rows);
                if (merged.added.isEmpty()) {
                    // Nothing of theirs would be lost; their removals of rows
                    // we left alone are taken, not undone.
                    outcome.taken = std::move(merged.taken);
                    return std::move(merged.rows);
                }
                question.added = std::move(merged.added);
            }
            question.onDisk = std::move(disk);
        }
        turn.release();
        answer = ask(question);
        if (answer == Answer::Cancel) {
            outcome.outcome = SaveResult::Stopped;
            return std::nullopt;
        }
        answered = now;
        if (!turn.take(waitMs, &outcome.why)) {
            outcome.outcome = refusedTurn(turn);
            return std::nullopt;
        }
    }
}

Journal::SaveResult Journal::save(int waitMs, const Ask& ask, const LayerWriter& layer)
{
    finishOpening();  // never the empty rows of a journal still being read
    const Busy hold(*this);
    SaveResult result;
    WriteTurn turn(path());
    if (!turn.take(waitMs, &result.why)) {
        result.outcome = refusedTurn(turn);
        return result;
    }
    std::optional<QStringList> rows = rowsToWrite(turn, waitMs, ask, result);
    if (!rows)
        return result;
    QStringList copies;
    takeCopies(*rows, result, copies);
    SaveResult saved = write(*rows, layer, turn);
    saved.copiesMerged = result.copiesMerged;
    saved.copiesLeft = result.copiesLeft;
    saved.taken = result.taken;
    reportCopies(saved, copies);
    return saved;
}

void Journal::takeCopies(QStringList& rows, SaveResult& result, QStringList& copies)
{
    CopiesMerged merged = mergeCopies(path(), rows);
    for (const QString& line : std::as_const(merged.unreadable))
        if (!copiesLeft_.contains(line))
            result.copiesLeft << line;
    copiesLeft_ = merged.unreadable;
    if (!merged.changed())
        return;
    rows = std::move(merged.rows);
    copies = merged.merged;
    result.copiesMerged = merged.said;
}

void Journal::reportCopies(SaveResult& result, const QStringList& copies)
{
    if (!result.written()) {
        result.copiesMerged.clear();
        return;
    }
    // Removed only once the journal holds their places.
    result.copiesLeft << removeCopies(copies);
}

Journal::SaveResult Journal::saveEdited(const QString& path, int waitMs, const Edit& edit, const LayerWriter& layer)
{
    const Busy hold(*this);
    SaveResult result;
    WriteTurn turn(path);
    if (!turn.take(waitMs, &result.why)) {
        result.outcome = refusedTurn(turn);
        return result;
    }
    open(path);
    QStringList rows = rows_, copies;
    // A journal read in part is never rewritten, copies or not.
    if (asRead_.complete())
        takeCopies(rows, result, copies);
    if (!copies.isEmpty()) {
        setRows(rows);
        history_->rowsChanged();
    }
    // Copies merged are written even when the edit stops.
    const bool edited = edit();
    if (!edited && copies.isEmpty())
        return result;
    SaveResult saved = write(rows_, layer, turn);
    saved.copiesMerged = result.copiesMerged;
    saved.copiesLeft = result.copiesLeft;
    reportCopies(saved, copies);
    return saved;
}

Journal::SaveResult Journal::write(const QStringList& rows, const LayerWriter& layer, WriteTurn& turn)
{
    SaveResult result;
    // Whether the rows come back from the file as they are is looked at on
    // another processor while the journal and its layer are written. Rows
    // the last save found coming back as they are need no second look while
    // they stay the same text (the same shared string: kept alive by
    // readBackRows_, it cannot change).
    std::future<bool> readBack = std::async(std::launch::async, [rows, known = readBackRows_] {
        std::unordered_map<const QChar*, qsizetype> same;
        same.reserve(size_t(known.size()));
        for (const QString& row : known)
            same.emplace(row.constData(), row.size());
        return std::all_of(rows.cbegin(), rows.cend(), [&same](const QString& row) {
            const auto it = row.isEmpty() ? same.end() : same.find(row.constData());
            return (it != same.end() && it->second == row.size()) || readsBackSame(row);
        });
    });
    // Written as it is encoded and hashed: the rows and the whole file are
    // never held at once.
    textfile::NewFile file(path());
    BytesHash hash;
    qint64 size = 0;
    const bool whole = file.open() && journalLines(rows, kMaxFileBytes, [&](QByteArrayView piece) {
                           hash.add(piece);
                           size += piece.size();
                           return file.write(piece);
                       });
    if (!whole) {
        result.why = file.error().isEmpty() ? tooLargeToRead() : file.error();
        result.outcome = SaveResult::NotWritten;
        return result;
    }
    Fingerprint print;
    print.exists = true;
    print.size = size;
    print.hash = hash.value();
    // A file that holds these bytes already (a save without changes) is
    // not put in its place: it would only wait for the disk. The new file
    // is cancelled.
    const bool unchanged = print.sameBytes(printRead_) && fingerprintNow(path(), printRead_).sameBytes(print);
    if (!unchanged && !file.commit()) {
        result.why = file.error();
        result.outcome = SaveResult::NotWritten;
        return result;
    }
    mergebase::noteWritten(path(), print);
    result.outcome = SaveResult::Written;
    // The layer is part of the save: no other writer comes in before it.
    result.layerFailures = layer(rows);

    // The rows become what the file now holds: those written, unless the
    // escaping changes a text on the way back. The file is read again
    // while the turn is still held.
    ReadResult written;
    if (readBack.get()) {
        written.rows = rows;
        readBackRows_ = rows;
        written.exists = written.opened = true;
        written.placesInFile = int(rows.size());
    } else {
        written = readJournalFile(path());
        ++parses_;
    }
    turn.release();
    written.path = path();
    // A file just written has no stamp that tells its bytes yet.
    if (unchanged)
        print = printRead_;
    if (written.rows != rows_) {
        result.rowsReplaced = true;
        result.rows = written.rows;
    }
    takeRead(written, print);
    watch();
    return result;
}

void Journal::takeSaved(const SaveResult& saved)
{
    if (!saved.written())
        return;
    if (saved.rowsReplaced)
        history_->takeRows(saved.rows, QStringLiteral("Save"));
    history_->markSaved();
}

}  // namespace journal
