// Peak memory of the built program's import, export and window (its load
// and its Save) with a journal of 200 MB, near the largest it reads: within
// three times the journal's size and a fixed base. Measured on the child
// alone (wait4, or its peak as the kernel keeps it); left out under
// AddressSanitizer, whose own memory would be counted.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr qint64 kBaseBytes = 60 << 20;

struct Child {
    int status = -1;
    qint64 peakBytes = 0;
};

// The program started in `dir` with `args`, its output dropped; 0 when
// it could not be.
pid_t spawnVelmora(const QString& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> all{VELMORA_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(dir).constData());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The program run in `dir` with `args` to its end.
Child velmora(const QString& dir, const std::vector<std::string>& args)
{
    Child run;
    if (const pid_t pid = spawnVelmora(dir, args)) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
            run.status = WEXITSTATUS(status);
            run.peakBytes = qint64(usage.ru_maxrss) * 1024;
        }
    }
    return run;
}

// What a command prints, trimmed.
std::string output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back())))
        out.pop_back();
    return out;
}

// A number after `key` in a file of /proc for `pid`: "VmHWM:" of "status"
// (kB), "rchar:" of "io" (bytes).
qint64 procNumber(pid_t pid, const char* file, const char* key)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Processor time of `pid` so far, in clock ticks.
qint64 cpuTicks(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // After the name in parentheses: state is field 3, utime and stime 14 and 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 13 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// Waits up to `seconds` for `done`, looking every 100 ms.
template <class Done>
bool waitFor(int seconds, Done done)
{
    for (int i = 0; i < seconds * 10; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
}

// The visible windows of `pid`, one per line.
std::string windowsOf(pid_t pid)
{
    return output("xdotool search --onlyvisible --pid " + std::to_string(pid));
}

struct WindowRun {
    std::string failed;  // empty when the window loaded and saved
    qint64 loadPeakBytes = 0;
    qint64 savePeakBytes = 0;
};

// The program's window in `dir`: it reads the journal of `size` bytes,
// then Ctrl+S saves it and its message comes. The kernel's peak of the
// process is read after the load, set back, and read after the save.
WindowRun windowLoadAndSave(const QString& dir, qint64 size)
{
    WindowRun run;
    const pid_t pid = spawnVelmora(dir, {});
    if (pid == 0)
        return {"the program could not be started"};
    const auto end = qScopeGuard([pid] {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    });
    if (!waitFor(60, [&] { return !windowsOf(pid).empty(); }))
        return {"no window came"};
    // Read when all of the journal went in and the program has been idle
    // for a while.
    qint64 ticks = -1;
    int idle = 0;
    const bool loaded = waitFor(180, [&] {
        const qint64 now = cpuTicks(pid);
        idle = procNumber(pid, "io", "rchar:") >= size && now == ticks ? idle + 1 : 0;
        ticks = now;
        return idle >= 5;
    });
    if (!loaded)
        return {"the journal was not read"};
    run.loadPeakBytes = procNumber(pid, "status", "VmHWM:") * 1024;
    QFile reset(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1)
        return {"the peak could not be set back"};
    reset.close();
    const std::string main = windowsOf(pid);
    output("xdotool windowfocus --sync " + main + " key ctrl+s");
    // The save's message, a second window, answered; then the window
    // takes the rows saved.
    std::string shown;
    if (!waitFor(180, [&] { return (shown = windowsOf(pid)).find('\n') != std::string::npos; }))
        return {"the save's message did not come"};
    const size_t line = shown.find('\n');
    const std::string first = shown.substr(0, line), box = first != main ? first : shown.substr(line + 1);
    output("xdotool windowfocus --sync " + box + " key Return");
    if (!waitFor(60, [&] { return windowsOf(pid) == main; }))
        return {"the save's message did not go"};
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run.savePeakBytes = procNumber(pid, "status", "VmHWM:") * 1024;
    return run;
}

// About 200 MB of journal lines like a user's, long names and comments
// with "&", accents and quotes, written without holding them. Without the
// last line's end a save has bytes to write, as after an edit.
qint64 writeLargeJournal(const QString& path, bool lastLineEnded = true)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    const QByteArray words[] = {"Saint ", "Lake ", "Rock & Roll ", "caf\xe9 ", "&quot;best&quot; ", "Z\xfcrich "};
    for (int i = 0; i < 32500; ++i) {
        QByteArray name, comment;
        for (int k = 0; name.size() < 3100; ++k)
            name += words[(i + k) % 6];
        for (int k = 0; comment.size() < 3100; ++k)
            comment += words[(i * 7 + k) % 6];
        file.write("add_place(\"" + name + QByteArray::number(i)
                   + "\",\"worldwind://goto/world=Earth&lat=" + QByteArray::number(i % 90)
                   + ".5&lon=" + QByteArray::number(-(i % 180)) + ".25\",\"" + comment + "\");\r\n");
    }
    if (!lastLineEnded)
        file.resize(file.size() - 2);
    return file.size();
}

// A start folder: the settings, a save folder and a World Wind folder.
void makeStartFolder(const QTemporaryDir& dir)
{
    QDir(dir.path()).mkpath(QStringLiteral("save"));
    QDir(dir.path()).mkpath(QStringLiteral("ww/add-ons/earth"));
    QDir(dir.path()).mkpath(QStringLiteral("ww/config/earth"));
    QFile ini(dir.filePath(QStringLiteral("velmora.ini")));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("save\r\nww\r\narial\r\n 10 \r\n 255 \r\nFalse\r\nFalse\r\n");
}

void expectWithin(const char* what, qint64 peak, qint64 bound, qint64 size)
{
    std::printf("%s: %lld MB at most, within %lld MB\n", what, peak >> 20, bound >> 20);
    EXPECT_LE(peak, bound) << what << ": " << (peak >> 20) << " MB at most, for a journal of " << (size >> 20) << " MB";
}

}  // namespace

