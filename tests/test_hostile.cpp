// Bad inputs a user's files can hold, through the open journal as start-up
// and Save use it: read the settings and the journal, add a place, save.
// Each case either works or says what is wrong, and no place of the
// journal is lost without a question first.

#include "journal/journalfile.h"
#include "startfolder.h"
#include "workspace/workspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QXmlStreamReader>

#include <functional>
#include <memory>
#include <optional>

#include <sys/mount.h>
#include <sys/stat.h>

using journal::Journal;
using testfolder::settingsFile;
using testfolder::StartFolder;

namespace {

const QByteArray kParis = "add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\",\"capital\");";
const QByteArray kRock = "add_place(\"Rock & Roll\",\"worldwind://goto/world=Earth&lat=-1&lon=1\",\"\");";
const QByteArray kTwoPlaces = kParis + "\r\n" + kRock + "\r\n";
const QString kAddedRow = QStringLiteral("added\tworldwind://goto/world=Earth&lat=1&lon=2\t");
const QByteArray kAddedLine = "add_place(\"added\",\"worldwind://goto/world=Earth&lat=1&lon=2\",\"\");\r\n";

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

// One case's start folder and, where it needs one, a full disk (unmounted
// when the case ends, before the folder goes).
struct Scene {
    StartFolder start;
    std::unique_ptr<SmallDisk> disk;
    bool write(const char* name, const QByteArray& bytes) const
    {
        start.write(QString::fromLatin1(name), bytes);
        return true;
    }
    bool defaults(const QByteArray& journal) const
    {
        return write("velmora.ini", settingsFile()) && write("velmora.js", journal);
    }
    // The journal replaced by what `make` puts at its path.
    bool journalAs(const std::function<bool(const QString&)>& make) const
    {
        return defaults({}) && QFile::remove(start.path("velmora.js")) && make(start.path("velmora.js"));
    }
};

// What the save asks, when the file holds places the list lacks.
struct Asked {
    int placesInFile;
    qsizetype placesRead;
    const char* whyNotRead = "";
};

enum class After { Unchanged, Appended, Custom };

struct Case {
    const char* name;
    // Lays out the start folder; false when the case cannot be set up here.
    std::function<bool(Scene&)> prepare;
    bool settingsRead;
    // What the journal's read says: not opened, why; the first line with
    // more than one place; places read and in the file.
    const char* whyNotRead;
    int crowdedLine;
    qsizetype rowsRead;
    std::optional<Asked> asked;
    Journal::Answer answer;
    Journal::SaveResult::Outcome outcome;
    // Fragments of why it was not written, or of the layer's failures
    // (none when empty; nothing checked when absent).
    QStringList why;
    std::optional<QStringList> layerFailures;
    After after = After::Unchanged;
    std::function<void(const Scene&, Workspace&)> check = {};
    bool bigPlace = false;
};

bool containsAll(const QString& text, const QStringList& fragments)
{
    for (const QString& f : fragments)
        if (!text.contains(f))
            return false;
    return true;
}

const std::vector<Case>& cases()
{
    using Saved = Journal::SaveResult;
    static const QByteArray hugeName(10 * 1024 * 1024, 'n');
    static const QByteArray c1 = [] {
        QByteArray bytes;
        for (int b = 0x80; b < 0xA0; ++b)
            bytes += char(b);
        return bytes;
    }();
    static const auto fifo = [](const QString& path) { return mkfifo(QFile::encodeName(path).constData(), 0600) == 0; };
    static const QStringList noWorldWind{QStringLiteral("holds no World Wind")};

    static const std::vector<Case> all = {
        {"LF-only journal: the save asks, Cancel keeps the file",
         [](Scene& s) { return s.defaults(kParis + "\n" + kRock + "\n" + kParis + "\n"); },
         true,
         "",
         1,
         1,
         Asked{3, 1},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt},
        {"LF-only journal saved anyway",
         [](Scene& s) { return s.defaults(kParis + "\n" + kRock + "\n"); },
         true,
         "",
         1,
         1,
         Asked{2, 1},
         Journal::Answer::SaveOver,
         Saved::Written,
         {},
         noWorldWind,
         After::Custom,
         [](const Scene& s, Workspace& w) {
             EXPECT_EQ(s.start.read("velmora.js"),
                       QByteArray("add_place(\"Paris\",\"worldwind://goto/world=Earth&lat=48.85&lon=2.35\","
                                  "\"capital\");\r\n")
                           + kAddedLine);
             EXPECT_EQ(w.journal().count(), 2);
         }},
        {"a 10 MB line",
         [](Scene& s) { return s.defaults("add_place(\"" + hugeName + "\",\"l\",\"c\");\r\n"); },
         true,
         "",
         0,
         1,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::Written,
         {},
         noWorldWind,
         After::Appended},
        {"NUL bytes and bytes 0x80 to 0x9F in names and comments",
         [](Scene& s) {
             const QByteArray nul(1, '\0');
             return s.defaults("add_place(\"a" + nul + "b" + c1 + "\",\"l\",\"" + nul + nul + c1 + "\");\r\n" + kRock
                               + "\r\n");
         },
         true,
         "",
         0,
         2,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::Written,
         {},
         noWorldWind,
         After::Appended},
        {"journal that is a folder",
         [](Scene& s) { return s.journalAs([](const QString& p) { return QDir().mkdir(p); }); },
         true,
         "it is a folder, not a file",
         0,
         0,
         Asked{-1, 0, "it is a folder, not a file"},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt,
         After::Custom,
         [](const Scene& s, Workspace&) { EXPECT_TRUE(QFileInfo(s.start.path("velmora.js")).isDir()); }},
        {"journal that is a pipe",
         [](Scene& s) { return s.journalAs(fifo); },
         true,
         "it is not a regular file",
         0,
         0,
         Asked{-1, 0, "it is not a regular file"},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt,
         After::Custom,
         [](const Scene& s, Workspace&) { EXPECT_FALSE(QFileInfo(s.start.path("velmora.js")).isFile()); }},
        {"journal linked to /dev/zero",
         [](Scene& s) { return s.journalAs([](const QString& p) { return QFile::link("/dev/zero", p); }); },
         true,
         "it is not a regular file",
         0,
         0,
         Asked{-1, 0, "it is not a regular file"},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt,
         After::Custom,
         [](const Scene& s, Workspace&) {
             EXPECT_EQ(QFileInfo(s.start.path("velmora.js")).symLinkTarget(), QStringLiteral("/dev/zero"));
         }},
        // Settings that cannot be read leave the journal unread: a save
        // (after a cancelled Configuration) asks before emptying it.
        {"settings rejected: the unread journal is not emptied",
         [](Scene& s) {
             return s.write("velmora.ini", settingsFile(".\\", ".\\", "arial", "99999"))
                    && s.write("velmora.js", kTwoPlaces);
         },
         false,
         "",
         0,
         0,
         Asked{2, 0},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt},
        {"settings of three lines",
         [](Scene& s) {
             return s.write("velmora.ini", ".\\\r\n.\\\r\narial\r\n") && s.write("velmora.js", kTwoPlaces);
         },
         false,
         "",
         0,
         0,
         Asked{2, 0},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt},
        {"settings file that is a pipe does not hang the start",
         [](Scene& s) { return s.write("velmora.js", kTwoPlaces) && fifo(s.start.path("velmora.ini")); },
         false,
         "",
         0,
         0,
         Asked{2, 0},
         Journal::Answer::Cancel,
         Saved::Stopped,
         {},
         std::nullopt},
        {"missing save folder",
         [](Scene& s) { return s.write("velmora.ini", settingsFile("missing")) && s.write("velmora.js", kTwoPlaces); },
         true,
         "",
         0,
         0,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::NotWritten,
         {QStringLiteral("does not exist")},
         std::nullopt},
        {"empty save folder is the start folder",
         [](Scene& s) { return s.write("velmora.ini", settingsFile("")) && s.write("velmora.js", kTwoPlaces); },
         true,
         "",
         0,
         2,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::Written,
         {},
         noWorldWind,
         After::Appended,
         [](const Scene&, Workspace& w) { EXPECT_EQ(w.journal().count(), 3); }},
        {"byte-order marks in front of the settings and the journal",
         [](Scene& s) {
             return s.write("velmora.ini", "\xEF\xBB\xBF" + settingsFile())
                    && s.write("velmora.js", "\xEF\xBB\xBF" + kTwoPlaces);
         },
         true,
         "",
         0,
         2,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::Written,
         {},
         std::nullopt,
         After::Custom,
         [](const Scene& s, Workspace& w) {
             EXPECT_EQ(w.settings.SaveDir, QStringLiteral(".\\"));
             EXPECT_EQ(s.start.read("velmora.js"), kTwoPlaces + kAddedLine);
         }},
        {"control characters in the label font",
         [](Scene& s) {
             QDir(s.start.path()).mkpath("ww/add-ons/earth");
             QDir(s.start.path()).mkpath("ww/config/earth");
             return s.write("velmora.ini", settingsFile(".\\", "ww",
                                                        "ar\x01i\x1f"
                                                        "al"))
                    && s.write("velmora.js", kTwoPlaces);
         },
         true,
         "",
         0,
         2,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::Written,
         {},
         QStringList{},
         After::Appended,
         [](const Scene& s, Workspace&) {
             const QByteArray xml = s.start.read("ww/config/earth/velmora.xml");
             EXPECT_TRUE(xml.contains("<Family>ar?i?al</Family>"));
             QXmlStreamReader reader(xml);
             while (!reader.atEnd())
                 reader.readNext();
             EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
         }},
        {"World Wind's add-ons is a file",
         [](Scene& s) {
             QDir(s.start.path()).mkpath("ww/config/earth");
             return s.write("ww/add-ons", "not a folder") && s.write("velmora.ini", settingsFile(".\\", "ww"))
                    && s.write("velmora.js", kTwoPlaces);
         },
         true,
         "",
         0,
         2,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::Written,
         {},
         QStringList{"velmora.wwp", "velmora.wpl", "\"add-ons/earth\" does not exist"},
         After::Appended,
         [](const Scene& s, Workspace&) { EXPECT_TRUE(s.start.exists("ww/config/earth/velmora.xml")); }},
        {"full disk",
         [](Scene& s) {
             s.disk = std::make_unique<SmallDisk>(s.start.path("small"));
             return s.disk->mounted() && s.write("velmora.ini", settingsFile("small"))
                    && s.write("small/velmora.js", kTwoPlaces) && s.write("velmora.js", {});
         },
         true,
         "",
         0,
         2,
         std::nullopt,
         Journal::Answer::Cancel,
         Saved::NotWritten,
         {QStringLiteral("No space left on device")},
         std::nullopt,
         After::Custom,
         [](const Scene& s, Workspace& w) {
             EXPECT_EQ(s.start.read("small/velmora.js"), kTwoPlaces);
             EXPECT_EQ(QDir(s.start.path("small")).entryList(QDir::Files | QDir::Hidden), QStringList{"velmora.js"});
             EXPECT_TRUE(w.journal().isModified());
         },
         true},
    };
    return all;
}

}  // namespace

