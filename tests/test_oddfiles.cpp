// Odd folders and files around the journal, and peers that misbehave: each
// row lays out a case, runs the built program's import or offers the
// clipboard, and states the outcome and what the journal holds
// afterwards: the same bytes as before, or every place it should have. Runs
// on a real X server (the clipboard rows) and, as root, runs the cases that
// need a user whom permissions stop as "nobody".

#include "exchange/copied.h"
#include "exchange/kmz.h"
#include "exchange/places.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "journal/writeturn.h"
#include "platform/clipboard.h"
#include "programruns.h"
#include "startfolder.h"
#include "watchdog.h"
#include "worldwind/links.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN 1
#endif
#endif
#ifdef VELMORA_ASAN
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

using testfolder::kTwoPlaces;
using testfolder::StartFolder;

namespace {

constexpr uid_t kNobody = 65534;
const QByteArray kNotes = "Places to see:\r\n- the lighthouse\r\n";
const QString kLink = QStringLiteral("worldwind://goto/world=Earth&lat=48.8566&lon=2.3522");

// The start folder with the journal in "save" and the World Wind layer in "ww".
struct Scene {
    StartFolder start;
    QString save() const { return start.path(QStringLiteral("save")); }
    QString journal() const { return start.path(QStringLiteral("save/velmora.js")); }
    // This user's runtime folder for the case, and the journal's lock in it.
    QString runtime() const { return start.path(QStringLiteral("run")); }
    QString lockFolder() const { return runtime() + QStringLiteral("/velmora"); }
    QString lock() const
    {
        if (lock_.isEmpty())
            lock_ = journal::WriteTurn::lockPathFor(journal());
        return lock_;
    }
    mutable QString lock_;
    // Where the journal's bytes are: the file a link at its path leads to.
    QString journalFile() const
    {
        const QFileInfo info(journal());
        return info.isSymLink() ? info.symLinkTarget() : journal();
    }
};

bool posixOk(int result)
{
    return result == 0;
}

QByteArray path(const QString& p)
{
    return QFile::encodeName(p);
}

bool olderBy(const QString& p, int minutes)
{
    const timespec when{time(nullptr) - minutes * 60, 0};
    const timespec times[2] = {when, when};
    return posixOk(utimensat(AT_FDCWD, path(p).constData(), times, AT_SYMLINK_NOFOLLOW));
}

bool chownPath(const QString& p, uid_t uid)
{
    return posixOk(lchown(path(p).constData(), uid, uid));
}

bool chmodPath(const QString& p, mode_t mode)
{
    return posixOk(chmod(path(p).constData(), mode));
}

// A lock file left at the journal's lock path, as another writer made it.
void putLock(const Scene& s, const QByteArray& bytes)
{
    QFile f(s.lock());
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// One place to import, as a KML file in the start folder.
QByteArray onePlace(const QString& name)
{
    return exchange::kmlBytes({makeRow(name, links::linkFor(10, 20), u"")});
}

// The usual layout: settings, a journal of two places, a file to import.
bool standard(Scene& s, const QByteArray& journal = kTwoPlaces)
{
    s.start.write(QStringLiteral("velmora.ini"), testfolder::settingsFile("save", "ww"));
    s.start.write(QStringLiteral("in.kml"), onePlace(QStringLiteral("Added")));
    QDir().mkpath(s.start.path(QStringLiteral("ww/add-ons/earth")));
    QDir().mkpath(s.start.path(QStringLiteral("ww/config/earth")));
    QDir().mkpath(s.save());
    s.start.write(QStringLiteral("save/velmora.js"), journal);
    return true;
}

// Lets "nobody" into the start folder and write the layer; the save folder
// stays root's unless the case gives it away.
bool forNobody(Scene& s)
{
    const QString ww = s.start.path(QStringLiteral("ww"));
    const auto chownAll = [](const QString& folder) {
        return QProcess::execute(QStringLiteral("chown"),
                                 {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"), folder})
               == 0;
    };
    return chmodPath(s.start.path(), 0755) && chownPath(ww, kNobody) && chownPath(s.save(), kNobody)
           && chownPath(s.journal(), kNobody) && chownAll(ww) && chownAll(s.runtime());
}

enum class Act {
    Import,        // the program's import of in.kml
    TenImports,    // ten imports at once, each of its own file
    BombImport,    // the import of bomb.kmz, within 1 GB of address space
    StoppedOwner,  // a clipboard owner that stopped, ten repaints
    LargeOffer,    // 64 MB of text offered on the clipboard
};

enum class After { Unchanged, Complete };

struct Case {
    const char* name;
    Act act;
    bool asNobody;
    // Lays the case out; an empty text when it was, else why it cannot be here.
    std::function<QString(Scene&)> prepare;
    int exitCode;        // of each import
    const char* saying;  // in the import's standard error
    After after;         // the journal's bytes
    int places = 0;      // with After::Complete: the journal's places afterwards
};

QString unless(bool done, const char* why)
{
    return done ? QString() : QString::fromLatin1(why);
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"folder without write right, journal writable: refused, nothing written", Act::Import, true,
         [](Scene& s) {
             return unless(standard(s) && forNobody(s) && chownPath(s.save(), 0) && chmodPath(s.save(), 0755)
                               && chmodPath(s.journal(), 0666),
                           "cannot lay out the folders");
         },
         1, "does not let the program create files in it", After::Unchanged},
        {"ten imports at once in a folder without write right: each arrives or fails", Act::TenImports, true,
         [](Scene& s) {
             return unless(standard(s) && forNobody(s) && chownPath(s.save(), 0) && chmodPath(s.save(), 0755)
                               && chmodPath(s.journal(), 0666),
                           "cannot lay out the folders");
         },
         1, "does not let the program create files in it", After::Unchanged},
        {"lock that is a pipe: reported at once", Act::Import, false,
         [](Scene& s) { return unless(standard(s) && posixOk(mkfifo(path(s.lock()), 0644)), "no pipe"); }, 1,
         "is a named pipe, not a lock file of the program", After::Unchanged},
        {"lock that is a new folder: reported", Act::Import, false,
         [](Scene& s) { return unless(standard(s) && QDir().mkdir(s.lock()), "no folder"); }, 1, "is a folder",
         After::Unchanged},
        {"lock that is an empty folder left 10 minutes ago: taken over", Act::Import, false,
         [](Scene& s) { return unless(standard(s) && QDir().mkdir(s.lock()) && olderBy(s.lock(), 10), "no folder"); },
         0, "", After::Complete, 3},
        {"lock that is a link to nowhere, 10 minutes old: taken over", Act::Import, false,
         [](Scene& s) {
             return unless(standard(s) && QFile::link(QStringLiteral("gone"), s.lock()) && olderBy(s.lock(), 10),
                           "no link");
         },
         0, "", After::Complete, 3},
        {"lock that is a link loop: reported", Act::Import, false,
         [](Scene& s) { return unless(standard(s) && QFile::link(s.lock(), s.lock()), "no link"); }, 1,
         "a symbolic link that leads round in a loop", After::Unchanged},
        {"unreadable lock, 10 minutes old: taken over", Act::Import, true,
         [](Scene& s) {
             putLock(s, "4242\n");
             return unless(standard(s) && forNobody(s) && chownPath(s.lock(), kNobody) && chmodPath(s.lock(), 0)
                               && olderBy(s.lock(), 10),
                           "cannot lay out the lock");
         },
         0, "", After::Complete, 3},
        {"another user's readable lock: taken over", Act::Import, true,
         [](Scene& s) {
             putLock(s, "4242\n");
             return unless(standard(s) && forNobody(s) && chownPath(s.lock(), 0) && olderBy(s.lock(), 10),
                           "cannot lay out the lock");
         },
         0, "", After::Complete, 3},
        {"another user's unreadable lock, just made: reported", Act::Import, true,
         [](Scene& s) {
             putLock(s, "4242\n");
             return unless(standard(s) && forNobody(s) && chownPath(s.lock(), 0) && chmodPath(s.lock(), 0600),
                           "cannot lay out the lock");
         },
         1, "a file of another user that the program cannot open", After::Unchanged},
        {"a lock folder of another user: refused, never used", Act::Import, true,
         [](Scene& s) {
             return unless(standard(s) && forNobody(s) && chownPath(s.lockFolder(), 0), "cannot lay out the folder");
         },
         1, "belongs to another user", After::Unchanged},
        {"a lock folder open to others: closed, then used", Act::Import, false,
         [](Scene& s) { return unless(standard(s) && chmodPath(s.lockFolder(), 0777), "cannot open the folder"); }, 0,
         "", After::Complete, 3},
        {"a dead writer's lock file: taken over at once", Act::Import, false,
         [](Scene& s) {
             putLock(s, "999999\nvelmora\n");
             return unless(standard(s), "");
         },
         0, "", After::Complete, 3},
        {"journal of notes only: read in part, unchanged", Act::Import, false,
         [](Scene& s) { return unless(standard(s, kNotes), ""); }, 1, "could not be read in full", After::Unchanged},
        {"journal of places, then notes: read in part, unchanged", Act::Import, false,
         [](Scene& s) { return unless(standard(s, kTwoPlaces + kNotes), ""); }, 1, "reading stopped at line 3",
         After::Unchanged},
        {"journal linked to a notes file: the file is unchanged", Act::Import, false,
         [](Scene& s) {
             s.start.write(QStringLiteral("notes.txt"), kNotes);
             return unless(standard(s) && QFile::remove(s.journal())
                               && QFile::link(s.start.path(QStringLiteral("notes.txt")), s.journal()),
                           "no link");
         },
         1, "could not be read in full", After::Unchanged},
        {"journal linked to a journal: written through", Act::Import, false,
         [](Scene& s) {
             s.start.write(QStringLiteral("kept.js"), kTwoPlaces);
             return unless(standard(s) && QFile::remove(s.journal())
                               && QFile::link(s.start.path(QStringLiteral("kept.js")), s.journal()),
                           "no link");
         },
         0, "", After::Complete, 3},
        {"KMZ that inflates to 64 MB of empty elements: refused", Act::BombImport, false,
         [](Scene& s) {
             QByteArray kml = "<kml>";
             kml.reserve(64 << 20);
             while (kml.size() < (64 << 20) - 16)
                 kml += "<a/>x";
             kml += "</kml>";
             const std::optional<QByteArray> kmz = exchange::kmz::pack(kml, nullptr);
             if (kmz)
                 s.start.write(QStringLiteral("bomb.kmz"), *kmz);
             return unless(standard(s) && kmz && kmz->size() < 1 << 20, "no archive");
         },
         1, "more than 2000000 elements", After::Unchanged},
        {"clipboard owner that stopped: one short wait, not one per repaint", Act::StoppedOwner, false,
         [](Scene& s) { return unless(standard(s), ""); }, 0, "", After::Unchanged},
        {"64 MB offered on the clipboard: not transferred", Act::LargeOffer, false,
         [](Scene& s) { return unless(standard(s), ""); }, 0, "", After::Unchanged},
    };
    return all;
}

using programruns::Run;

// The built program with `args`, as "nobody" when asked.
std::vector<std::unique_ptr<QProcess>> start(const QList<QStringList>& argLists, bool asNobody, QStringList before = {})
{
    if (asNobody && geteuid() == 0)
        before << QStringLiteral("setpriv") << QStringLiteral("--reuid=nobody") << QStringLiteral("--regid=nogroup")
               << QStringLiteral("--clear-groups");
    return programruns::start(argLists, before);
}

// A program that owns the clipboard with `data`, killed with the case.
class Owner {
public:
    explicit Owner(const QByteArray& data)
    {
        p_.start(QStringLiteral("xclip"), {"-quiet", "-selection", "clipboard", "-t", "UTF8_STRING"});
        if (!p_.waitForStarted())
            return;
        p_.write(data);
        p_.closeWriteChannel();
        while (p_.bytesToWrite() > 0 && p_.waitForBytesWritten(60'000)) {
        }
    }
    ~Owner()
    {
        if (p_.state() == QProcess::NotRunning)
            return;
        kill(pid_t(p_.processId()), SIGCONT);
        p_.kill();
        p_.waitForFinished();
    }
    bool running() const { return p_.state() == QProcess::Running; }
    void stop() { kill(pid_t(p_.processId()), SIGSTOP); }

private:
    QProcess p_;
};

}  // namespace

class TestOddFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QFAIL("this test needs a real X server (run it under xvfb-run)");
    }

