// The journal model without a window: the save against another writer,
// the merge of both writers' rows, what reads back unchanged, the watch,
// the hold on captures and the import rule.

#include "exchange/journalimport.h"
#include "exchange/kmz.h"
#include "exchange/places.h"
#include "hostilexml.h"
#include "journal/history.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/merge.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "workspace/workspace.h"
#include "worldwind/links.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString place(const char* name, int lat = 1)
{
    return makeRow(QString::fromUtf8(name), links::linkFor(lat, 2), u"");
}

const QString A = place("A", 1), B = place("B", 2), C = place("C", 3), D = place("D", 4);

// A folder with a journal of `rows`, and the model opened on it.
struct Folder {
    explicit Folder(const QStringList& rows = {A, B})
    {
        write(rows);
        model.open(path());
    }
    QString path() const { return dir.filePath(QStringLiteral("velmora.js")); }
    void write(const QStringList& rows) const
    {
        QVERIFY(textfile::writeAtomically(path(), journal::journalBytes(rows)));
    }
    QStringList onDisk() const { return journal::readJournalFile(path()).rows; }

    QTemporaryDir dir;
    journal::Journal model;
};

// `levels` elements nested inside the name of one place.
QByteArray nestedName(const char* start, const char* end, int levels)
{
    return start + QByteArray("<b>").repeated(levels) + QByteArray("</b>").repeated(levels) + end;
}

QByteArray zipped(const QByteArray& kml)
{
    return exchange::kmz::pack(kml, nullptr).value_or(QByteArray());
}

const QByteArray kOnePlace = "<kml><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></kml>";

// A small ext4 whose inodes keep whole seconds, loop-mounted where the
// test runs as root and mounting is allowed.
class LoopMount {
public:
    LoopMount()
    {
        if (geteuid() != 0) {
            why_ = QStringLiteral("mounting needs root");
            return;
        }
        const QString image = dir_.filePath(QStringLiteral("fs.img")), point = dir_.filePath(QStringLiteral("fs"));
        QDir().mkpath(point);
        QProcess mkfs;
        mkfs.start(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-I"),
                                                 QStringLiteral("128"), image, QStringLiteral("4M")});
        QProcess mount;
        if (mkfs.waitForFinished(30000) && mkfs.exitCode() == 0) {
            mount.start(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, point});
            mount.waitForFinished(30000);
        }
        if (mkfs.exitCode() != 0 || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0) {
            why_ = QStringLiteral("no loop-mounted ext4 here: ")
                   + QString::fromLocal8Bit(mkfs.readAllStandardError() + mount.readAllStandardError()).trimmed();
            return;
        }
        path_ = point;
    }
    ~LoopMount()
    {
        if (mounted())
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), path_});
    }
    bool mounted() const { return !path_.isEmpty(); }
    QString path() const { return path_; }
    QString whyNot() const { return why_; }

private:
    QTemporaryDir dir_;
    QString path_, why_;
};

using Answer = journal::Journal::Answer;
using Question = journal::Journal::Question;
using Saved = journal::Journal::SaveResult;

QStringList noLayer(const QStringList&)
{
    return {};
}

}  // namespace