TEST(HostileFiles, EachWorksOrSaysSoAndLosesNothingUnasked)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        Scene scene;
        if (!c.prepare(scene)) {
            std::printf("skipped, cannot be set up here: %s\n", c.name);
            continue;
        }
        const QString journalFile = scene.start.path("velmora.js");
        // Read only as a file: a pipe would block the test itself.
        const QByteArray before = QFileInfo(journalFile).isFile() ? scene.start.read("velmora.js") : QByteArray();

        // As start-up reads them: settings that cannot be read leave the
        // journal unread.
        Workspace w;
        EXPECT_EQ(w.readSettings(), c.settingsRead);
        if (c.settingsRead) {
            const journal::ReadResult& read = w.journal().open(w.journalPath());
            EXPECT_TRUE(read.whyNotRead.contains(QLatin1String(c.whyNotRead))) << read.whyNotRead.toStdString();
            EXPECT_EQ(read.opened, read.exists && !*c.whyNotRead);
            EXPECT_EQ(read.firstCrowdedLine, c.crowdedLine);
            EXPECT_EQ(read.rows.size(), c.rowsRead);
        } else {
            w.journal().setUnread(w.journalPath());
        }

        w.journal().append({kAddedRow});
        if (c.bigPlace)
            w.journal().append({QString(100000, u'x') + QStringLiteral("\tl\t")});
        std::optional<Journal::Question> asked;
        const Journal::SaveResult saved = w.save(0, [&](const Journal::Question& q) {
            asked = q;
            return c.answer;
        });
        ASSERT_EQ(asked.has_value(), c.asked.has_value());
        if (asked) {
            EXPECT_EQ(asked->kind, Journal::Question::NotAllRead);
            EXPECT_EQ(asked->onDisk.placesInFile, c.asked->placesInFile);
            EXPECT_EQ(asked->onDisk.rows.size(), c.asked->placesRead);
            EXPECT_TRUE(asked->onDisk.whyNotRead.contains(QLatin1String(c.asked->whyNotRead)));
        }
        EXPECT_EQ(saved.outcome, c.outcome);
        EXPECT_TRUE(containsAll(saved.why, c.why)) << saved.why.toStdString();
        if (c.layerFailures) {
            const QString failures = saved.layerFailures.join(u'\n');
            EXPECT_EQ(failures.isEmpty(), c.layerFailures->isEmpty()) << failures.toStdString();
            EXPECT_TRUE(containsAll(failures, *c.layerFailures)) << failures.toStdString();
        }
        if (c.after != After::Custom) {
            const QByteArray withoutMark = before.mid(before.startsWith("\xEF\xBB\xBF") ? 3 : 0);
            EXPECT_EQ(scene.start.read("velmora.js"), c.after == After::Unchanged ? before : withoutMark + kAddedLine);
        }
        if (saved.written())
            w.journal().takeSaved(saved);
        if (c.check)
            c.check(scene, w);
    }
}

// The journal's watch for other writers wants an application.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
