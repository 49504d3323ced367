// One journal on two machines, proven with the real peer: two Syncthing
// instances on this machine (loopback only; discovery, relays and NAT off)
// share a save folder. While they are disconnected each side changes the
// journal; reconnected, Syncthing keeps one version as a conflict copy, and
// "velmora merge" (or, in the second run, the open journal's watch, as the
// window follows it) takes it in.
// Both sides then hold every change, with no conflict copy and no lock
// file in the synced folder.

#include "exchange/places.h"
#include "journal/journal.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "watchdog.h"
#include "workspace/workspace.h"
#include "worldwind/links.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace {

const QByteArray kApiKey = "velmora-test-key";
const QString kFolderId = QStringLiteral("velmora");

// A TCP port on the loopback address that nothing listens on now.
int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool waitFor(const std::function<bool()>& done, int ms)
{
    return QTest::qWaitFor(done, ms);
}

QString place(const QString& name, const QString& comment = QString())
{
    return makeRow(name, links::linkFor(45, 7), comment);
}

// One machine: a Syncthing instance with its home, and the program's start
// folder, state and runtime folders, World Wind folder and the save folder
// that Syncthing shares.
class Machine {
public:
    Machine(const QString& root, const QString& name)
        : root_(root + QLatin1Char('/') + name), guiPort_(freePort()), listenPort_(freePort())
    {}
    ~Machine() { stop(); }

    QString save() const { return root_ + QStringLiteral("/save"); }
    QString journal() const { return save() + QStringLiteral("/velmora.js"); }
    QString start() const { return root_ + QStringLiteral("/start"); }
    QString id() const { return id_; }
    int listenPort() const { return listenPort_; }

