// The shell seam, and the desktop layer that stands in for the Windows
// shell, run against stand-in programs named by desktop entries and a
// mimeapps list of a scratch home: what it opens, and how a failure is put
// to the user.

#include "platform/globebus.h"
#include "platform/shell.h"
#include "printers.h"
#include "worldwind/launch.h"
#include "worldwind/links.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(ShellSeam, PreparedResultsAreAnsweredInOrderLaterAndCallsRecorded)
{
    int argc = 1;
    char name[] = "test_shell";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject context;
    Shell::clearHistory();
    Shell::setNextResult(2);
    Shell::setNextResult(42);
    int answer = -1;
    Shell::open(QStringLiteral("a.html"), 1, {QStringLiteral("geo:1,2")}, &context, [&](int code) { answer = code; });
    EXPECT_EQ(answer, -1);  // as the desktop's own answer, it comes from the event loop
    QCoreApplication::processEvents();
    EXPECT_EQ(answer, 2);
    EXPECT_TRUE(Shell::start(QStringLiteral("tool.exe")));
    const QList<Shell::Call> calls = Shell::history();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].kind, Shell::Call::Open);
    EXPECT_EQ(calls[0].target, QStringLiteral("a.html"));
    EXPECT_EQ(calls[0].show, 1);
    EXPECT_EQ(calls[0].fallbacks, QStringList{QStringLiteral("geo:1,2")});
    EXPECT_EQ(calls[1].kind, Shell::Call::Start);
    EXPECT_EQ(calls[1].target, QStringLiteral("tool.exe"));
    Shell::clearHistory();
}

// A place goes to the globe that is open; only when none takes it is the
// desktop asked, with the link's own program first.
TEST(LaunchSeam, PlaceGoesToTheOpenGlobeElseToTheShell)
{
    int argc = 1;
    char name[] = "test_shell";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject context;
    const QString tokyo = QStringLiteral("worldwind://goto/world=Earth&lat=35.6895&lon=139.6917");
    const struct {
        QString target;
        std::optional<bool> globeRuns;  // nothing: the globe is not asked
        bool shellAsked;
        // The globe the desktop starts is turned to the view's zoom.
        std::optional<int> startedAt = std::nullopt;
    } cases[] = {
        {tokyo, true, false},
        {tokyo, false, true, launch::kTownZoom},
        {QStringLiteral("geo:35.6895,139.6917"), true, false},
        {QStringLiteral("geo:35.6895,139.6917"), false, true, launch::kTownZoom},
        {links::startLink(), true, false},
        {links::startLink(), false, true, launch::kEarthZoom},
        {QStringLiteral("worldwind://goto/world=Earth&lat=95&lon=2"), std::nullopt, true},
        {QStringLiteral("help.html"), std::nullopt, true},
    };
    for (const auto& c : cases) {
        Shell::clearHistory();
        GlobeBus::clearHistory();
        Shell::setNonInteractive(true);
        GlobeBus::setNonInteractive(true);
        if (c.globeRuns)
            GlobeBus::setNextAnswer(*c.globeRuns);
        int answer = -1;
        launch::open(c.target, 1, &context, [&](int code) { answer = code; });
        EXPECT_EQ(answer, -1) << c.target.toStdString();  // never while the window waits
        for (int round = 0; round < 10 && answer < 0; ++round)
            QCoreApplication::processEvents();
        EXPECT_EQ(answer, 33) << c.target.toStdString();
        const QList<GlobeBus::Call> centred = GlobeBus::history();
        ASSERT_EQ(centred.size(), (c.globeRuns ? 1 : 0) + (c.startedAt ? 1 : 0)) << c.target.toStdString();
        if (c.startedAt) {
            EXPECT_TRUE(centred.back().onceStarted);
            EXPECT_EQ(centred.back().zoom, *c.startedAt);
        }
        ASSERT_EQ(Shell::history().size(), c.shellAsked ? 1 : 0) << c.target.toStdString();
        if (c.shellAsked) {
            EXPECT_EQ(Shell::history()[0].target, c.target);
            EXPECT_EQ(Shell::history()[0].fallbacks, launch::fallbackForms(c.target));
        }
    }
    const launch::GlobeView town = *launch::globeView(tokyo);
    EXPECT_EQ(town.zoom, launch::kTownZoom);
    Shell::setNonInteractive(false);
    GlobeBus::setNonInteractive(false);
    Shell::clearHistory();
    GlobeBus::clearHistory();
}

