// The journal file "velmora.js": escaping, exact line bytes, the reader's
// line rules and its report of unread text, and the all-or-nothing save.

#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "printers.h"
#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using journal::journalBytes;
using journal::parseJournal;

namespace {

QStringList roundTrip(const QStringList& rows)
{
    return parseJournal(journalBytes(rows)).rows;
}

QString row(const char* name, const char* link, const char* comment)
{
    return makeRow(QString::fromUtf8(name), QString::fromUtf8(link), QString::fromUtf8(comment));
}

const char* const kParis = "add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\",\"x\");";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

TEST(JournalFile, OneEntryIsOneExactLine)
{
    const QStringList rows{row("Paris", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "x")};
    EXPECT_EQ(journalBytes(rows), QByteArray(kParis) + "\r\n");
    EXPECT_EQ(roundTrip(rows), rows);
}

TEST(JournalFile, EmptyJournalIsAnEmptyFile)
{
    EXPECT_TRUE(journalBytes({}).isEmpty());
    const journal::ReadResult r = parseJournal(QByteArray());
    EXPECT_TRUE(r.opened);
    EXPECT_TRUE(r.rows.isEmpty());
    EXPECT_TRUE(r.complete());
}

TEST(JournalFile, MarkupCharactersAreEscapedAndComeBack)
{
    const QStringList rows{row("<b>\"Joe's\"</b>", "worldwind://goto/world=Earth", "it's > 5 & < 9")};
    const QByteArray b = journalBytes(rows);
    EXPECT_EQ(b, QByteArray("add_place(\"&lt;b&gt;&quot;Joe&#39;s&quot;&lt;/b&gt;\",\"worldwind://goto/world=Earth\","
                            "\"it&#39;s &gt; 5 & &lt; 9\");\r\n"));
    EXPECT_EQ(roundTrip(rows), rows);
}

TEST(JournalFile, AmpersandsAndEmptyFieldsSurvive)
{
    const QStringList rows{row("Rock & Roll", "worldwind://goto/world=Earth&lat=1&lon=2", "AT&T; &amp;"),
                           row("", "", "")};
    const QByteArray b = journalBytes(rows);
    EXPECT_TRUE(b.startsWith("add_place(\"Rock & Roll\","));
    EXPECT_TRUE(b.contains("\r\nadd_place(\"\",\"\",\"\");\r\n"));
    EXPECT_EQ(roundTrip(rows), rows);
}

// "&" is not escaped, so an entity typed literally turns into its character
// after a save and reload. Long-standing behaviour, kept for old journals.
TEST(JournalFile, LiteralEntityTextComesBackAsItsCharacter)
{
    const QStringList rows{row("&lt;a&gt; &quot;&#39; &#321;", "l", "&#92;")};
    EXPECT_TRUE(journalBytes(rows).startsWith("add_place(\"&lt;a&gt; &quot;&#39; &#321;\""));
    EXPECT_EQ(roundTrip(rows), QStringList{row("<a> \"' \xC5\x81", "l", "\\")});
}

TEST(JournalFile, CharactersOutsideTheCodePageAndBackslashesAreReferences)
{
    const QStringList rows{row("\xC5\x81\xC3\xB3"
                               "d\xC5\xBA \xE2\x82\xAC \xF0\x9F\x8C\x8D",
                               "l", "C:\\Maps\\ caf\xC3\xA9")};
    const QByteArray b = journalBytes(rows);
    // é and € are in the code page and stay single bytes; Ł, ź and the
    // astral globe become one reference each, never a "?".
    EXPECT_EQ(b, QByteArray("add_place(\"&#321;\xF3"
                            "d&#378; \x80 &#127757;\",\"l\","
                            "\"C:&#92;Maps&#92; caf\xE9\");\r\n"));
    EXPECT_EQ(roundTrip(rows), rows);
}

TEST(JournalFile, LinkQuotesAndBackslashesArePercentEncoded)
{
    const QStringList rows{row("n", "worldwind://goto/world=\"Mars\"&x=a\\b&\xC5\x81", "c")};
    EXPECT_EQ(journalBytes(rows),
              QByteArray("add_place(\"n\",\"worldwind://goto/world=%22Mars%22&x=a%5Cb&%C5%81\",\"c\");\r\n"));
    EXPECT_EQ(roundTrip(rows), QStringList{row("n", "worldwind://goto/world=%22Mars%22&x=a%5Cb&%C5%81", "c")});
}

TEST(JournalFile, RowsCannotHoldTabsOrLineBreaks)
{
    const QString r = makeRow(QStringLiteral("a\tb\r\nc"), QStringLiteral("l\tm"), QStringLiteral("x\ny\rz"));
    EXPECT_EQ(r, QStringLiteral("a b  c\tl%09m\tx y z"));
    EXPECT_EQ(roundTrip({r}), QStringList{r});

    // References to them in a hand-edited file cannot smuggle them in either.
    const journal::ReadResult read = parseJournal("add_place(\"a&#9;b\",\"l\",\"c&#13;&#10;d\");\r\n");
    EXPECT_EQ(read.rows, QStringList{QStringLiteral("a b\tl\tc  d")});
}

TEST(JournalFile, LinesReadStraightOrThroughTheEscapingGiveTheSameRows)
{
    // Raw bytes a hand-edited file may hold, each field alone: what the
    // reading must make of them whether or not the line needs unescaping.
    const struct {
        const char* line;
        const char16_t* row;
    } cases[] = {
        {"add_place(\"plain\",\"worldwind://x&lat=1\",\"text\");\r\n", u"plain\tworldwind://x&lat=1\ttext"},
        {"add_place(\"a\tb\",\"l\",\"c\");\r\n", u"a b\tl\tc"},
        {"add_place(\"a\",\"l\tm\",\"c\");\r\n", u"a\tl%09m\tc"},
        {"add_place(\"a\",\"l\",\"c\td\");\r\n", u"a\tl\tc d"},
        {"add_place(\"a\nb\",\"l\",\"c\nd\");\r\n", u"a b\tl\tc d"},
        {"add_place(\"R&amp;B\",\"l\",\"x\");\r\n", u"R&amp;B\tl\tx"},
        {"add_place(\"&gt;\",\"l&gt;\",\"&#233;\");\r\n", u">\tl&gt;\t\u00e9"},
        {"add_place(\"\x80\x9f\xe9\",\"\x81\",\"\x8c\");\r\n", u"\u20ac\u0178\u00e9\t\u0081\t\u0152"},
        {"add_place(\"\",\"\",\"\");\r\n", u"\t\t"},
        {"add_place(\"n\",\"l\",\"no end\r\n", u"n\tl\tno end"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseJournal(c.line).rows, QStringList{QString::fromUtf16(c.row)}) << c.line;
}

TEST(JournalFile, RowsGiveThreePiecesMissingOnesEmptyFurtherOnesIgnored)
{
    EXPECT_EQ(journalBytes({QStringLiteral("only"), QStringLiteral("n\tl"), QStringLiteral("n\tl\tc\textra")}),
              QByteArray("add_place(\"only\",\"\",\"\");\r\nadd_place(\"n\",\"l\",\"\");\r\n"
                         "add_place(\"n\",\"l\",\"c\");\r\n"));
    const RowFields f = splitRow(u"n\tl\tc\textra");
    EXPECT_EQ(f.name + u'|' + f.link + u'|' + f.comment, QStringLiteral("n|l|c"));
}

TEST(JournalFile, LinesEndAtCrLfOrLoneCr)
{
    const QByteArray line = kParis;
    const journal::ReadResult r = parseJournal(line + "\r\n" + line + "\r" + line);
    EXPECT_EQ(r.rows.size(), 3);
    EXPECT_TRUE(r.complete());
}

TEST(JournalFile, LfOnlyFileLoadsItsFirstEntryAndSaysSo)
{
    const QByteArray line = kParis;
    const journal::ReadResult r = parseJournal(line + "\n" + line + "\n" + line + "\n");
    EXPECT_EQ(r.rows, QStringList{row("Paris", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "x")});
    EXPECT_EQ(r.firstCrowdedLine, 1);
    EXPECT_EQ(r.stoppedAtLine, 0);
    EXPECT_EQ(r.placesInFile, 3);
    EXPECT_FALSE(r.complete());

    // A single LF-terminated entry loses nothing.
    EXPECT_TRUE(parseJournal(line + "\n").complete());
    EXPECT_EQ(parseJournal(line + "\n").firstCrowdedLine, 0);
}

TEST(JournalFile, BlankLinesAreSkippedButBlankOnlyLinesEndReading)
{
    const QByteArray line = QByteArray(kParis) + "\r\n";
    journal::ReadResult r = parseJournal("\r\n" + line + "\r\n\r\n" + line);
    EXPECT_EQ(r.rows.size(), 2);
    EXPECT_EQ(r.stoppedAtLine, 0);

    r = parseJournal(line + "   \r\n" + line);
    EXPECT_EQ(r.rows.size(), 1);
    EXPECT_EQ(r.stoppedAtLine, 2);
    EXPECT_EQ(r.placesInFile, 2);

    // Trailing blanks lose no entry, so they are not reported.
    r = parseJournal(line + line + "  \t \r\n\r\n \r\n");
    EXPECT_EQ(r.rows.size(), 2);
    EXPECT_EQ(r.stoppedAtLine, 0);
    EXPECT_TRUE(r.complete());
}

TEST(JournalFile, MalformedLineEndsReadingAndGivesItsLineNumber)
{
    const QByteArray line = QByteArray(kParis) + "\r\n";
    const journal::ReadResult r = parseJournal(line + "\r\n" + line + "add_place(\"cut\",\"short\r\n" + line + line);
    EXPECT_EQ(r.rows.size(), 2);
    EXPECT_EQ(r.stoppedAtLine, 4);  // the skipped blank line still counts
    EXPECT_EQ(r.placesInFile, 4);
}

TEST(JournalFile, CrowdedLineIsNamedAndReadingGoesOn)
{
    const QByteArray line = QByteArray(kParis);
    const journal::ReadResult r = parseJournal(line + "\r\n" + line + "\r\n" + line + "\n" + line + "\r\n" + line
                                               + "\r\n");
    EXPECT_EQ(r.rows.size(), 4);
    EXPECT_EQ(r.firstCrowdedLine, 3);
    EXPECT_EQ(r.stoppedAtLine, 0);
    EXPECT_EQ(r.placesInFile, 5);
}

TEST(JournalFile, ByteOrderMarkAndZeroWidthNoBreakSpace)
{
    // An editor's byte-order mark is not part of the first name...
    EXPECT_EQ(parseJournal("\xEF\xBB\xBF" + QByteArray(kParis)).rows.value(0).left(6), QStringLiteral("Paris\t"));
    // ...while the same character inside a name survives a save.
    const QStringList rows{makeRow(u"\uFEFFa\uFEFF", u"l", u"\uFEFF")};
    EXPECT_TRUE(journalBytes(rows).startsWith("add_place(\"&#65279;a&#65279;\""));
    EXPECT_EQ(roundTrip(rows), rows);
}

TEST(JournalFile, FiveQuotesAreEnoughForAnEntry)
{
    const journal::ReadResult r = parseJournal("x\"n\"y\"l\"z\"comment without end\r\n");
    EXPECT_EQ(r.rows, QStringList{QStringLiteral("n\tl\tcomment without end")});
    EXPECT_TRUE(r.complete());
}

TEST(JournalFile, TextAfterAnEntryStopsTheReadingThere)
{
    const QByteArray paris = QByteArray(kParis) + "\r\n";
    const struct {
        QByteArray line;
        bool read;
    } cases[] = {
        {"add_place(\"a\",\"l\",\"c\");alert(1);//", false},
        {"add_place(\"a\",\"l\",\"c\",\"fourth\");", false},
        {"add_place(\"a\",\"l\",\"c\"); // a note", false},
        {"add_place(\"a\",\"l\",\"c\")x", false},
        {"add_place(\"a\",\"l\",\"c\");", true},
        {"add_place(\"a\",\"l\",\"c\") ; \t", true},
        {"add_place(\"a\",\"l\",\"c\"", true},
        {"add_place(\"a\",\"l\",\"c", true},
    };
    for (const auto& c : cases) {
        const journal::ReadResult r = parseJournal(paris + c.line + "\r\n" + paris);
        EXPECT_EQ(r.complete(), c.read) << c.line.constData();
        EXPECT_EQ(r.rows.size(), c.read ? 3 : 1) << c.line.constData();
        EXPECT_EQ(r.stoppedAtLine, c.read ? 0 : 2) << c.line.constData();
        EXPECT_EQ(r.placesInFile, 3) << c.line.constData();
    }
}

TEST(JournalFile, ReadingAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QString::fromLatin1(journal::kFileName));
    const journal::ReadResult missing = journal::readJournalFile(path);
    EXPECT_FALSE(missing.opened);
    EXPECT_TRUE(missing.rows.isEmpty());

    const QStringList rows{row("Ca\xC3\xB1on & \xC5\x81\xC3\xB3"
                               "d\xC5\xBA",
                               "worldwind://goto/world=Earth", "")};
    ASSERT_TRUE(textfile::writeAtomically(path, journalBytes(rows)));
    const journal::ReadResult read = journal::readJournalFile(path);
    EXPECT_TRUE(read.opened);
    EXPECT_EQ(read.rows, rows);
}

// The swap must fall between the reader's look at the file and its open:
// many reads, for a while, while another thread swaps the journal and a
// pipe by renames. No read blocks, and some find the journal whole.
TEST(JournalFile, AJournalSwappedForAPipeWhileReadNeverBlocks)
{
    QTemporaryDir dir;
    const QStringList rows{row("Paris", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "")};
    const QString path = dir.filePath(QStringLiteral("velmora.js"));
    ASSERT_TRUE(textfile::writeAtomically(path, journalBytes(rows)));
    const QByteArray file = QFile::encodeName(path), fifo = file + ".pipe", spare = file + ".spare";
    ASSERT_TRUE(QFile::copy(path, QString::fromLocal8Bit(spare)) && mkfifo(fifo.constData(), 0644) == 0);
    std::atomic<bool> done = false;
    std::thread swapper([&] {
        while (!done) {
            rename(file.constData(), spare.constData());
            rename(fifo.constData(), file.constData());
            rename(file.constData(), fifo.constData());
            rename(spare.constData(), file.constData());
        }
    });
    int whole = 0;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
         std::chrono::steady_clock::now() < end;) {
        const journal::ReadResult r = journal::readJournalFile(path);
        whole += r.opened && r.complete() && r.rows == rows;
    }
    done = true;
    swapper.join();
    EXPECT_GT(whole, 0);
    EXPECT_EQ(journal::readJournalFile(path).rows, rows);
}

