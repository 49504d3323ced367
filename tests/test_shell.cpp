// The shell seam, and the desktop layer that stands in for the Windows
// shell, run against stand-in xdg-mime and xdg-open scripts placed first on
// PATH: what it opens, and how a failure is put to the user.

#include "platform/shell.h"
#include "printers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(ShellSeam, PreparedResultsAreReturnedInOrderAndCallsRecorded)
{
    Shell::clearHistory();
    Shell::setNextResult(2);
    Shell::setNextResult(42);
    EXPECT_EQ(Shell::open(QStringLiteral("a.html"), 1), 2);
    EXPECT_TRUE(Shell::start(QStringLiteral("tool.exe")));
    const QList<Shell::Call> calls = Shell::history();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].kind, Shell::Call::Open);
    EXPECT_EQ(calls[0].target, QStringLiteral("a.html"));
    EXPECT_EQ(calls[0].show, 1);
    EXPECT_EQ(calls[1].kind, Shell::Call::Start);
    EXPECT_EQ(calls[1].target, QStringLiteral("tool.exe"));
    Shell::clearHistory();
}

#ifndef Q_OS_WIN
// A folder with stand-in xdg-mime and xdg-open first on PATH. xdg-mime
// prints the content of the file "handler" when there is one; xdg-open
// writes its argument count and arguments (NUL-separated) to "opened".
class DesktopLayer : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        QDir(dir_.path()).mkdir(QStringLiteral("bin"));
        QDir(dir_.path()).mkdir(QStringLiteral("work"));
        script(QStringLiteral("xdg-mime"), "#!/bin/sh\n[ \"$1 $2 $3\" = \"query default x-scheme-handler/worldwind\" ] "
                                           "&& cat \"$STANDIN/handler\" 2>/dev/null\nexit 0\n");
        script(QStringLiteral("xdg-open"),
               "#!/bin/sh\n{ printf '%s\\n' \"$#\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
               "> \"$STANDIN/opened.part\"\nmv \"$STANDIN/opened.part\" \"$STANDIN/opened\"\n");
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", dir_.filePath(QStringLiteral("bin")).toLocal8Bit() + ':' + oldPath_);
        qputenv("STANDIN", dir_.path().toLocal8Bit());
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(dir_.filePath(QStringLiteral("work")));
    }
    void TearDown() override
    {
        QDir::setCurrent(oldCwd_);
        qputenv("PATH", oldPath_);
    }

    void script(const QString& name, const QByteArray& text)
    {
        QFile f(dir_.filePath(QStringLiteral("bin/") + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void file(const QString& path, const QByteArray& text = "x")
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    // The arguments xdg-open was started with (it runs detached).
    QStringList opened()
    {
        QElapsedTimer waited;
        waited.start();
        QFile f(dir_.filePath(QStringLiteral("opened")));
        while (!f.exists() && waited.elapsed() < 10000)
            QThread::msleep(20);
        if (!f.open(QIODevice::ReadOnly))
            return {QStringLiteral("<xdg-open never ran>")};
        const QByteArray count = f.readLine().trimmed();
        QStringList args;
        for (const QByteArray& a : f.readAll().split('\0'))
            args << QString::fromLocal8Bit(a);
        args.removeLast();  // after the last NUL
        EXPECT_EQ(count.toInt(), args.size());
        return args;
    }
    bool xdgOpenRan() const { return QFile::exists(dir_.filePath(QStringLiteral("opened"))); }

    QTemporaryDir dir_;
    QByteArray oldPath_;
    QString oldCwd_;
};

TEST_F(DesktopLayer, MissingFileIs2AndMissingFolderIs3AndNothingIsStarted)
{
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("help.html"), 1), 2);
    EXPECT_EQ(Shell::systemOpen(dir_.filePath(QStringLiteral("work/velmora.html")), 1), 2);
    EXPECT_EQ(Shell::systemOpen(dir_.filePath(QStringLiteral("gone/velmora.html")), 1), 3);
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("gone/velmora.html"), 1), 3);
    EXPECT_EQ(Shell::systemOpen(QString(), 1), 2);
    QThread::msleep(100);
    EXPECT_FALSE(xdgOpenRan());
}

TEST_F(DesktopLayer, EachFailureIsPutInWords)
{
    const struct {
        const char* target;
        const char* says;
    } cases[] = {
        {"gone.html", "The specified file was not found"},
        {"gone/velmora.html", "The specified path was not found."},
        {"worldwind://goto/world=Earth", "There is no application associated with the given file name extension."},
    };
    for (const auto& c : cases) {
        const int code = Shell::systemOpen(QString::fromUtf8(c.target), 1);
        EXPECT_FALSE(Shell::succeeded(code)) << c.target;
        EXPECT_TRUE(Shell::errorText(code).startsWith(QString::fromUtf8(c.says))) << c.target << ": " << code;
    }
    // A code the shell gives no text for is shown by its number.
    EXPECT_EQ(Shell::errorText(7), QStringLiteral("The shell could not open it (error 7)."));
}

TEST_F(DesktopLayer, RelativeFileResolvesAgainstTheCurrentFolder)
{
    file(QStringLiteral("help.html"));
    const int code = Shell::systemOpen(QStringLiteral("help.html"), 1);
    EXPECT_EQ(code, 33);
    EXPECT_TRUE(Shell::succeeded(code));
    EXPECT_EQ(opened(), QStringList{dir_.filePath(QStringLiteral("work/help.html"))});
}

TEST_F(DesktopLayer, WorldWindLinkWithoutHandlerIs31)
{
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("worldwind://goto/world=Earth&lat=0.00000&lon=0.00000&view=180.00000"), 1), 31);
    file(dir_.filePath(QStringLiteral("handler")), "\n");  // a blank answer names no program either
    EXPECT_EQ(Shell::systemOpen(QStringLiteral("worldwind://goto/world=Earth"), 1), 31);
    QThread::msleep(100);
    EXPECT_FALSE(xdgOpenRan());
}

TEST_F(DesktopLayer, WorldWindLinkWithHandlerGoesToXdgOpenAsOneArgument)
{
    file(dir_.filePath(QStringLiteral("handler")), "worldwind.desktop\n");
    const QString link = QStringLiteral("worldwind://goto/world=Earth&lat=1 \"x\"; touch pwned&lon=$(id)`id`");
    EXPECT_EQ(Shell::systemOpen(link, 1), 33);
    EXPECT_EQ(opened(), QStringList{link});
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned")));
}

TEST_F(DesktopLayer, FileNameWithBlanksQuotesAndSemicolonIsOneArgument)
{
    const QString name = QStringLiteral("my \"odd\" place's; rm -rf x & y.html");
    file(name);
    EXPECT_EQ(Shell::systemOpen(name, 1), 33);
    EXPECT_EQ(opened(), QStringList{dir_.filePath(QStringLiteral("work/")) + name});
}
#endif

}  // namespace