class TestJournalModel : public QObject {
    Q_OBJECT

private slots:
    void mergeKeepsBothWritersChanges()
    {
        const QString B2 = place("B ours"), B3 = place("B theirs"), C2 = place("C ours"), X = place("X"),
                      Y = place("Y");
        const struct {
            const char* what;
            QStringList base, ours, theirs, rows, added, taken;
        } cases[] = {
            {"they changed nothing", {A, B}, {A, B, X}, {A, B}, {A, B, X}, {}, {}},
            {"they added after ours", {A, B}, {A, B, X}, {A, B, Y}, {A, B, X, Y}, {Y}, {}},
            {"they removed a row we left alone", {A, B, C}, {A, B, C, X}, {A, C}, {A, C, X}, {}, {B}},
            {"they removed a row we edited", {A, B, C}, {A, B2, C}, {A, C}, {A, B2, C}, {}, {}},
            {"we removed a row they edited", {A, B, C}, {A, C}, {A, B3, C}, {A, C, B3}, {B3}, {}},
            {"both removed a row, each added one", {A, B, C}, {A, B, D}, {A, B, Y}, {A, B, D, Y}, {Y}, {}},
            {"both edited one row: theirs follows ours", {A, B, C}, {A, B2, C}, {A, B3, C}, {A, B2, B3, C}, {B3}, {}},
            {"we edited, they put a new row there", {A, B, C}, {A, B, C2}, {A, B, Y}, {A, B, C2, Y}, {Y}, {}},
            {"both made the same edit", {A, B, C}, {A, B2, C}, {A, B2, C}, {A, B2, C}, {}, {}},
            {"they edited a row we left alone", {A, B, C}, {A, B, C, X}, {A, B3, C}, {A, B3, C, X}, {B3}, {}},
            {"an edit followed by a new row", {A, B, C}, {A, B, C}, {A, X, Y, C}, {A, X, C, Y}, {X, Y}, {}},
            {"two rows gone are not guessed", {A, B, C}, {A, B, C}, {X, Y, C}, {C, X, Y}, {X, Y}, {A, B}},
            {"both added the same place", {A}, {A, X}, {A, X, Y}, {A, X, Y}, {Y}, {}},
            {"our order stays", {A, B, C}, {C, A, B}, {A, B, C, Y}, {C, A, B, Y}, {Y}, {}},
            {"repeated rows counted", {A, A}, {A, A, X}, {A, A, A}, {A, A, X, A}, {A}, {}},
            {"nothing was read before", {}, {X}, {A, B}, {X, A, B}, {A, B}, {}},
            {"they emptied the file", {A, B}, {A, B, X}, {}, {X}, {}, {A, B}},
        };
        for (const auto& c : cases) {
            const journal::Merged m = journal::merge(c.base, c.ours, c.theirs);
            QVERIFY2(m.rows == c.rows, c.what);
            QVERIFY2(m.added == c.added, c.what);
            QVERIFY2(m.taken == c.taken, c.what);
        }
    }

    void keepBothSavesEveryPlaceTheQuestionNames()
    {
        // Last read {A, B, C}; the list and the other writer each changed it.
        const QString B2 = place("B ours"), B3 = place("B theirs"), C2 = place("C ours"), E = place("E"),
                      N = place("N");
        const struct {
            const char* what;
            QStringList ours, theirs, named, saved;
        } cases[] = {
            {"we removed what they edited", {A, C}, {A, B3, C}, {B3}, {A, C, B3}},
            {"both replaced the last row", {A, B, D}, {A, B, E}, {E}, {A, B, D, E}},
            {"both edited one row", {A, B2, C}, {A, B3, C}, {B3}, {A, B2, B3, C}},
            {"we edited, they put a new row there", {A, B, C2}, {A, B, N}, {N}, {A, B, C2, N}},
        };
        for (const auto& c : cases) {
            Folder f({A, B, C});
            f.model.history().takeRows(c.ours, QStringLiteral("edit"));
            f.write(c.theirs);
            QStringList named;
            const Saved saved = f.model.save(
                1000,
                [&](const Question& q) {
                    named = q.added;
                    return Answer::KeepBoth;
                },
                noLayer);
            QVERIFY2(saved.written(), c.what);
            QVERIFY2(named == c.named, c.what);
            const QStringList onDisk = f.onDisk();
            QVERIFY2(onDisk == c.saved, c.what);
            for (const QString& row : std::as_const(named))
                QVERIFY2(onDisk.contains(row), c.what);
            f.model.takeSaved(saved);
            QVERIFY2(f.model.rows() == c.saved && !f.model.isModified(), c.what);
        }
    }