// The web view's files are copied beside the journal only from regular
// files, and never over a file that is there.
TEST(TextFile, APipeIsNotCopiedAndNothingIsCopiedOver)
{
    QTemporaryDir from, to;
    ASSERT_EQ(mkfifo(QFile::encodeName(from.filePath(QStringLiteral("velmora.html"))).constData(), 0644), 0);
    ASSERT_TRUE(textfile::writeAtomically(from.filePath(QStringLiteral("velmora.css")), "body {}"));
    const auto copy = [&](const char* name) {
        return textfile::copyIfMissing(from.filePath(QLatin1String(name)), to.filePath(QLatin1String(name)));
    };
    EXPECT_FALSE(copy("velmora.html"));
    EXPECT_FALSE(QFileInfo::exists(to.filePath(QStringLiteral("velmora.html"))));
    EXPECT_TRUE(copy("velmora.css"));
    ASSERT_TRUE(textfile::writeAtomically(from.filePath(QStringLiteral("velmora.css")), "changed"));
    EXPECT_FALSE(copy("velmora.css"));
    EXPECT_EQ(readAll(to.filePath(QStringLiteral("velmora.css"))), QByteArray("body {}"));
}

TEST(TextFile, WriteIntoMissingFolderFailsAndLeavesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("gone/velmora.js"));
    QString error;
    EXPECT_FALSE(textfile::writeAtomically(path, "data", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(TextFile, ReplacingAFileKeepsNoLeftovers)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("velmora.js"));
    ASSERT_TRUE(textfile::writeAtomically(path, "a much longer old journal\r\n"));
    ASSERT_TRUE(textfile::writeAtomically(path, "new\r\n"));
    EXPECT_EQ(readAll(path), QByteArray("new\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("velmora.js")});
}

namespace {

// Runs `body` in a fresh folder as a user that permissions stop: under root
// (as in CI) in a child process that gives up root first.
void asUnprivileged(const std::function<void(const QString& folder)>& body)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    if (geteuid() != 0) {
        body(dir.path());
        return;
    }
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(chown(QFile::encodeName(dir.path()).constData(), kNobody, kNobody), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(3);
        body(dir.path());
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unprivileged part failed";
}

void chmodPath(const QString& path, mode_t mode)
{
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
}

}  // namespace

TEST(Permissions, UnreadableJournalIsNotCompleteAndSaysWhy)
{
    asUnprivileged([](const QString& folder) {
        const QString path = folder + QStringLiteral("/velmora.js");
        ASSERT_TRUE(textfile::writeAtomically(path, QByteArray(kParis) + "\r\n"));
        for (mode_t mode : {0000, 0200}) {  // no rights, write-only
            chmodPath(path, mode);
            const journal::ReadResult r = journal::readJournalFile(path);
            EXPECT_TRUE(r.exists);
            EXPECT_FALSE(r.opened);
            EXPECT_EQ(r.whyNotRead, QStringLiteral("Permission denied"));
            EXPECT_FALSE(r.complete());
            EXPECT_EQ(r.placesInFile, -1);
        }
    });
}

TEST(Permissions, ReadOnlyFolderWithWritableJournalRefusesTheSave)
{
    asUnprivileged([](const QString& folder) {
        const QString path = folder + QStringLiteral("/velmora.js");
        ASSERT_TRUE(textfile::writeAtomically(path, "old\r\n"));
        chmodPath(folder, 0555);
        // Never rewritten in place: a write cut short there would leave it short.
        QString error;
        EXPECT_FALSE(textfile::writeAtomically(path, "new, and longer\r\n", &error));
        EXPECT_EQ(readAll(path), QByteArray("old\r\n"));
        EXPECT_TRUE(error.startsWith(
            QStringLiteral("the folder %1 does not let the program create files in it").arg(QDir::cleanPath(folder))))
            << qPrintable(error);
        const QString other = folder + QStringLiteral("/velmora.xml");
        EXPECT_FALSE(textfile::writeAtomically(other, "x", &error));
        chmodPath(folder, 0755);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("velmora.js")});
    });
}

