// Bad inputs a user's files can hold, through the open journal as start-up
// and Save use it: read the settings and the journal, add a place, save.
// Each case either works or says what is wrong, and no place of the
// journal is lost without a question first.

#include "journal/journalfile.h"
#include "journal/writeturn.h"
#include "startfolder.h"
#include "workspace/workspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScopeGuard>

#include <sys/mount.h>
#include <sys/stat.h>

using journal::Journal;
using namespace testfolder;
using Saved = journal::Journal::SaveResult;

namespace {

const QByteArray kMark = "\xEF\xBB\xBF";
constexpr int kNotAsked = -2;

// A small file system that fills up, where the test may mount one.
class SmallDisk {
public:
    explicit SmallDisk(const QString& path) : path_(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        mounted_ = mount("tmpfs", path_.constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            umount(path_.constData());
    }
    bool mounted() const { return mounted_; }

private:
    QByteArray path_;
    bool mounted_ = false;
};

enum class Odd {
    None,
    JournalFolder,
    JournalPipe,
    JournalToZero,
    SettingsPipe,
    WorldWind,
    AddOnsFile,
    FullDisk,
    LockPipe
};

struct Case {
    const char* name;
    QByteArray settings;
    QByteArray journal;  // in the save folder the settings name
    Odd odd;
    // The places start-up reads; -1 when the settings are refused: the
    // journal then stays unread.
    int read;
    // The places in the file that the save's question names, or kNotAsked.
    int asked;
    Journal::Answer answer;
    Saved::Outcome outcome;
    // In why the journal was not read, or not written, or in the layer's
    // failures ("": none).
    const char* says;
};

const QByteArray kNoWorldWind = "holds no World Wind";

const std::vector<Case>& cases()
{
    using A = Journal::Answer;
    static const QByteArray hugeLine = "add_place(\"" + QByteArray(10 * 1024 * 1024, 'n') + "\",\"l\",\"c\");\r\n";
    static const QByteArray nulAndC1 = [] {
        QByteArray c1;
        for (int b = 0x80; b < 0xA0; ++b)
            c1 += char(b);
        const QByteArray nul(1, '\0');
        return "add_place(\"a" + nul + "b" + c1 + "\",\"l\",\"" + nul + nul + c1 + "\");\r\n" + kRock + "\r\n";
    }();
    static const std::vector<Case> all = {
        {"LF-only journal: the save asks, Cancel keeps the file", settingsFile(),
         kParis + "\n" + kRock + "\n" + kParis + "\n", Odd::None, 1, 3, A::Cancel, Saved::Stopped, ""},
        {"LF-only journal saved anyway", settingsFile(), kParis + "\n" + kRock + "\n", Odd::None, 1, 2, A::SaveOver,
         Saved::Written, kNoWorldWind},
        {"a 10 MB line", settingsFile(), hugeLine, Odd::None, 1, kNotAsked, A::Cancel, Saved::Written, kNoWorldWind},
        {"NUL bytes and bytes 0x80 to 0x9F, into the layer too", settingsFile(".\\", "ww"), nulAndC1, Odd::WorldWind, 2,
         kNotAsked, A::Cancel, Saved::Written, ""},
        {"journal that is a folder",
         settingsFile(),
         {},
         Odd::JournalFolder,
         0,
         -1,
         A::Cancel,
         Saved::Stopped,
         "it is a folder, not a file"},
        {"journal that is a pipe",
         settingsFile(),
         {},
         Odd::JournalPipe,
         0,
         -1,
         A::Cancel,
         Saved::Stopped,
         "it is not a regular file"},
        {"journal linked to /dev/zero",
         settingsFile(),
         {},
         Odd::JournalToZero,
         0,
         -1,
         A::Cancel,
         Saved::Stopped,
         "it is not a regular file"},
        {"settings rejected: the unread journal is not emptied", settingsFile(".\\", ".\\", "arial", "99999"),
         kTwoPlaces, Odd::None, -1, 2, A::Cancel, Saved::Stopped, ""},
        {"settings file that is a pipe does not hang the start",
         {},
         kTwoPlaces,
         Odd::SettingsPipe,
         -1,
         2,
         A::Cancel,
         Saved::Stopped,
         ""},
        {"missing save folder",
         settingsFile("missing"),
         {},
         Odd::None,
         0,
         kNotAsked,
         A::Cancel,
         Saved::NotWritten,
         "does not exist"},
        {"empty save folder is the start folder", settingsFile(""), kTwoPlaces, Odd::None, 2, kNotAsked, A::Cancel,
         Saved::Written, kNoWorldWind},
        {"byte-order marks in front of the settings and the journal", kMark + settingsFile(), kMark + kTwoPlaces,
         Odd::None, 2, kNotAsked, A::Cancel, Saved::Written, kNoWorldWind},
        {"World Wind's add-ons is a file", settingsFile(".\\", "ww"), kTwoPlaces, Odd::AddOnsFile, 2, kNotAsked,
         A::Cancel, Saved::Written, "\"add-ons/earth\" does not exist"},
        {"full disk", settingsFile("small"), kTwoPlaces, Odd::FullDisk, 2, kNotAsked, A::Cancel, Saved::NotWritten,
         "No space left on device"},
        {"journal of notes only: the save asks", settingsFile(), "Places to see:\r\n- the lighthouse\r\n", Odd::None, 0,
         0, A::Cancel, Saved::Stopped, ""},
        {"lock that is a pipe: the save says so", settingsFile(), kTwoPlaces, Odd::LockPipe, 2, kNotAsked, A::Cancel,
         Saved::NotWritten, "is a named pipe, not a lock file of the program"},
    };
    return all;
}

// Lays out the case's odd file or folder; false when it cannot be made here.
bool layOut(const StartFolder& start, const Case& c, std::unique_ptr<SmallDisk>& disk)
{
    const QString journal = start.path(c.odd == Odd::FullDisk ? "small/velmora.js" : "velmora.js");
    const QByteArray journalName = QFile::encodeName(journal);
    bool made = true;
    switch (c.odd) {
    case Odd::JournalFolder: return QDir().mkdir(journal);
    case Odd::JournalPipe: return mkfifo(journalName.constData(), 0600) == 0;
    case Odd::JournalToZero: return QFile::link("/dev/zero", journal);
    case Odd::SettingsPipe: made = mkfifo(QFile::encodeName(start.path("velmora.ini")).constData(), 0600) == 0; break;
    case Odd::AddOnsFile:
        start.write("ww/add-ons", "not a folder");
        made = QDir().mkpath(start.path("ww/config/earth"));
        break;
    case Odd::WorldWind:
        made = QDir().mkpath(start.path("ww/add-ons/earth")) && QDir().mkpath(start.path("ww/config/earth"));
        break;
    case Odd::FullDisk:
        disk = std::make_unique<SmallDisk>(start.path("small"));
        made = disk->mounted();
        break;
    case Odd::LockPipe: {
        // In a runtime folder of the case's own.
        made = QDir().mkpath(start.path("run")) && chmod(QFile::encodeName(start.path("run")).constData(), 0700) == 0;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(start.path("run")));
        const QString lock = journal::WriteTurn::lockPathFor(journal);
        made = made && !lock.isEmpty() && mkfifo(QFile::encodeName(lock).constData(), 0600) == 0;
        break;
    }
    case Odd::None: break;
    }
    start.write(c.odd == Odd::FullDisk ? "small/velmora.js" : "velmora.js", c.journal);
    return made;
}

}  // namespace