    void rowsThatReadBackUnchanged()
    {
        const struct {
            QString row;
            bool same;
        } cases[] = {
            {A, true},
            {makeRow(u"<Caf\u00e9 \"Z\u00fcrich\" it's \\>", u"worldwind://goto/world=Earth&lat=1&lon=2", u"\u20ac"),
             true},
            {makeRow(u"\u65e5\u672c \U0001F600", u"l", u"x"), true},  // character references come back
            {makeRow(u"Rock & Roll", u"l", u"R&B &amp; &#x41; &# &#;"), true},
            {makeRow(u"&", u"l", u"&"), true},
            {makeRow(u"&lt;", u"l", u""), false},
            {makeRow(u"n", u"l", u"a &#233;"), false},
            {makeRow(u"n", u"l", u"&quot;"), false},
            {makeRow(u"&", u"l", u"&&#39;"), false},
            {makeRow(u"n", u"worldwind://goto/a\"b", u""), false},
            {makeRow(u"n", u"l\\x", u""), false},
            {makeRow(u"n", u"l\u65e5", u""), false},
            {QStringLiteral("a\tb\tc\td"), false},
            {QStringLiteral("a\rb\tl\t"), false},
            {QStringLiteral("only a name"), false},
            {QString(u'\xd800') + QStringLiteral("\tl\t"), false},
        };
        for (const auto& c : cases) {
            QCOMPARE(journal::readsBackSame(c.row), c.same);
            // The rule must never claim more than the file gives back.
            const bool back = journal::parseJournal(journal::journalBytes({c.row})).rows == QStringList{c.row};
            QVERIFY2(!c.same || back, qPrintable(c.row));
        }
    }

    void saveAgainstTheFileOnDisk()
    {
        const QString X = place("X"), Y = place("Y");
        const QString quoted = makeRow(u"Q", u"worldwind://goto/a\"b", u"");
        const struct {
            const char* what;
            QStringList ours;    // empty: unmodified
            QStringList theirs;  // empty: the file as read
            QByteArray cutFile;  // the file instead, when set
            Answer answer;
            Saved::Outcome outcome;
            bool asked;
            QStringList after;  // the rows and the file
            int parses;         // of the file, during the save
        } cases[] = {
            {"unchanged file", {A, B, X}, {}, {}, Answer::Cancel, Saved::Written, false, {A, B, X}, 0},
            {"unmodified rows take the other writer's file",
             {},
             {A, B, Y},
             {},
             Answer::Cancel,
             Saved::Written,
             false,
             {A, B, Y},
             1},
            {"their removal of a row we left alone is taken",
             {A, B, X},
             {A},
             {},
             Answer::Cancel,
             Saved::Written,
             false,
             {A, X},
             1},
            {"keep both", {A, B, X}, {A, B, Y}, {}, Answer::KeepBoth, Saved::Written, true, {A, B, X, Y}, 1},
            {"save over", {A, B, X}, {A, B, Y}, {}, Answer::SaveOver, Saved::Written, true, {A, B, X}, 1},
            {"cancel", {A, B, X}, {A, B, Y}, {}, Answer::Cancel, Saved::Stopped, true, {A, B, X}, 1},
            {"a file cut short",
             {A, B, X},
             {},
             journal::journalBytes({A}) + "add_place(\"cut\r\n" + journal::journalBytes({B}),
             Answer::SaveOver,
             Saved::Written,
             true,
             {A, B, X},
             1},
            {"a text the file changes",
             {A, quoted},
             {},
             {},
             Answer::Cancel,
             Saved::Written,
             false,
             {A, makeRow(u"Q", u"worldwind://goto/a%22b", u"")},
             1},
        };
        for (const auto& c : cases) {
            Folder f;
            if (!c.ours.isEmpty()) {
                f.model.history().takeRows(c.ours, QStringLiteral("Ours"));
            }
            if (!c.theirs.isEmpty())
                f.write(c.theirs);
            if (!c.cutFile.isEmpty())
                QVERIFY(textfile::writeAtomically(f.path(), c.cutFile));
            bool asked = false, busyWhileAsked = false;
            const int parses = f.model.parses();
            const Saved saved = f.model.save(
                1000,
                [&](const Question&) {
                    asked = true;
                    busyWhileAsked = f.model.isBusy();
                    return c.answer;
                },
                noLayer);
            f.model.takeSaved(saved);
            QVERIFY2(saved.outcome == c.outcome, c.what);
            QVERIFY2(asked == c.asked, c.what);
            QVERIFY2(!asked || busyWhileAsked, c.what);
            QVERIFY2(f.model.rows() == c.after, c.what);
            QVERIFY2(f.model.parses() - parses == c.parses, c.what);
            if (saved.written())
                QVERIFY2(f.onDisk() == c.after, c.what);
            QVERIFY2(!f.model.isBusy(), c.what);
        }
    }

