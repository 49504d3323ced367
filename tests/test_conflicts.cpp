// Conflict copies of the journal left by sync tools: which names are
// copies, how a copy merges with and without this machine's merge base, and
// a save that takes the copies in, removes them and says so once.

#include "journal/conflicts.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/mergebase.h"
#include "journal/row.h"
#include "platform/userfolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "printers.h"

using journal::CopyMaker;

namespace {

QString place(const char* name, const char* comment = "")
{
    return makeRow(QString::fromUtf8(name), QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2"),
                   QString::fromUtf8(comment));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The state folder of each test is its own.
class Conflicts : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
        journal_ = dir_.filePath(QStringLiteral("velmora.js"));
    }
    QTemporaryDir dir_, state_;
    QString journal_;
};

}  // namespace

TEST(ConflictCopyNames, OnlyTheToolsNamingsAreCopies)
{
    const struct {
        const char* name;
        CopyMaker maker;
    } cases[] = {
        {"velmora.sync-conflict-20261207-093015-K3X2R2T.js", CopyMaker::Syncthing},
        {"velmora (conflicted copy 2026-12-07 093015).js", CopyMaker::Nextcloud},
        {"velmora (Laptop's conflicted copy 2026-12-07).js", CopyMaker::Dropbox},
        {"velmora (Anne-Marie's PC's conflicted copy 2026-12-07).js", CopyMaker::Dropbox},
        // Near misses: some other file.
        {"velmora.js", CopyMaker::None},
        {"velmora.sync-conflict-20261207-093015-k3x2r2t.js", CopyMaker::None},
        {"velmora.sync-conflict-2026127-093015-K3X2R2T.js", CopyMaker::None},
        {"velmora.sync-conflict-20261207-093015-K3X2R2T.js.tmp", CopyMaker::None},
        {"velmora.sync-conflict-20261207-093015-K3X2R2T.css", CopyMaker::None},
        {"velmoralib.sync-conflict-20261207-093015-K3X2R2T.js", CopyMaker::None},
        {"xvelmora.sync-conflict-20261207-093015-K3X2R2T.js", CopyMaker::None},
        {"velmora.sync-conflict-20261207-093015-K3X2R2T8.js", CopyMaker::None},
        {"velmora (conflicted copy 2026-12-07).js", CopyMaker::None},
        {"velmora (conflicted copy 2026-12-07 0930).js", CopyMaker::None},
        {"velmora (Laptop conflicted copy 2026-12-07).js", CopyMaker::None},
        {"velmora ('s conflicted copy 2026-12-07).js", CopyMaker::None},
        {"velmora (copy).js", CopyMaker::None},
        // The tools' temporary files are never journals.
        {".syncthing.velmora.js.tmp", CopyMaker::None},
        {"~syncthing~velmora.js.tmp", CopyMaker::None},
        {".~velmora.js", CopyMaker::None},
        {".velmora.sync-conflict-20261207-093015-K3X2R2T.js", CopyMaker::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(journal::copyMaker(QString::fromUtf8(c.name), QStringLiteral("velmora.js")), c.maker) << c.name;
}

TEST(UserFolders, RecordsAndLocksStayOutOfTheSaveFolder)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    const struct {
        const char* what;
        const char* variable;
        QString value;   // empty: unset
        QString folder;  // where it lands; empty: refused
    } cases[] = {
        {"state: its variable", "XDG_STATE_HOME", d + "/state", d + "/state/velmora"},
        {"state: a relative variable is ignored", "XDG_STATE_HOME", "state", d + "/home/.local/state/velmora"},
        {"state: by default under the home", "XDG_STATE_HOME", "", d + "/home/.local/state/velmora"},
        {"runtime: its variable", "XDG_RUNTIME_DIR", d + "/run", d + "/run/velmora"},
        {"runtime: unset, a folder of the user's own", "XDG_RUNTIME_DIR", "",
         QDir::tempPath() + "/velmora-" + QString::number(geteuid())},
    };
    const QByteArray home = qgetenv("HOME"), runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("HOME", QFile::encodeName(d + "/home"));
    QDir(d).mkpath("run");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.value.isEmpty())
            qunsetenv(c.variable);
        else
            qputenv(c.variable, QFile::encodeName(c.value));
        const bool state = QByteArray(c.variable) == "XDG_STATE_HOME";
        const QString folder = state ? userfolders::stateFolder() : userfolders::runtimeFolder();
        EXPECT_EQ(folder, c.folder);
        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(folder).constData(), &st), 0);
        if (!state) {
            EXPECT_EQ(st.st_mode & 077, 0u) << "a lock folder others may enter";
        }
    }
    // No home: no record, and no folder made at the root.
    qunsetenv("XDG_STATE_HOME");
    qputenv("HOME", "/");
    QString why;
    EXPECT_EQ(userfolders::stateFolder(&why), QString());
    EXPECT_FALSE(why.isEmpty());
    qputenv("HOME", home);
    if (!runtime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", runtime);
}