TEST(Memory, ImportAndExportOfALargeJournalStayWithinThreeTimesItsSize)
{
    if (kSanitized)
        GTEST_SKIP() << "AddressSanitizer's own memory would be counted";
    QTemporaryDir dir;
    makeStartFolder(dir);
    {
        QFile kml(dir.filePath(QStringLiteral("new.kml")));
        ASSERT_TRUE(kml.open(QIODevice::WriteOnly));
        kml.write("<kml><Placemark><name>New &amp; more</name><Point><coordinates>1,2</coordinates></Point>"
                  "</Placemark></kml>");
    }
    const qint64 size = writeLargeJournal(dir.filePath(QStringLiteral("save/velmora.js")));
    ASSERT_GT(size, 190 << 20);
    const qint64 bound = 3 * size + kBaseBytes;
    const struct {
        const char* what;
        std::vector<std::string> args;
    } runs[] = {
        {"import", {"import", "new.kml"}},
        {"export", {"export", "out.kml"}},
    };
    for (const auto& r : runs) {
        const Child run = velmora(dir.path(), r.args);
        EXPECT_EQ(run.status, 0) << r.what;
        expectWithin(r.what, run.peakBytes, bound, size);
    }
}

TEST(Memory, TheWindowLoadsAndSavesALargeJournalWithinThreeTimesItsSize)
{
    if (kSanitized)
        GTEST_SKIP() << "AddressSanitizer's own memory would be counted";
    ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "the window needs an X server";
    ASSERT_FALSE(output("command -v xdotool").empty()) << "xdotool is missing: run scripts/setup.sh";
    QTemporaryDir dir;
    makeStartFolder(dir);
    const QString journal = dir.filePath(QStringLiteral("save/velmora.js"));
    const qint64 size = writeLargeJournal(journal, false);
    ASSERT_GT(size, 190 << 20);
    const qint64 bound = 3 * size + kBaseBytes;

    const WindowRun run = windowLoadAndSave(dir.path(), size);
    ASSERT_EQ(run.failed, "");
    expectWithin("window load", run.loadPeakBytes, bound, size);
    expectWithin("window save", run.savePeakBytes, bound, size);
    // It was a save: the journal was written again, its layer with it.
    QFile written(journal);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly) && written.seek(written.size() - 2));
    EXPECT_EQ(written.read(2), "\r\n");
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("ww/add-ons/earth/velmora/velmora.wwp"))).size(), 100 << 20);
}