    // Keys made, the configuration written (loopback only, nothing found or
    // relayed over the network), the instance started and answering.
    bool launch()
    {
        const QString home = root_ + QStringLiteral("/syncthing");
        QDir().mkpath(save());
        QDir().mkpath(start());
        QDir().mkpath(root_ + QStringLiteral("/ww/add-ons/earth"));
        QDir().mkpath(root_ + QStringLiteral("/ww/config/earth"));
        QDir().mkpath(root_ + QStringLiteral("/state"));
        QDir().mkpath(runtime());
        chmod(QFile::encodeName(runtime()).constData(), 0700);
        writeFile(start() + QStringLiteral("/velmora.ini"),
                  QFile::encodeName(save()) + "\r\n" + QFile::encodeName(root_ + QStringLiteral("/ww"))
                      + "\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n");
        QProcess generate;
        generate.setProcessEnvironment(syncthingEnvironment());
        generate.setProcessChannelMode(QProcess::MergedChannels);
        generate.start(QStringLiteral("syncthing"), {QStringLiteral("generate"), QStringLiteral("--home=") + home,
                                                     QStringLiteral("--no-default-folder")});
        if (!generate.waitForFinished(60'000) || generate.exitCode() != 0)
            return false;
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("Device ID: ([A-Z0-9-]+)")).match(QString::fromUtf8(generate.readAll()));
        if (!m.hasMatch())
            return false;
        id_ = m.captured(1);
        writeFile(home + QStringLiteral("/config.xml"), configXml());
        serve_.setProcessEnvironment(syncthingEnvironment());
        serve_.setStandardOutputFile(root_ + QStringLiteral("/syncthing.log"));
        serve_.setStandardErrorFile(root_ + QStringLiteral("/syncthing.log"), QIODevice::Append);
        // Gone with the test, however the test ends.
        serve_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        serve_.start(QStringLiteral("syncthing"), {QStringLiteral("serve"), QStringLiteral("--home=") + home,
                                                   QStringLiteral("--no-browser"), QStringLiteral("--no-restart")});
        return serve_.waitForStarted()
               && waitFor([this] { return !call("GET", "/rest/system/ping").isNull(); }, 30'000);
    }

    void stop()
    {
        if (serve_.state() == QProcess::NotRunning)
            return;
        serve_.terminate();
        if (!serve_.waitForFinished(5000)) {
            serve_.kill();
            serve_.waitForFinished(5000);
        }
    }

    // The other machine as a device, and the save folder shared with it.
    bool share(const Machine& other)
    {
        const QJsonObject device{
            {QStringLiteral("deviceID"), other.id()},
            {QStringLiteral("addresses"), QJsonArray{QStringLiteral("tcp://127.0.0.1:%1").arg(other.listenPort())}}};
        const QJsonObject folder{
            {QStringLiteral("id"), kFolderId},
            {QStringLiteral("path"), save()},
            {QStringLiteral("devices"), QJsonArray{QJsonObject{{QStringLiteral("deviceID"), other.id()}}}},
            // Scans are asked for; the watcher's delay would only slow the test.
            {QStringLiteral("rescanIntervalS"), 3600},
            {QStringLiteral("fsWatcherEnabled"), false}};
        return !call("POST", "/rest/config/devices", device).isNull()
               && !call("POST", "/rest/config/folders", folder).isNull();
    }

    bool scan() { return !call("POST", "/rest/db/scan?folder=" + kFolderId.toLatin1()).isNull(); }
    bool pause(const Machine& other)
    {
        return !call("POST", "/rest/system/pause?device=" + other.id().toLatin1()).isNull();
    }
    bool resume(const Machine& other)
    {
        return !call("POST", "/rest/system/resume?device=" + other.id().toLatin1()).isNull();
    }

    // The built program in this machine's start folder, with its own state
    // and runtime folders.
    struct Run {
        int exitCode = -1;
        QString out, err;
    };
    Run velmora(const QStringList& args) const
    {
        QProcess p;
        p.setWorkingDirectory(start());
        p.setProcessEnvironment(programEnvironment());
        p.start(QStringLiteral(VELMORA_PROGRAM), args);
        Run r;
        if (p.waitForFinished(60'000) && p.exitStatus() == QProcess::NormalExit)
            r.exitCode = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // This process works as this machine's program: its folders, its start folder.
    void enter() const
    {
        const QProcessEnvironment env = programEnvironment();
        for (const char* name : {"XDG_STATE_HOME", "XDG_RUNTIME_DIR"})
            qputenv(name, env.value(QString::fromLatin1(name)).toLocal8Bit());
        QDir::setCurrent(start());
    }

    // The program's own save of an edit, as the window makes it, in this
    // process with this machine's folders.
    bool edit(const std::function<void(journal::Journal&)>& change) const
    {
        enter();
        journal::Journal model;
        return model
            .saveEdited(
                journal(), 10'000,
                [&] {
                    change(model);
                    return true;
                },
                [](const QStringList&) { return QStringList(); })
            .written();
    }

    QStringList conflictCopies() const
    {
        // Syncthing's own temporary files (".syncthing.*.tmp") are no copies:
        // one may stay behind for a copy removed while it was being fetched.
        return QDir(save()).entryList({QStringLiteral("velmora.sync-conflict-*.js")}, QDir::Files);
    }

private:
    QString runtime() const { return root_ + QStringLiteral("/run"); }

    QProcessEnvironment syncthingEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("STNODEFAULTFOLDER"), QStringLiteral("1"));
        env.insert(QStringLiteral("STNOUPGRADE"), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), root_);
        return env;
    }

    QProcessEnvironment programEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), root_ + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        return env;
    }

    QByteArray configXml() const
    {
        return QStringLiteral("<configuration version=\"36\">\n"
                              "  <gui enabled=\"true\" tls=\"false\"><address>127.0.0.1:%1</address>"
                              "<apikey>%2</apikey></gui>\n"
                              "  <options>\n"
                              "    <listenAddress>tcp://127.0.0.1:%3</listenAddress>\n"
                              "    <globalAnnounceEnabled>false</globalAnnounceEnabled>\n"
                              "    <localAnnounceEnabled>false</localAnnounceEnabled>\n"
                              "    <relaysEnabled>false</relaysEnabled>\n"
                              "    <natEnabled>false</natEnabled>\n"
                              "    <urAccepted>-1</urAccepted>\n"
                              "    <crashReportingEnabled>false</crashReportingEnabled>\n"
                              "    <autoUpgradeIntervalH>0</autoUpgradeIntervalH>\n"
                              "    <startBrowser>false</startBrowser>\n"
                              "    <reconnectionIntervalS>1</reconnectionIntervalS>\n"
                              "  </options>\n"
                              "</configuration>\n")
            .arg(guiPort_)
            .arg(QString::fromLatin1(kApiKey))
            .arg(listenPort_)
            .toUtf8();
    }

