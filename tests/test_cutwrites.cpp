// Every file the program writes, written where it cannot be written whole:
// under a file-size limit (in a child process, as any user can set one) and
// on a small tmpfs that is full (where the test may mount one). Each file
// ends with all of its new bytes or its old ones untouched, never cut, and
// a write that did not happen is reported.

#include "exchange/kmz.h"
#include "exchange/places.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "platform/textfile.h"
#include "settings/settings.h"
#include "worldwind/placenames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "printers.h"

namespace {

// Rows like the users': "&", accents, quotes, characters outside the code
// page. Enough of them for a journal past every buffer on the way.
QStringList rows(int version, int count)
{
    QStringList out;
    out.reserve(count);
    for (int i = 0; i < count; ++i)
        out << makeRow(QStringLiteral("Café \"%1\" & Roll <%2> v%3").arg(i).arg(QChar(0x0141 + i % 40)).arg(version),
                       QStringLiteral("worldwind://goto/world=Earth&lat=%1.25&lon=%2.5").arg(i % 90).arg(-(i % 180)),
                       QStringLiteral("it's comment %1 of version %2").arg(i).arg(version));
    return out;
}

struct Writer {
    const char* name;
    QStringList files;  // relative to the folder
    // Writes version `version` into `dir`; false with `error` set on failure.
    std::function<bool(const QString& dir, int version, QString* error)> write;
};

QString at(const QString& dir, const QString& file)
{
    return dir + u'/' + file;
}

const std::vector<Writer>& writers()
{
    static const std::vector<Writer> all = [] {
        std::vector<Writer> w;
        w.push_back({"journal", {QStringLiteral("velmora.js")}, [](const QString& dir, int v, QString* error) {
                         return journal::save(at(dir, QStringLiteral("velmora.js")), rows(v, 15000 + v), error);
                     }});
        w.push_back(
            {"layer",
             {QStringLiteral("ww/add-ons/earth/velmora/velmora.wwp"),
              QStringLiteral("ww/add-ons/earth/velmora/velmora.wpl"), QStringLiteral("ww/config/earth/velmora.xml")},
             [](const QString& dir, int v, QString* error) {
                 placenames::LabelFont font;
                 font.name = v ? QStringLiteral("times & co") : QStringLiteral("arial");
                 font.size = qint16(10 + v);
                 const placenames::Result r = placenames::write(at(dir, QStringLiteral("ww")), rows(v, 5000 + v), font);
                 *error = r.failures.join(u'\n');
                 return r.ok();
             }});
        // As the window's save writes it: the data file, megabytes of it,
        // written ahead on another thread a piece at a time, then put in place.
        w.push_back({"layer written ahead",
                     {QStringLiteral("ww/add-ons/earth/velmora/velmora.wwp"),
                      QStringLiteral("ww/add-ons/earth/velmora/velmora.wpl")},
                     [](const QString& dir, int v, QString* error) {
                         const QString ww = at(dir, QStringLiteral("ww"));
                         placenames::DataDraft draft(ww, rows(v, 30000 + v));
                         std::thread ahead([&draft] { draft.make(); });
                         ahead.join();
                         const placenames::Result r = placenames::writeWith(ww, draft, {});
                         *error = r.failures.join(u'\n');
                         return r.ok();
                     }});
        w.push_back({"settings", {QStringLiteral("velmora.ini")}, [](const QString& dir, int v, QString* error) {
                         Settings s;
                         s.SaveDir = QStringLiteral("C:\\places & more\\v%1").arg(v);
                         s.fontName_ = QString::fromUtf8("Zürich");
                         return settingsfile::write(at(dir, QStringLiteral("velmora.ini")), s, error);
                     }});
        for (const char* name : {"places.kml", "places.gpx", "places.kmz"})
            w.push_back({name, {QLatin1String(name)}, [name](const QString& dir, int v, QString* error) {
                             return exchange::writeFile(at(dir, QLatin1String(name)), rows(v, 3000 + v), error);
                         }});
        // A copy is made only where there is none: the old file is none.
        w.push_back({"web view copy", {QStringLiteral("velmora.html")}, [](const QString& dir, int v, QString* error) {
                         const QString source = at(dir, QStringLiteral("source.html"));
                         if (v == 0)
                             return textfile::writeAtomically(source, QByteArray(40000, 'w'), error);
                         return textfile::copyIfMissing(source, at(dir, QStringLiteral("velmora.html")),
                                                        textfile::kMostCopied, error);
                     }});
        return w;
    }();
    return all;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "(missing)";
    const QByteArray bytes = f.readAll();
    // An archive's entries carry the time they were made: its document is
    // what tells one version from another, and a cut archive has none.
    if (path.endsWith(QLatin1String(".kmz"))) {
        exchange::kmz::Archive archive(bytes);
        if (archive.error().isEmpty() && !archive.kmlEntries().isEmpty()) {
            const exchange::kmz::Unpacked doc = archive.read(archive.kmlEntries().first(), 64 << 20);
            if (doc.error.isEmpty())
                return doc.kml;
        }
        return "(broken archive of " + QByteArray::number(bytes.size()) + " bytes)";
    }
    return bytes;
}

void makeFolders(const QString& dir)
{
    QDir(dir).mkpath(QStringLiteral("ww/add-ons/earth"));
    QDir(dir).mkpath(QStringLiteral("ww/config/earth"));
}

// The files a writer leaves for `version` where nothing stands in its way,
// and the size of the largest on disk.
std::vector<QByteArray> written(const Writer& w, int version, qint64* largest = nullptr)
{
    QTemporaryDir dir;
    makeFolders(dir.path());
    QString error;
    for (int v = 0; v <= version; ++v)
        EXPECT_TRUE(w.write(dir.path(), v, &error)) << w.name << ": " << error.toStdString();
    std::vector<QByteArray> out;
    for (const QString& file : w.files) {
        out.push_back(readAll(at(dir.path(), file)));
        if (largest)
            *largest = std::max(*largest, QFileInfo(at(dir.path(), file)).size());
    }
    return out;
}

// What a write said: 0 written, 1 failed with a reason, anything else a
// failure without one or a process that did not end by itself.
int writeInChild(const Writer& w, const QString& dir, rlim_t limit)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        QString error;
        const bool ok = w.write(dir, 1, &error);
        _exit(ok ? 0 : error.isEmpty() ? 2 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// Nothing but the files themselves: no temporary copy left behind.
QStringList strayFiles(const QString& dir, const Writer& w)
{
    QStringList stray;
    for (const QString& file : w.files) {
        const QFileInfo info(at(dir, file));
        for (const QString& name : info.dir().entryList(QDir::Files | QDir::Hidden))
            if (name != info.fileName() && !name.startsWith(QLatin1String("velmora."))
                && name != QLatin1String("source.html"))
                stray << name;
        for (const QString& name : info.dir().entryList({info.fileName() + QLatin1String(".??????")}, QDir::Files))
            stray << name;
    }
    return stray;
}

// Each file holds its old or its new bytes; the write reported success
// only when every file is new, and failure when any is not.
void expectOldOrNew(const Writer& w, const QString& dir, int status, const std::vector<QByteArray>& before,
                    const std::vector<QByteArray>& after, const std::string& where)
{
    EXPECT_TRUE(status == 0 || status == 1) << where << ": the write ended with " << status;
    bool allNew = true;
    for (qsizetype i = 0; i < w.files.size(); ++i) {
        const QByteArray now = readAll(at(dir, w.files[i]));
        const bool isNew = now == after[size_t(i)];
        EXPECT_TRUE(isNew || now == before[size_t(i)])
            << where << ": " << w.files[i].toStdString() << " holds " << now.size() << " bytes, neither old nor new";
        allNew = allNew && isNew;
    }
    EXPECT_EQ(status == 0, allNew) << where << ": said " << (status == 0 ? "written" : "not written");
    EXPECT_EQ(strayFiles(dir, w), QStringList()) << where;
}

}  // namespace

TEST(CutWrites, UnderAFileSizeLimitEveryFileIsOldOrNewAndFailureIsReported)
{
    for (const Writer& w : writers()) {
        qint64 most = 0;
        const std::vector<QByteArray> before = written(w, 0), after = written(w, 1, &most);
        for (const rlim_t limit :
             {rlim_t(0), rlim_t(100), rlim_t(4096), rlim_t(most / 2), rlim_t(most - 1), rlim_t(most)}) {
            QTemporaryDir dir;
            makeFolders(dir.path());
            QString error;
            ASSERT_TRUE(w.write(dir.path(), 0, &error)) << error.toStdString();
            const int status = writeInChild(w, dir.path(), limit);
            const std::string where = std::string(w.name) + " limited to " + std::to_string(limit) + " bytes";
            expectOldOrNew(w, dir.path(), status, before, after, where);
            if (qint64(limit) < most)
                EXPECT_EQ(status, 1) << where;
            else
                EXPECT_EQ(status, 0) << where;
        }
    }
}

TEST(CutWrites, OnAFullDiskEveryFileIsOldOrNewAndFailureIsReported)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    QTemporaryDir mountPoint;
    if (mount("velmora-test", QFile::encodeName(mountPoint.path()).constData(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << strerror(errno);
    const auto unmount = qScopeGuard([&] { umount2(QFile::encodeName(mountPoint.path()).constData(), MNT_DETACH); });
    const QString disk = mountPoint.path();
    for (const Writer& w : writers()) {
        qint64 most = 0;
        const std::vector<QByteArray> before = written(w, 0), after = written(w, 1, &most);
        // Free space left beside the old files: none, a page, and half of
        // what the new ones need.
        for (const qint64 free : {qint64(0), qint64(4096), most / 2}) {
            const QString dir = at(disk, QStringLiteral("d"));
            QDir(dir).removeRecursively();
            makeFolders(dir);
            QString error;
            ASSERT_TRUE(w.write(dir, 0, &error)) << error.toStdString();
            // The rest of the disk filled, then `free` bytes given back.
            const QString filler = at(disk, QStringLiteral("filler"));
            {
                QFile fill(filler);
                ASSERT_TRUE(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
                const QByteArray block(64 * 1024, 'x');
                while (fill.write(block) == block.size()) {
                }
                fill.close();
                const qint64 full = QFileInfo(filler).size();
                ASSERT_EQ(truncate(QFile::encodeName(filler).constData(), std::max<qint64>(0, full - free)), 0);
            }
            const std::string where = std::string(w.name) + " with " + std::to_string(free) + " bytes free";
            const bool ok = w.write(dir, 1, &error);
            expectOldOrNew(w, dir, ok ? 0 : 1, before, after, where);
            if (free < most) {
                EXPECT_FALSE(ok) << where;
                EXPECT_FALSE(error.isEmpty()) << where;
            }
            QFile::remove(filler);
            if (!ok) {
                EXPECT_TRUE(w.write(dir, 1, &error)) << where << ", once room was made: " << error.toStdString();
                expectOldOrNew(w, dir, 0, before, after, where + ", once room was made");
            }
        }
    }
}