    void nothingLostNothingBlocks_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(cases().size()); ++i)
            QTest::newRow(cases()[size_t(i)].name) << i;
    }

    void nothingLostNothingBlocks()
    {
        QFETCH(int, row);
        const Case& c = cases()[size_t(row)];
        if (c.asNobody && geteuid() == 0 && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("setpriv is missing: no way to run as a user whom permissions stop");
        const Watchdog watchdog(c.name, std::chrono::seconds(180));
        Scene s;
        // Locks go to a runtime folder of the case's own, named before the
        // case hands folders to another user.
        QDir().mkpath(s.save());
        QVERIFY(QDir().mkpath(s.runtime()) && chmodPath(s.runtime(), 0700));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(s.runtime()));
        QVERIFY(!s.lock().isEmpty());
        if (const QString why = c.prepare(s); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QByteArray before = s.start.read(QDir(s.start.path()).relativeFilePath(s.journalFile()));
        const bool linked = QFileInfo(s.journal()).isSymLink();
        const QStringList saying = act(c, s);
        if (QTest::currentTestFailed())
            return;
        for (const QString& said : saying)
            QVERIFY2(said.contains(QString::fromUtf8(c.saying)), qPrintable(said));

        const QByteArray now = s.start.read(QDir(s.start.path()).relativeFilePath(s.journalFile()));
        if (c.after == After::Unchanged) {
            QVERIFY2(now == before, "the journal's bytes changed");
        } else {
            const journal::ReadResult read = journal::parseJournal(now);
            QVERIFY2(read.complete(), "the journal is not whole");
            QCOMPARE(read.rows.size(), c.places);
        }
        QVERIFY2(QFileInfo(s.journal()).isSymLink() == linked, "a link at the journal's path was replaced");
        QVERIFY2(!QFileInfo::exists(s.save() + QStringLiteral("/velmora.js.lock")), "a lock in the save folder");
        // No copy of a save left behind.
        const QStringList left = QDir(s.save()).entryList({QStringLiteral("velmora.js.??????")}, QDir::Files);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }

private:
    // Runs the case; what it said: each import's standard error.
    QStringList act(const Case& c, Scene& s)
    {
        switch (c.act) {
        case Act::Import:
        case Act::TenImports:
        case Act::BombImport: return imports(c, s);
        case Act::StoppedOwner: stoppedOwner(); return {};
        case Act::LargeOffer: largeOffer(); return {};
        }
        return {};
    }

    QStringList imports(const Case& c, Scene& s)
    {
        QList<QStringList> argLists;
        QStringList limit;
        if (c.act == Act::TenImports) {
            for (int k = 0; k < 10; ++k) {
                const QString file = QStringLiteral("p%1.kml").arg(k);
                s.start.write(file, onePlace(file));
                argLists << QStringList{QStringLiteral("import"), file};
            }
        } else if (c.act == Act::BombImport) {
            argLists << QStringList{QStringLiteral("import"), QStringLiteral("bomb.kmz")};
            // Refused well inside what a small machine has: the tree is never built.
            // (AddressSanitizer reserves terabytes of shadow memory up front.)
            if (!kAddressSanitizer)
                limit = QStringList{QStringLiteral("prlimit"), QStringLiteral("--as=1073741824"), QStringLiteral("--")};
        } else {
            argLists << QStringList{QStringLiteral("import"), QStringLiteral("in.kml")};
        }
        auto processes = start(argLists, c.asNobody, limit);
        QStringList said;
        for (const Run& r : programruns::finish(processes, 60'000)) {
            // Every import either arrives or fails with its reason.
            if (c.act == Act::TenImports && r.exitCode == 0)
                continue;
            if (r.exitCode != c.exitCode) {
                QTest::qFail(qPrintable(QStringLiteral("exit %1: %2").arg(r.exitCode).arg(r.err)), __FILE__, __LINE__);
                return {};
            }
            if (c.exitCode != 0)
                said << r.err;
        }
        return said;
    }

    // What each repaint of the window reads of the clipboard.
    static void readAsTheCaptureDoes()
    {
        if (!Clipboard::hasText() || !links::isLocationLink(Clipboard::text()))
            Clipboard::data(QLatin1String(exchange::kKmlFlavour));
    }

    void stoppedOwner()
    {
        const int silentBefore = Clipboard::unansweredOwners();
        QSignalSpy changed(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        Owner owner(kLink.toUtf8());
        QVERIFY2(owner.running(), "xclip is missing: run scripts/setup.sh");
        // Stopped once it owns the clipboard, before it was asked anything.
        QTRY_VERIFY(changed.count() > 0);
        owner.stop();
        QElapsedTimer clock;
        clock.start();
        for (int repaint = 0; repaint < 10; ++repaint) {
            readAsTheCaptureDoes();
            QCoreApplication::processEvents();
        }
        qInfo("ten repaints with a stopped owner took %lld ms", clock.elapsed());
        QCOMPARE(Clipboard::unansweredOwners(), silentBefore + 1);
    }

    void largeOffer()
    {
        constexpr qint64 kSize = 64 << 20;
        const int silentBefore = Clipboard::unansweredOwners();
        Owner owner(kLink.toUtf8() + QByteArray(kSize - kLink.size(), '0'));
        QVERIFY2(owner.running(), "xclip is missing: run scripts/setup.sh");
        QElapsedTimer clock;
        clock.start();
        // Owners may not say the size up front: the transfer stops past the limit.
        QTRY_VERIFY_WITH_TIMEOUT(Clipboard::lastOversizedOffer() > 0 || Clipboard::hasText(), 20'000);
        qInfo("a 64 MB offer was refused after %lld ms", clock.elapsed());
        QVERIFY(!Clipboard::hasText());
        QCOMPARE(Clipboard::text(), QString());
        QVERIFY(Clipboard::lastOversizedOffer() > Clipboard::kMaxOfferBytes);
        // Its other flavours are not asked for: the owner may still wait on the first.
        QCOMPARE(Clipboard::unansweredOwners(), silentBefore);
    }
};

QTEST_MAIN(TestOddFiles)
#include "test_oddfiles.moc"