TEST(HostileFiles, EachWorksOrSaysSoAndLosesNothingUnasked)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        StartFolder start;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtime); });
        std::unique_ptr<SmallDisk> disk;
        if (c.odd != Odd::SettingsPipe)
            start.write("velmora.ini", c.settings);
        if (!layOut(start, c, disk)) {
            std::printf("skipped, cannot be set up here: %s\n", c.name);
            continue;
        }
        // As start-up opens them: settings that cannot be read leave the
        // journal unread.
        Workspace w;
        ASSERT_EQ(w.openSettings(), c.read >= 0);
        const QFileInfo before(w.journalPath());
        // Read only as a file: a pipe would block the test itself.
        const QByteArray bytes = before.isFile() ? start.read(w.journalPath()) : QByteArray();
        if (c.read >= 0) {
            const journal::ReadResult& read = w.openJournal();
            EXPECT_EQ(read.rows.size(), c.read);
            EXPECT_TRUE(read.opened || !read.exists || read.whyNotRead.contains(QLatin1String(c.says)))
                << read.whyNotRead.toStdString();
        }

        w.journal().append({QStringLiteral("added\tworldwind://goto/world=Earth&lat=1&lon=2\t")});
        if (c.odd == Odd::FullDisk)
            w.journal().append({QString(100000, u'x') + QStringLiteral("\tl\t")});
        int asked = kNotAsked;
        const Saved saved = w.save(0, [&](const Journal::Question& q) {
            EXPECT_EQ(q.kind, Journal::Question::NotAllRead);
            EXPECT_TRUE(q.onDisk.opened || q.onDisk.whyNotRead.contains(QLatin1String(c.says)));
            asked = q.onDisk.placesInFile;
            return c.answer;
        });
        EXPECT_EQ(asked, c.asked);
        ASSERT_EQ(saved.outcome, c.outcome);
        const QString failures = saved.layerFailures.join(u'\n');
        if (saved.written()) {
            EXPECT_EQ(failures.isEmpty(), !*c.says) << failures.toStdString();
            EXPECT_TRUE(failures.contains(QLatin1String(c.says))) << failures.toStdString();
            // The file holds the list, whole, and nothing else.
            w.journal().takeSaved(saved);
            const QByteArray now = start.read(w.journalPath());
            EXPECT_FALSE(now.startsWith(kMark));
            EXPECT_EQ(journal::parseJournal(now).rows, w.journal().rows());
            EXPECT_TRUE(journal::parseJournal(now).complete());
        } else {
            if (c.outcome == Saved::NotWritten) {
                EXPECT_TRUE(saved.why.contains(QLatin1String(c.says))) << saved.why.toStdString();
            }
            EXPECT_TRUE(w.journal().isModified());
            // Whatever was at the journal's path is as it was.
            const QFileInfo after(w.journalPath());
            EXPECT_EQ(after.isFile(), before.isFile());
            EXPECT_EQ(after.isSymLink(), before.isSymLink());
            EXPECT_EQ(after.exists(), before.exists());
            if (before.isFile()) {
                EXPECT_EQ(start.read(w.journalPath()), bytes);
            }
        }
        // No copy of a save left behind.
        EXPECT_EQ(QDir(QFileInfo(w.journalPath()).absolutePath())
                      .entryList({QStringLiteral("velmora.js.*")}, QDir::Files | QDir::Hidden),
                  QStringList());
    }
}

// The journal's watch for other writers wants an application.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