#ifndef Q_OS_WIN
// A scratch home whose desktop entries start a stand-in program. It writes
// its argument count and arguments (NUL-separated) to "opened". GIO reads
// the folders of the environment once per process, so every test shares
// one home: geo: and text/html have a handler, worldwind: one that asks for
// a terminal, x-velmora-files: one whose entry takes files only, and
// x-velmora-none: none.
class DesktopLayer : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        home_ = new QTemporaryDir;
        const QString root = home_->path();
        for (const char* sub : {"bin", "work", "data/applications", "config"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        const QString standIn = root + QStringLiteral("/bin/stand-in");
        write(standIn,
              "#!/bin/sh\nPATH=/usr/bin:/bin\n{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; "
              "done; } > \"$STANDIN/opened.part\"\nmv \"$STANDIN/opened.part\" \"$STANDIN/opened\"\n");
        QFile::setPermissions(standIn, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const auto entry = [&](const char* name, const QByteArray& exec, const char* type, const char* more = "") {
            write(root + QStringLiteral("/data/applications/") + QString::fromLatin1(name),
                  "[Desktop Entry]\nType=Application\nName=Stand-in\nExec=" + exec + "\nMimeType=" + type + ";\n"
                      + more);
        };
        const QByteArray quoted = '"' + standIn.toUtf8() + '"';
        entry("velmora-geo.desktop", quoted + " --geo-uri=%u", "x-scheme-handler/geo");
        entry("velmora-ww.desktop", quoted + " --ww %u", "x-scheme-handler/worldwind", "Terminal=true\n");
        entry("velmora-page.desktop", quoted + " %f", "text/html");
        entry("velmora-files.desktop", quoted + " --file %f", "x-scheme-handler/x-velmora-files");
        write(root + QStringLiteral("/config/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/geo=velmora-geo.desktop\n"
              "x-scheme-handler/worldwind=velmora-ww.desktop\n"
              "x-scheme-handler/x-velmora-files=velmora-files.desktop\n"
              "text/html=velmora-page.desktop\n");
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
        qputenv("STANDIN", root.toLocal8Bit());
    }
    static void TearDownTestSuite() { delete home_; }

    void SetUp() override
    {
        QFile::remove(home_->filePath(QStringLiteral("opened")));
        // No terminal program on the path: the entry that asks for one must
        // still start its program.
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", home_->filePath(QStringLiteral("bin")).toLocal8Bit());
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(home_->filePath(QStringLiteral("work")));
    }
    void TearDown() override
    {
        QDir::setCurrent(oldCwd_);
        qputenv("PATH", oldPath_);
    }

    static void write(const QString& path, const QByteArray& text = "x")
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // The arguments the stand-in was started with (it runs detached).
    QStringList opened()
    {
        QElapsedTimer waited;
        waited.start();
        QFile f(home_->filePath(QStringLiteral("opened")));
        while (!f.exists() && waited.elapsed() < 10000)
            QThread::msleep(20);
        if (!f.open(QIODevice::ReadOnly))
            return {QStringLiteral("<the stand-in never ran>")};
        const QByteArray count = f.readLine().trimmed();
        QStringList args;
        for (const QByteArray& a : f.readAll().split('\0'))
            args << QString::fromUtf8(a);
        args.removeLast();  // after the last NUL
        EXPECT_EQ(count.toInt(), args.size());
        f.remove();
        return args;
    }
    bool standInRan() const { return QFile::exists(home_->filePath(QStringLiteral("opened"))); }
    QString work(const QString& name) const { return home_->filePath(QStringLiteral("work/") + name); }

    static inline QTemporaryDir* home_ = nullptr;
    QByteArray oldPath_;
    QString oldCwd_;
};

TEST_F(DesktopLayer, MissingFileIs2AndMissingFolderIs3AndNothingIsStarted)
{
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("help.html"), 1), 2);
    EXPECT_EQ(Shell::systemOpen(work(QStringLiteral("velmora.html")), 1), 2);
    EXPECT_EQ(Shell::systemOpen(home_->filePath(QStringLiteral("gone/velmora.html")), 1), 3);
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("gone/velmora.html"), 1), 3);
    EXPECT_EQ(Shell::systemOpen(QString(), 1), 2);
    QThread::msleep(100);
    EXPECT_FALSE(standInRan());
}