TEST(TextFile, LeftoverCopiesOfOurSavesGoButNothingElse)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("velmora.js"));
    // What a save killed before its rename leaves: a marked copy that no
    // live save holds.
    const auto copyOfOurs = [&](const char* suffix) {
        const QString name = path + QLatin1String(suffix);
        ASSERT_TRUE(textfile::writeAtomically(name, "half a journal"));
        ASSERT_EQ(setxattr(QFile::encodeName(name).constData(), "user.velmora.temporary", "1", 1, 0), 0);
    };
    copyOfOurs(".AbCdEf");
    copyOfOurs(".zzzzzz");
    // The user's own files of the same shape, and ours of other shapes.
    for (const char* name : {"velmora.js.backup", "velmora.js.before1", "velmora.js.AbCdE", "velmora.jsXAbCdEf"})
        ASSERT_TRUE(textfile::writeAtomically(dir.filePath(QString::fromLatin1(name)), "keep"));
    copyOfOurs("x.Abcdef");  // another file's copy

    ASSERT_TRUE(textfile::writeAtomically(path, "journal"));
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(left, (QStringList{"velmora.js", "velmora.js.AbCdE", "velmora.js.backup", "velmora.js.before1",
                                 "velmora.jsXAbCdEf", "velmora.jsx.Abcdef"}));
    // The saved file itself carries no mark.
    char value[2];
    EXPECT_LT(getxattr(QFile::encodeName(path).constData(), "user.velmora.temporary", value, sizeof value), 0);
}

