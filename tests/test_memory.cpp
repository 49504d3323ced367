// Peak memory of the built program's import and export with a journal of
// 200 MB, near the largest it reads: within three times the journal's
// size and a fixed base. Measured on the child alone (wait4); left out
// under AddressSanitizer, whose own memory would be counted.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
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

// The program run in `dir` with `args`, its output dropped.
Child velmora(const QString& dir, const std::vector<std::string>& args)
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
    Child run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
            run.status = WEXITSTATUS(status);
            run.peakBytes = qint64(usage.ru_maxrss) * 1024;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// About 200 MB of journal lines like a user's, long names and comments
// with "&", accents and quotes, written without holding them.
qint64 writeLargeJournal(const QString& path)
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
    return file.size();
}

}  // namespace

TEST(Memory, ImportAndExportOfALargeJournalStayWithinThreeTimesItsSize)
{
    if (kSanitized)
        GTEST_SKIP() << "AddressSanitizer's own memory would be counted";
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("save"));
    QDir(dir.path()).mkpath(QStringLiteral("ww/add-ons/earth"));
    QDir(dir.path()).mkpath(QStringLiteral("ww/config/earth"));
    {
        QFile ini(dir.filePath(QStringLiteral("velmora.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("save\r\nww\r\narial\r\n 10 \r\n 255 \r\nFalse\r\nFalse\r\n");
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
        std::printf("%s: %lld MB at most, within %lld MB\n", r.what, run.peakBytes >> 20, bound >> 20);
        EXPECT_LE(run.peakBytes, bound) << r.what << ": " << (run.peakBytes >> 20) << " MB at most, for a journal of "
                                        << (size >> 20) << " MB";
    }
}