TEST_F(DesktopLayer, EachFailureIsPutInWords)
{
    const struct {
        const char* target;
        const char* says;
    } cases[] = {
        {"gone.html", "The specified file was not found"},
        {"gone/velmora.html", "The specified path was not found."},
        {"x-velmora-none:1", "There is no application associated with the given file name extension."},
    };
    for (const auto& c : cases) {
        const int code = Shell::systemOpen(QString::fromUtf8(c.target), 1);
        EXPECT_FALSE(Shell::succeeded(code)) << c.target;
        EXPECT_TRUE(Shell::errorText(code).startsWith(QString::fromUtf8(c.says))) << c.target << ": " << code;
    }
    // A code the shell gives no text for is shown by its number.
    EXPECT_EQ(Shell::errorText(7), QStringLiteral("The shell could not open it (error 7)."));
    // Above 32 the shell started it; at or below, each code has its words.
    const struct {
        int code;
        const char* says;  // empty: a success, nothing to say
    } codes[] = {
        {33, ""},
        {42, ""},
        {32, "The specified dynamic-link library (DLL) was not found."},
        {2, "The specified file was not found"},
        {3, "The specified path was not found."},
        {0, "The operating system is out of memory or resources."},
        {12, "The shell could not open it (error 12)."},
    };
    for (const auto& c : codes) {
        EXPECT_EQ(Shell::succeeded(c.code), !*c.says) << c.code;
        if (*c.says) {
            EXPECT_EQ(Shell::errorText(c.code), QString::fromUtf8(c.says)) << c.code;
        }
    }
}

TEST_F(DesktopLayer, FileGoesToItsTypesProgramAsOneArgumentResolvedAgainstTheCurrentFolder)
{
    const QString name = QStringLiteral("my \"odd\" place's; rm -rf x & $(id) y.html");
    write(work(name));
    const int code = Shell::systemOpen(name, 1);
    EXPECT_EQ(code, 33);
    EXPECT_TRUE(Shell::succeeded(code));
    EXPECT_EQ(opened(), QStringList{work(name)});
}

TEST_F(DesktopLayer, LinkFillsTheFieldCodeInsideItsArgumentWithoutAShell)
{
    const QString link = QStringLiteral("geo:1,2;x=\"a b\";$(touch pwned)`id`");
    EXPECT_EQ(Shell::systemOpen(link, 1), 33);
    EXPECT_EQ(opened(), QStringList{QStringLiteral("--geo-uri=") + link});
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned")));
}

TEST_F(DesktopLayer, EntryAskingForATerminalStartsWithoutOneWhereNoneIsKnown)
{
    const QString link = QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2");
    EXPECT_EQ(Shell::systemOpen(link, 1), 33);
    EXPECT_EQ(opened(), (QStringList{QStringLiteral("--ww"), link}));
}

// Both a worldwind: and a geo: program: the worldwind: one receives the
// whole link, with keys the geo: form could not carry; the geo: form goes
// out only where the desktop has no program for the link.
TEST_F(DesktopLayer, TheLinksOwnProgramComesFirstAndAFallbackOnlyWhereThereIsNone)
{
    const QString link = QStringLiteral("worldwind://goto/world=Earth&lat=1&lon=2&alt=900&dir=45&view=30");
    EXPECT_EQ(Shell::systemOpen(link, 1, {QStringLiteral("geo:1,2")}), 33);
    EXPECT_EQ(opened(), (QStringList{QStringLiteral("--ww"), link}));
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("x-velmora-none:1"), 1,
                                {QStringLiteral("x-velmora-none:2"), QStringLiteral("geo:1,2")}),
              33);
    EXPECT_EQ(opened(), QStringList{QStringLiteral("--geo-uri=geo:1,2")});
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("x-velmora-none:2"), 1, {QStringLiteral("x-velmora-none:1")}), 31);
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("x-velmora-none:2"), 1), 31);
}

// GIO would start it with no argument at all.
TEST_F(DesktopLayer, ProgramThatTakesOnlyFilesIsNotStartedForALink)
{
    const int code = Shell::systemOpen(QStringLiteral("x-velmora-files:1"), 1, {QStringLiteral("geo:1,2")});
    EXPECT_EQ(code, 27);
    EXPECT_EQ(Shell::errorText(code), QStringLiteral("The file name association is incomplete or invalid."));
    QThread::msleep(200);
    EXPECT_FALSE(standInRan());
}
#endif

}  // namespace