    void anotherWritersChangeIsSeenWhateverItsSizeAndTime()
    {
        // Same size as {A, B}: B renamed to E, so the other writer's file
        // holds a place the list does not.
        const QString E = place("E", 2);
        const QByteArray theirs = journal::journalBytes({A, E});
        QCOMPARE(theirs.size(), journal::journalBytes({A, B}).size());
        const timespec anHourAgo{time(nullptr) - 3600, 123456789};
        const auto setTimes = [](const QString& path, const timespec& t) {
            const timespec both[2] = {t, t};
            return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), both, 0) == 0;
        };
        const auto inPlace = [](const QString& path, const QByteArray& bytes) {
            QFile file(path);
            return file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size();
        };
        const struct {
            const char* what;
            bool oneSecondTimes;  // on a file system that keeps whole seconds
            std::function<bool(const QString& path)> change;
        } cases[] = {
            {"written in place, its time set back", false,
             [&](const QString& path) { return inPlace(path, theirs) && setTimes(path, anHourAgo); }},
            {"a copy with the same time renamed over it", false,
             [&](const QString& path) {
                 const QString copy = path + QStringLiteral(".new");
                 return textfile::writeAtomically(copy, theirs) && setTimes(copy, anHourAgo)
                        && std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) == 0;
             }},
            {"written in place at once, times of whole seconds", true,
             [&](const QString& path) { return inPlace(path, theirs); }},
        };
        const LoopMount coarse;
        struct Journal {
            const std::remove_reference_t<decltype(cases[0])>* c;
            bool modified;
            QString path;
        };
        std::vector<Journal> journals;
        QTemporaryDir local;
        for (const auto& c : cases) {
            if (c.oneSecondTimes && !coarse.mounted()) {
                qInfo("%s: left out, %s", c.what, qPrintable(coarse.whyNot()));
                continue;
            }
            for (const bool modified : {false, true}) {
                const QString folder = (c.oneSecondTimes ? coarse.path() : local.path())
                                       + QStringLiteral("/%1").arg(journals.size());
                QVERIFY(QDir().mkpath(folder));
                journals.push_back({&c, modified, folder + QStringLiteral("/velmora.js")});
                QVERIFY(textfile::writeAtomically(journals.back().path, journal::journalBytes({A, B})));
                // Old enough for its stamp to stand for its bytes.
                if (!c.oneSecondTimes)
                    QVERIFY(setTimes(journals.back().path, anHourAgo));
            }
        }
        QTest::qWait(2100);  // past the coarsest time granularity
        for (const Journal& j : journals) {
            const char* what = j.c->what;
            if (j.c->oneSecondTimes)  // written afresh, so that the change falls in the same second
                QVERIFY(textfile::writeAtomically(j.path, journal::journalBytes({A, B})));
            journal::Journal model;
            model.open(j.path);
            QSignalSpy changed(&model, &journal::Journal::changedOnDisk);
            QVERIFY2(j.c->change(j.path), what);
            model.checkDisk();
            QVERIFY2(changed.count() == 1, what);
            if (!j.modified)
                continue;
            model.append({C});
            bool asked = false;
            model.save(
                1000,
                [&](const Question& q) {
                    asked = q.kind == Question::OthersAdded && q.added == QStringList{E};
                    return Answer::Cancel;
                },
                noLayer);
            QVERIFY2(asked, what);
            QCOMPARE(journal::readJournalFile(j.path).rows, (QStringList{A, E}));
        }
    }

    void theQuestionNamesWhatWouldBeLost()
    {
        Folder f;
        f.model.append({place("X")});
        f.write({A, B, C, D});
        Question asked;
        f.model.save(
            1000,
            [&](const Question& q) {
                asked = q;
                return Answer::Cancel;
            },
            noLayer);
        QCOMPARE(asked.kind, Question::OthersAdded);
        QCOMPARE(asked.added, (QStringList{C, D}));
        QCOMPARE(asked.onDisk.rows, (QStringList{A, B, C, D}));
        QCOMPARE(f.onDisk(), (QStringList{A, B, C, D}));
    }

    void aFailedSaveChangesNothing()
    {
        Folder f;
        f.model.append({C});
        QVERIFY(QFile::remove(f.path()));
        QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("velmora.js")));  // a folder where the file was
        const Saved saved = f.model.save(
            1000, [](const Question&) { return Answer::SaveOver; }, noLayer);
        QCOMPARE(saved.outcome, Saved::NotWritten);
        QVERIFY(!saved.why.isEmpty());
        QCOMPARE(f.model.rows(), (QStringList{A, B, C}));
        QVERIFY(f.model.isModified());
    }

    void theWatchParsesOnlyAnotherWritersFile()
    {
        Folder f;
        f.model.watchForOtherWriters();
        QSignalSpy changed(&f.model, &journal::Journal::changedOnDisk);
        f.model.append({C});
        QCOMPARE(f.model.save(1000, nullptr, noLayer).outcome, Saved::Written);
        const int parses = f.model.parses();
        // Saved again without a change, the file is left as it is.
        const QDateTime written = QFileInfo(f.path()).lastModified();
        QTest::qWait(20);
        QCOMPARE(f.model.save(1000, nullptr, noLayer).outcome, Saved::Written);
        QCOMPARE(QFileInfo(f.path()).lastModified(), written);
        QTest::qWait(400);  // the watch has looked at our own saves
        f.model.checkDisk();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(f.model.parses(), parses);

        f.write({A, B, C, D});
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(f.model.parses(), parses);  // told, not parsed
        QVERIFY(f.model.noteChange());
        QVERIFY(!f.model.noteChange());  // the same change is noted once
        QSignalSpy reloaded(&f.model, &journal::Journal::reloaded);
        f.model.followDisk();
        QCOMPARE(reloaded.count(), 1);
        QCOMPARE(f.model.rows(), (QStringList{A, B, C, D}));
    }

    void theWatchSeesConflictCopiesAndOutlivesRenames()
    {
        Folder f;
        f.model.watchForOtherWriters();
        QSignalSpy copies(&f.model, &journal::Journal::conflictCopiesFound);
        QSignalSpy changed(&f.model, &journal::Journal::changedOnDisk);
        QFile temporary(f.dir.filePath(QStringLiteral(".syncthing.velmora.js.tmp")));
        QVERIFY(temporary.open(QIODevice::WriteOnly));
        temporary.close();
        // Replaced by rename, again and again, as sync tools put a file in place.
        for (const QStringList& rows : {QStringList{A, B, C}, QStringList{A, C}, QStringList{A, C, D}}) {
            f.write(rows);
            QTRY_COMPARE(changed.count(), 1);
            f.model.followDisk();
            changed.clear();
        }
        QCOMPARE(copies.count(), 0);
        QVERIFY(textfile::writeAtomically(
            f.dir.filePath(QStringLiteral("velmora.sync-conflict-20261207-093015-K3X2R2T.js")),
            journal::journalBytes({B})));
        QTRY_VERIFY(copies.count() > 0);
        // One already there when the journal is opened is seen too.
        journal::Journal other;
        other.watchForOtherWriters();
        QSignalSpy seen(&other, &journal::Journal::conflictCopiesFound);
        other.open(f.path());
        QTRY_COMPARE(seen.count(), 1);
    }

    void theWatchSeesConflictCopiesBesideTheFileALinkLeadsTo()
    {
        Folder f;
        QTemporaryDir elsewhere;
        const QString link = elsewhere.filePath(QStringLiteral("velmora.js"));
        QVERIFY(QFile::link(f.path(), link));
        // The journal opened as it is and through a link in another folder:
        // the copies appear beside the file.
        for (const auto& [what, opened] : {std::pair{"itself", f.path()}, std::pair{"through a link", link}}) {
            journal::Journal model;
            model.open(opened);
            model.watchForOtherWriters();
            QSignalSpy copies(&model, &journal::Journal::conflictCopiesFound);
            const QString copy = f.dir.filePath(QStringLiteral("velmora.sync-conflict-20261207-093015-K3X2R2T.js"));
            QVERIFY(textfile::writeAtomically(copy, journal::journalBytes({B})));
            QTRY_VERIFY2(copies.count() > 0, what);
            QVERIFY(QFile::remove(copy));
        }
    }

    void aHoldEndsInIdle()
    {
        Folder f;
        QSignalSpy idle(&f.model, &journal::Journal::idle);
        {
            const journal::Journal::Busy outer(f.model);
            {
                const journal::Journal::Busy inner(f.model);
                QVERIFY(f.model.isBusy());
            }
            QCOMPARE(idle.count(), 0);
            f.model.open(f.path());  // a reload holds too
            QVERIFY(f.model.isBusy());
        }
        QVERIFY(!f.model.isBusy());
        QCOMPARE(idle.count(), 1);
    }

    void aReadInTheBackgroundIsTakenWhole()
    {
        // What reaches the model while the file is read on another thread,
        // and what it holds once the read is taken.
        const QString E = place("E", 5);
        const struct {
            const char* what;
            std::function<void(Folder&)> meanwhile;
            QStringList rows;
            int told;  // openedInBackground
            bool modified;
        } cases[] = {
            {"nothing: taken from the event loop", [](Folder&) {}, {C, D}, 1, false},
            {"an append lands after the rows read", [&](Folder& f) { f.model.append({E}); }, {C, D, E}, 1, true},
            {"an insert at the top goes before them", [&](Folder& f) { f.model.insert(0, {E}); }, {E, C, D}, 1, true},
            {"a newer open wins, the older read is dropped",
             [&](Folder& f) {
                 f.write({A});
                 f.model.open(f.path());
             },
             {A},
             0,
             false},
            {"a save writes the rows read, never an empty list",
             [&](Folder& f) {
                 QVERIFY(f.model
                             .save(
                                 1000, [](const Question&) { return Answer::Cancel; }, noLayer)
                             .written());
                 QCOMPARE(f.onDisk(), (QStringList{C, D}));
             },
             {C, D},
             1,
             false},
        };
        for (const auto& c : cases) {
            Folder f({A, B});
            f.write({C, D});
            QSignalSpy told(&f.model, &journal::Journal::openedInBackground);
            QSignalSpy idle(&f.model, &journal::Journal::idle);
            f.model.openInBackground(f.path());
            QVERIFY2(f.model.isBusy() && f.model.isOpening(), c.what);  // a capture waits
            c.meanwhile(f);
            QTRY_VERIFY2(!f.model.isOpening(), c.what);
            QTest::qWait(20);  // a dropped read posts nothing that lands late
            QVERIFY2(!f.model.isBusy(), c.what);
            QVERIFY2(idle.count() >= 1, c.what);
            QCOMPARE(f.model.rows(), c.rows);
            QCOMPARE(told.count(), c.told);
            if (c.told == 1)
                QCOMPARE(told.first().first().value<journal::ReadResult>().rows, (QStringList{C, D}));
            QCOMPARE(f.model.isModified(), c.modified);
        }
    }

    void aModelGoneBeforeItsReadEndsWaitsForIt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("velmora.js"));
        QVERIFY(textfile::writeAtomically(path, journal::journalBytes({A, B})));
        {
            journal::Journal model;
            model.openInBackground(path);
        }
        QTest::qWait(20);  // nothing posted to it lands
    }

    void theImportRule()
    {
        const QString longName = makeRow(QString(kMaxFieldLength + 1, u'n'), links::linkFor(5, 5), u"");
        const auto file = [](const QStringList& rows) {
            exchange::ImportFile f;
            f.shown = QStringLiteral("in.kml");
            f.found = exchange::parse(exchange::kmlBytes(rows));
            return f;
        };
        exchange::ImportFile bad;
        bad.shown = QStringLiteral("bad.kml");
        bad.found = exchange::parse("<kml><Placemark>");
        const struct {
            const char* what;
            QStringList held;
            QList<exchange::ImportFile> files;
            exchange::ImportPlan::Outcome outcome;
            QStringList rows;
            const char* why;
        } cases[] = {
            {"new places", {A}, {file({B, C})}, exchange::ImportPlan::Adds, {B, C}, ""},
            {"known places left out", {A, B}, {file({A, B, C})}, exchange::ImportPlan::Adds, {C}, ""},
            {"a known place with a long name", {longName}, {file({longName, C})}, exchange::ImportPlan::Adds, {C}, ""},
            {"a new place with a long name",
             {A},
             {file({longName, C})},
             exchange::ImportPlan::Refused,
             {},
             "has a name of 32768 characters"},
            {"all known", {A}, {file({A})}, exchange::ImportPlan::NothingNew, {}, ""},
            {"a second file repeats the first", {}, {file({B}), file({B, C})}, exchange::ImportPlan::Adds, {B, C}, ""},
            {"an ill-formed file", {A}, {file({B}), bad}, exchange::ImportPlan::Refused, {}, "not well-formed"},
        };
        for (const auto& c : cases) {
            const exchange::ImportPlan plan = exchange::planImport(c.held, c.files);
            QVERIFY2(plan.outcome == c.outcome, c.what);
            if (plan.outcome != exchange::ImportPlan::Refused)
                QVERIFY2(plan.rows == c.rows, c.what);
            QVERIFY2(plan.why.contains(QLatin1String(c.why)), qPrintable(plan.why));
        }
        QStringList full;
        for (int i = 0; i < kMaxRows; ++i)
            full << place("p", i % 90);
        const exchange::ImportPlan tooMany = exchange::planImport(full, {file({place("new", 89)})});
        QVERIFY(tooMany.tooMany());
        QCOMPARE(tooMany.rows.size(), 1);
    }

    void filesMadeToTrickTheReaderAreRefusedWhole()
    {
        const struct {
            const char* what;
            const char* file;
            QByteArray bytes;
            const char* saying;
        } cases[] = {
            {"100,000 levels in a name", "deep.kml",
             nestedName("<kml><Placemark><name>",
                        "</name><Point><coordinates>1,2</coordinates></Point></Placemark></kml>", 100000),
             "nested more than 200 deep"},
            {"100,000 levels in a description", "deep.gpx",
             nestedName("<gpx><wpt lat=\"1\" lon=\"2\"><desc>", "</desc></wpt></gpx>", 100000),
             "nested more than 200 deep"},
            {"billion laughs", "laughs.kml", hostilexml::kLaughs, "declares entities"},
            {"entities declared inside the root", "inside.gpx",
             "<gpx><!DOCTYPE gpx [<!ENTITY a \"aaaa\">]><wpt lat=\"1\" lon=\"2\"><name>&a;</name></wpt></gpx>",
             "not well-formed XML (line 1, column"},
            {"external entity", "external.gpx",
             "<!DOCTYPE gpx [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><gpx><wpt lat=\"1\" "
             "lon=\"2\"><name>&x;</name>"
             "</wpt></gpx>",
             "declares entities"},
            {"a default position from the DTD", "attlist.gpx",
             "<!DOCTYPE gpx [<!ATTLIST wpt lat CDATA \"45\" lon CDATA "
             "\"7\">]><gpx><wpt><name>Nowhere</name></wpt></gpx>",
             "\"Nowhere\" (line 1) has no latitude"},
            {"bytes that are not UTF-8", "latin.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><name>caf\xe9</name></wpt></gpx>",
             "not UTF-8"},
            {"a control character", "control.kml", "<kml>\x01</kml>", "U+0001, which XML forbids"},
            {"text after the root", "after.kml", kOnePlace + "and more", "text outside the root element"},
            {"zip bomb", "bomb.kmz", zipped(QByteArray(exchange::kMaxFileSize + 1, ' ')),
             "would inflate to more than 64 MB"},
            {"zip bomb lying about its size", "liar.kmz",
             zipped(QByteArray(exchange::kMaxFileSize + 1, ' '))
                 .replace(QByteArray("\x01\x00\x00\x04", 4), QByteArray("\x10\x00\x00\x00", 4)),
             "would inflate to more than 64 MB"},
            {"KMZ without KML", "nokml.kmz", zipped(kOnePlace).replace("doc.kml", "doc.txt"),
             "a KMZ archive without a KML document"},
            {"broken KMZ", "broken.kmz", zipped(kOnePlace).left(40), "not a readable KMZ archive"},
        };
        for (const auto& c : cases) {
            QTemporaryDir dir;
            const QString path = dir.filePath(QString::fromLatin1(c.file));
            QVERIFY(textfile::writeAtomically(path, c.bytes));
            const exchange::ImportPlan plan = exchange::planImport({A}, {exchange::readForImport(path)});
            QVERIFY2(plan.outcome == exchange::ImportPlan::Refused, c.what);
            QVERIFY2(plan.why.contains(QString::fromUtf8(c.saying)), qPrintable(plan.why));
        }
    }

    void newSettingsNotSavedAreSaidBeforeTheJournalIsReadAgain()
    {
        // The box about the settings file comes first, then the line that
        // the history is gone: the order in which they happened.
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QDir().mkdir(QStringLiteral("velmora.ini"));  // no file can be written there
        QVERIFY(textfile::writeAtomically(QStringLiteral("velmora.js"), journal::journalBytes({A, B})));
        Workspace open;
        open.openJournal();
        open.journal().history().remove(0);
        QSignalSpy forgotten(&open.journal(), &journal::Journal::historyForgotten);
        QStringList said;
        const ConfigureOutcome done = open.configure(Settings{}, [&](const QString& box) {
            said << box;
            QCOMPARE(forgotten.count(), 0);
            QCOMPARE(open.journal().rows(), QStringList{B});
        });
        QDir::setCurrent(before);
        QCOMPARE(said, QStringList{done.settingsNotSaved});
        QVERIFY(done.settingsNotSaved.startsWith(QStringLiteral("The settings could not be saved to ")));
        QCOMPARE(forgotten.count(), 1);
        QCOMPARE(open.journal().rows(), (QStringList{A, B}));
        QVERIFY(!open.journal().isModified());
    }
};

QTEST_GUILESS_MAIN(TestJournalModel)
#include "test_journalmodel.moc"