TEST(JournalFile, NeverBuiltPastTheLimitItCouldBeReadBackWithin)
{
    const QStringList rows = {makeRow(u"A", u"worldwind://goto/world=Earth&lat=1&lon=2", u"x"),
                              makeRow(u"B \"<>\"", u"l", u"")};
    const QByteArray whole = journal::journalBytes(rows);
    EXPECT_EQ(journal::journalBytesWithin(rows, whole.size()), whole);
    EXPECT_EQ(journal::journalBytesWithin(rows, whole.size() - 1), std::nullopt);
    EXPECT_EQ(journal::journalBytesWithin({}, 0), QByteArray());
}

TEST(JournalFile, WritersTakeTurns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("velmora.js"));
    journal::WriteTurn first(path), second(path);
    ASSERT_TRUE(first.take(0));
    QString why;
    EXPECT_FALSE(second.take(100, &why));
    EXPECT_TRUE(why.contains(QLatin1String("is writing it"))) << why.toStdString();
    first.release();
    EXPECT_TRUE(second.take(0));
}

// The save of the journal model: its steps happen in order, each failure
// stops the ones after it, and the layer is written while the turn is held.
TEST(JournalModel, SaveWritesTheJournalThenTheLayerUnderTheTurn)
{
    using Saved = journal::Journal::SaveResult;
    enum class Block { Nothing, Turn, Prepare, Folder };
    struct Case {
        const char* what;
        Block block;
        Saved::Outcome outcome;
    };
    const Case cases[] = {
        {"written", Block::Nothing, Saved::Written},
        {"another writer's turn", Block::Turn, Saved::NoTurn},
        {"stopped before writing", Block::Prepare, Saved::Stopped},
        {"a missing folder", Block::Folder, Saved::NotWritten},
    };
    const QStringList rows{row("Paris", "worldwind://goto/world=Earth&lat=48.85&lon=2.35", "x")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(c.block == Block::Folder ? QStringLiteral("gone/velmora.js")
                                                                   : QStringLiteral("velmora.js"));
        journal::WriteTurn other(path);
        if (c.block == Block::Turn) {
            ASSERT_TRUE(other.take(0));
        }
        journal::Journal model;
        bool prepared = false, layerUnderTurn = false;
        QStringList layerRows;
        const Saved saved = model.saveEdited(
            path, 50,
            [&] {
                prepared = true;
                if (c.block == Block::Prepare)
                    return false;
                model.append(rows);
                return true;
            },
            [&](const QStringList& written) {
                layerRows = written;
                layerUnderTurn = !journal::WriteTurn(path).take(0);
                return QStringList{QStringLiteral("layer: not written")};
            });
        EXPECT_EQ(saved.outcome, c.outcome);
        // A missing folder is told at the turn already: no lock can be made there.
        EXPECT_EQ(prepared, c.block != Block::Turn && c.block != Block::Folder);
        const bool written = c.outcome == Saved::Written;
        EXPECT_EQ(QFileInfo::exists(path), written);
        EXPECT_EQ(layerRows, written ? rows : QStringList());
        EXPECT_EQ(layerUnderTurn, written);
        EXPECT_EQ(saved.layerFailures, written ? QStringList{QStringLiteral("layer: not written")} : QStringList());
        EXPECT_EQ(saved.why.isEmpty(), c.outcome == Saved::Written || c.outcome == Saved::Stopped);
        if (c.block != Block::Turn && c.block != Block::Folder) {
            EXPECT_TRUE(journal::WriteTurn(path).take(0)) << "the turn was given back";
        }
        if (written) {
            EXPECT_EQ(model.rows(), rows);
            EXPECT_EQ(journal::readJournalFile(path).rows, rows);
        }
    }
    EXPECT_TRUE(journal::Journal::hasRoom(kMaxRows - 1));
    EXPECT_FALSE(journal::Journal::hasRoom(kMaxRows));
    EXPECT_FALSE(journal::Journal::hasRoom(kMaxRows - 2, 3));
}