    // One call of the REST API; a null document when it failed.
    QJsonDocument call(const QByteArray& method, const QByteArray& path, const QJsonObject& body = {})
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(guiPort_) + QString::fromLatin1(path)));
        request.setRawHeader("X-API-Key", kApiKey);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        request.setTransferTimeout(10'000);
        QNetworkReply* reply = network_.sendCustomRequest(
            request, method, body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError)
            return {};
        const QByteArray answer = reply->readAll();
        // Some calls answer with nothing at all: success all the same.
        return answer.trimmed().isEmpty() ? QJsonDocument(QJsonObject{}) : QJsonDocument::fromJson(answer);
    }

    QString root_;
    int guiPort_, listenPort_;
    QString id_;
    QProcess serve_;
    QNetworkAccessManager network_;
};

QStringList sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

QByteArray kmlOf(const QString& prefix, int n)
{
    QStringList rows;
    for (int i = 1; i <= n; ++i)
        rows << place(QStringLiteral("%1%2").arg(prefix).arg(i));
    return exchange::kmlBytes(rows);
}

}  // namespace

class TestSyncthing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("syncthing")).isEmpty())
            QFAIL("syncthing is missing: run scripts/setup.sh");
    }

    void conflictCopyMergedOnOneSideReachesBoth_data()
    {
        QTest::addColumn<bool>("window");
        QTest::newRow("velmora merge") << false;
        QTest::newRow("the journal's watch") << true;
    }

    void conflictCopyMergedOnOneSideReachesBoth()
    {
        QFETCH(bool, window);
        const Watchdog watchdog("conflict copy merged on one side", std::chrono::seconds(100));
        const QString previous = QDir::currentPath();
        QTemporaryDir root;
        Machine a(root.path(), QStringLiteral("a")), b(root.path(), QStringLiteral("b"));
        QVERIFY(a.launch());
        QVERIFY(b.launch());
        QVERIFY(a.share(b));
        QVERIFY(b.share(a));

        // The journal both machines start from, put there by someone else.
        const QStringList shared{place("P1"), place("P2"), place("P3"), place("P4"), place("P5"), place("P6")};
        writeFile(a.journal(), journal::journalBytes(shared));
        QVERIFY(a.scan());
        QVERIFY2(waitFor([&] { return readFile(b.journal()) == readFile(a.journal()); }, 30'000),
                 "the journal did not reach the other machine");
        // The journal open on machine a, followed as the window follows it
        // while it has no unsaved changes: another writer's save is read
        // again, a conflict copy merged and written.
        std::unique_ptr<Workspace> open;
        QStringList mergedByWatch;
        if (window) {
            a.enter();
            open = std::make_unique<Workspace>();
            QVERIFY(open->openSettings());
            open->openJournal();
            journal::Journal& j = open->journal();
            j.watchForOtherWriters();
            connect(&j, &journal::Journal::changedOnDisk, open.get(), [&open] { open->followOtherWriter(); });
            connect(&j, &journal::Journal::conflictCopiesFound, open.get(), [&open, &mergedByWatch] {
                if (const auto saved = open->mergeCopiesFound(5000))
                    mergedByWatch << saved->copiesMerged;
            });
        }

        // Apart: five places and a removal here, five others and an edited comment there.
        QVERIFY(a.pause(b) && b.pause(a));
        writeFile(a.start() + QStringLiteral("/a.kml"), kmlOf(QStringLiteral("A"), 5));
        writeFile(b.start() + QStringLiteral("/b.kml"), kmlOf(QStringLiteral("B"), 5));
        const Machine::Run importA = a.velmora({QStringLiteral("import"), QStringLiteral("a.kml")});
        QVERIFY2(importA.exitCode == 0, qPrintable(importA.err));
        if (window) {
            // The list follows the import, then removes a place and saves.
            journal::Journal& j = open->journal();
            QVERIFY2(waitFor([&] { return j.rows().contains(place("A5")); }, 10'000), "the import was not followed");
            j.remove(int(j.rows().indexOf(place("P2"))));
            const journal::Journal::SaveResult saved = open->save(5000, nullptr);
            QVERIFY(saved.written());
            j.takeSaved(saved);
        } else {
            QVERIFY(a.edit([](journal::Journal& j) { j.remove(int(j.rows().indexOf(place("P2")))); }));
        }
        const Machine::Run importB = b.velmora({QStringLiteral("import"), QStringLiteral("b.kml")});
        QVERIFY2(importB.exitCode == 0, qPrintable(importB.err));
        QVERIFY(
            b.edit([](journal::Journal& j) { j.replace(int(j.rows().indexOf(place("P4"))), place("P4", "edited")); }));
        QVERIFY(a.scan() && b.scan());

        // Together again until Syncthing has made its conflict copy here.
        QVERIFY(a.resume(b) && b.resume(a));
        QString said;
        if (window) {
            // Syncthing puts the other's journal in place by a rename and
            // the copy beside it: the watch merges it.
            a.enter();
            QVERIFY2(waitFor([&] { return !mergedByWatch.isEmpty(); }, 60'000), "the watch merged no copy");
            said = mergedByWatch.constFirst();
        } else {
            QVERIFY2(waitFor([&] { return !a.conflictCopies().isEmpty(); }, 60'000), "no conflict copy appeared");
            const Machine::Run merged = a.velmora({QStringLiteral("merge")});
            QVERIFY2(merged.exitCode == 0, qPrintable(merged.out + merged.err));
            said = merged.out.trimmed();
        }
        qInfo("%s", qPrintable(said));
        QVERIFY2(said.startsWith(QLatin1String("Merged "))
                     && said.contains(QLatin1String(" from velmora.sync-conflict-")),
                 qPrintable(said));
        // Each side may have made its own copy of the conflict, named at its
        // own second: the other's arrives later and is merged in turn.
        // Scans are asked for as the sides change.
        QElapsedTimer lastScan;
        lastScan.start();
        const bool converged = waitFor(
            [&] {
                if (lastScan.elapsed() > 500) {
                    a.scan();
                    b.scan();
                    lastScan.restart();
                }
                if (!window && !a.conflictCopies().isEmpty())
                    a.velmora({QStringLiteral("merge")});
                return a.conflictCopies().isEmpty() && b.conflictCopies().isEmpty()
                       && readFile(b.journal()) == readFile(a.journal());
            },
            40'000);
        QVERIFY2(converged, qPrintable(QStringLiteral("the merged journal did not reach the other machine: %1 | %2")
                                           .arg(a.conflictCopies().join(u' '), b.conflictCopies().join(u' '))));

        QStringList expected{place("P1"), place("P3"), place("P4", "edited"), place("P5"), place("P6")};
        for (const char* prefix : {"A", "B"})
            for (int i = 1; i <= 5; ++i)
                expected << place(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i));
        for (const Machine* m : {&a, &b}) {
            const journal::ReadResult read = journal::readJournalFile(m->journal());
            QVERIFY(read.complete());
            QCOMPARE(sorted(read.rows), sorted(expected));
            QCOMPARE(QDir(m->save()).entryList({QStringLiteral("*.lock")}, QDir::Files | QDir::Hidden), QStringList());
        }
        if (window)
            QCOMPARE(sorted(open->journal().rows()), sorted(expected));
        open.reset();
        QDir::setCurrent(previous);
    }
};

QTEST_GUILESS_MAIN(TestSyncthing)
#include "test_syncthing.moc"