TEST(ConflictCopyMerge, NothingEitherSideAddedOrChangedIsLost)
{
    const QString a = place("A"), b = place("B"), c = place("C"), cEdited = place("C", "edited");
    const QString n1 = place("N1"), n2 = place("N2"), m1 = place("M1");
    const std::optional<QStringList> none;
    const struct {
        const char* what;
        std::optional<QStringList> base;
        QStringList ours, copy, merged;
    } cases[] = {
        {"each side added", QStringList{a, b}, {a, b, n1}, {a, b, m1}, {a, b, n1, m1}},
        {"a removal on one side is taken", QStringList{a, b, c}, {a, c}, {a, b, c, m1}, {a, c, m1}},
        {"a removal in the copy is taken", QStringList{a, b, c}, {a, b, c, n1}, {a, c}, {a, c, n1}},
        {"an edit in the copy is taken", QStringList{a, b, c}, {a, b, c, n1}, {a, b, cEdited}, {a, b, cEdited, n1}},
        {"both added the same place", QStringList{a}, {a, n1}, {a, n1}, {a, n1}},
        {"the ten new places, the edit and the removal",
         QStringList{a, b, c},
         {a, c, n1, n2},
         {a, b, cEdited, m1},
         {a, cEdited, n1, n2, m1}},
        {"no base: every place of both", none, {a, n1}, {a, b, m1}, {a, n1, b, m1}},
        {"no base: exact duplicates once", none, {a, b, b}, {b, a, b, n2}, {a, b, b, n2}},
        {"no base: a removal comes back", none, {a}, {a, b}, {a, b}},
        {"no base: both versions of an edit stay", none, {a, c}, {a, cEdited}, {a, c, cEdited}},
    };
    for (const auto& t : cases)
        EXPECT_EQ(journal::mergedWithCopy(t.base, t.ours, t.copy), t.merged) << t.what;
}

TEST_F(Conflicts, TheBaseIsTheLastVersionReadFromAnotherWriter)
{
    const QByteArray shared = journal::journalBytes({place("A")});
    const QByteArray mine = journal::journalBytes({place("A"), place("N1")});
    EXPECT_EQ(journal::mergebase::rows(journal_), std::nullopt);
    journal::mergebase::noteWritten(journal_, journal::fingerprintOf(mine));
    journal::mergebase::noteRead(journal_, shared, journal::fingerprintOf(shared));
    EXPECT_EQ(journal::mergebase::rows(journal_), QStringList{place("A")});
    // What this machine wrote, read back, is one side of any conflict to come.
    journal::mergebase::noteRead(journal_, mine, journal::fingerprintOf(mine));
    EXPECT_EQ(journal::mergebase::rows(journal_), QStringList{place("A")});
    EXPECT_TRUE(journal::mergebase::recordPath(journal_).startsWith(state_.path() + QStringLiteral("/velmora/")));
    EXPECT_FALSE(journal::mergebase::recordPath(journal_).startsWith(dir_.path()));
}

TEST_F(Conflicts, ASaveTakesTheCopiesInRemovesThemAndSaysSoOnce)
{
    // This machine read {A, B, C}; it then added N1, the other machine
    // removed B and added M1..M5, and the sync tool kept the other's as a copy.
    writeFile(journal_, journal::journalBytes({place("A"), place("B"), place("C")}));
    journal::Journal model;
    model.open(journal_);
    const QString copy = dir_.filePath(QStringLiteral("velmora.sync-conflict-20261207-093015-K3X2R2T.js"));
    const QString notes = dir_.filePath(QStringLiteral("velmora (conflicted copy 2026-12-07 093015).js"));
    const QString temporary = dir_.filePath(QStringLiteral(".syncthing.velmora.js.tmp"));
    writeFile(copy, journal::journalBytes(
                        {place("A"), place("C"), place("M1"), place("M2"), place("M3"), place("M4"), place("M5")}));
    writeFile(notes, "Places to see:\r\n");
    writeFile(temporary, journal::journalBytes({place("T")}));
    const journal::Journal::SaveResult saved = model.saveEdited(
        journal_, 0,
        [&] {
            model.append({place("N1")});
            return true;
        },
        [](const QStringList&) { return QStringList(); });
    ASSERT_TRUE(saved.written()) << saved.why.toStdString();
    // The copy is taken in first; the edit then works on the journal with it.
    const QStringList expected{place("A"),  place("C"),  place("M1"), place("M2"),
                               place("M3"), place("M4"), place("M5"), place("N1")};
    EXPECT_EQ(model.rows(), expected);
    EXPECT_EQ(journal::readJournalFile(journal_).rows, expected);
    EXPECT_EQ(saved.copiesMerged,
              QStringList{QStringLiteral("Merged 5 places from velmora.sync-conflict-20261207-093015-K3X2R2T.js")});
    ASSERT_EQ(saved.copiesLeft.size(), 1);
    EXPECT_TRUE(saved.copiesLeft[0].contains(QLatin1String("velmora (conflicted copy 2026-12-07 093015).js")));
    EXPECT_FALSE(QFile::exists(copy));
    EXPECT_TRUE(QFile::exists(notes)) << "an unreadable copy stays";
    EXPECT_TRUE(QFile::exists(temporary));

    // The next save finds nothing new to say.
    const journal::Journal::SaveResult again = model.saveEdited(
        journal_, 0, [] { return false; }, [](const QStringList&) { return QStringList(); });
    EXPECT_TRUE(again.copiesMerged.isEmpty());
    EXPECT_TRUE(again.copiesLeft.isEmpty());
    EXPECT_EQ(journal::readJournalFile(journal_).rows, expected);
}
