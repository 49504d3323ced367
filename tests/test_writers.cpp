// One journal, several writers: the open journal saving as the window does
// and command-line imports run by the built program, side by side in one
// start folder.

#include "exchange/places.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "programruns.h"
#include "startfolder.h"
#include "workspace/workspace.h"
#include "worldwind/links.h"

#include <QProcess>
#include <QTest>
#include <memory>

using journal::Journal;
using testfolder::StartFolder;

namespace {

const QStringList kParis = {makeRow(u"Paris", u"worldwind://goto/world=Earth&lat=48.85&lon=2.35", u"")};

void prepare(StartFolder& start)
{
    start.write("velmora.ini", testfolder::kSettings);
    start.write("velmora.js", journal::journalBytes(kParis));
    QDir().mkpath(start.path("add-ons/earth"));
    QDir().mkpath(start.path("config/earth"));
}

QByteArray places(const QString& prefix, int n)
{
    QStringList rows;
    for (int i = 0; i < n; ++i)
        rows << makeRow(QStringLiteral("%1-%2").arg(prefix).arg(i + 1), links::linkFor(i % 90, i % 180), u"");
    return exchange::kmlBytes(rows);
}

using programruns::Run;

QStringList journalNames(const StartFolder& start, const char* journal = "velmora.js")
{
    QStringList names;
    for (const QString& row : journal::readJournalFile(start.path(journal)).rows)
        names << splitRow(row).name;
    return names;
}

// The open journal as the window starts it.
void open(Workspace& w)
{
    w.openSettings();
    w.openJournal();
    w.journal().watchForOtherWriters();
}

// The window's Save, waiting for the turn as long as the window does: the
// question answered `answer` (and noted in `asked`), the rows then what
// the file holds.
Journal::SaveResult save(Workspace& w, Journal::Answer answer, QList<Journal::Question>* asked = nullptr)
{
    const Journal::SaveResult saved = w.save(5000, [&](const Journal::Question& q) {
        if (asked)
            *asked << q;
        return answer;
    });
    if (saved.written())
        w.journal().takeSaved(saved);
    return saved;
}

}  // namespace

class TestWriters : public QObject {
    Q_OBJECT

private slots:
    void whatWasLostBeforeArrives()
    {
        const struct {
            const char* what;
            bool windowSavesAfter;
            QList<QByteArray> imports;  // one process each, all at once
            int exitCode;
            QStringList journal;
            const char* saying;  // on standard error
            bool exported;       // then exported: no place may land at 0,0
        } cases[] = {
            {"the list saves right after an import",
             true,
             {places("CLI", 2)},
             0,
             {"Paris", "CLI-1", "CLI-2"},
             "",
             false},
            {"two imports at once", false, {places("A", 1), places("B", 1)}, 0, {"Paris", "A-1", "B-1"}, "", false},
            {"a name too long to read back",
             false,
             {exchange::kmlBytes({makeRow(QString(kMaxFieldLength + 1, u'x'), links::linkFor(1, 2), u"")})},
             1,
             {"Paris"},
             "has a name of 32768 characters",
             false},
            {"a kept link with a line end",
             false,
             {"<gpx version=\"1.0\"><wpt lat=\"48.85\" lon=\"2.35\"><name>Notre-Dame</name><url>"
              "worldwind://goto/world=Earth&amp;lat=48.85&amp;lon=2.35\n\t</url></wpt></gpx>"},
             0,
             {"Paris", "Notre-Dame"},
             "",
             true},
        };
        for (const auto& c : cases) {
            StartFolder start;
            prepare(start);
            Workspace w;
            open(w);
            QList<QStringList> argLists;
            for (int i = 0; i < c.imports.size(); ++i) {
                const QString file = QStringLiteral("in%1.%2").arg(i).arg(c.imports[i].startsWith("<gpx") ? "gpx"
                                                                                                          : "kml");
                start.write(file, c.imports[i]);
                argLists << QStringList{QStringLiteral("import"), file};
            }
            for (const Run& r : programruns::atOnce(argLists)) {
                QVERIFY2(r.exitCode == c.exitCode, qPrintable(QString::fromUtf8(c.what) + u' ' + r.err));
                QVERIFY2(r.err.contains(QString::fromUtf8(c.saying)), qPrintable(r.err));
            }
            // Before the list could hear of the import: with nothing of its
            // own to lose, its Save takes the file as it is, asking nothing.
            if (c.windowSavesAfter) {
                QList<Journal::Question> asked;
                const Journal::SaveResult saved = save(w, Journal::Answer::Cancel, &asked);
                QVERIFY2(saved.written() && saved.layerFailures.isEmpty() && asked.isEmpty(), c.what);
            }
            QStringList names = journalNames(start), expected = c.journal;
            names.sort();
            expected.sort();
            QVERIFY2(names == expected, qPrintable(QString::fromUtf8(c.what) + u' ' + names.join(u',')));
            if (c.exported) {
                QCOMPARE(programruns::atOnce({{QStringLiteral("export"), QStringLiteral("out.kml")}}).first().exitCode,
                         0);
                QVERIFY2(!start.read("out.kml").contains("<coordinates>0,0<"), c.what);
            }
        }
    }

    void tenImportsAtOnceAllArrive()
    {
        StartFolder start;
        prepare(start);
        QList<QStringList> argLists;
        for (int k = 0; k < 10; ++k) {
            const QString file = QStringLiteral("p%1.kml").arg(k);
            start.write(file, places(file, 1000));
            argLists << QStringList{QStringLiteral("import"), file};
        }
        for (const Run& r : programruns::atOnce(argLists)) {
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            QVERIFY2(r.out.contains(QLatin1String("Imported 1000 places into ")), qPrintable(r.out));
        }
        const QStringList names = journalNames(start);
        QCOMPARE(names.size(), 10'001);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 10'001);
        // No temporary copy left behind, none taken from a live save.
        QCOMPARE(QDir(start.path()).entryList({QStringLiteral("velmora.js.*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void everyPathToOneJournalSharesOneTurn()
    {
        // One journal reached as a link to it, as the file itself and
        // through "..": twenty imports at once, each from its own start
        // folder, and every place arrives.
        StartFolder start;
        start.write("real/velmora.js", journal::journalBytes(kParis));
        QDir().mkpath(start.path("ww/add-ons/earth"));
        QDir().mkpath(start.path("ww/config/earth"));
        QDir().mkpath(start.path("linked"));
        QVERIFY(QFile::link(QStringLiteral("../real/velmora.js"), start.path("linked/velmora.js")));
        const QByteArray saveDirs[] = {"..\\linked", "..\\real", "..\\linked\\..\\real"};
        QList<QStringList> argLists;
        QStringList folders;
        for (int k = 0; k < 20; ++k) {
            const QString folder = QStringLiteral("start%1").arg(k);
            start.write(folder + QStringLiteral("/velmora.ini"), testfolder::settingsFile(saveDirs[k % 3], "..\\ww"));
            start.write(folder + QStringLiteral("/in.kml"), places(folder, 100));
            argLists << QStringList{QStringLiteral("import"), QStringLiteral("in.kml")};
            folders << start.path(folder);
        }
        for (const Run& r : programruns::atOnce(argLists, folders))
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(QFileInfo(start.path("linked/velmora.js")).isSymLink());
        const QStringList names = journalNames(start, "real/velmora.js");
        QCOMPARE(names.size(), 2001);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 2001);
    }

    void theListSavesWhileTenImportsRun()
    {
        // A Save every 0.15 s while ten imports of 1000 places each take
        // their turns: none of their places is lost, whether the list had
        // nothing unsaved or kept both.
        for (const bool unsaved : {false, true}) {
            StartFolder start;
            prepare(start);
            Workspace w;
            open(w);
            if (unsaved)
                w.journal().append({makeRow(u"Unsaved", links::linkFor(5, 5), u"")});
            std::vector<std::unique_ptr<QProcess>> imports;
            for (int k = 0; k < 10; ++k) {
                const QString file = QStringLiteral("p%1.kml").arg(k);
                start.write(file, places(file, 1000));
                imports.emplace_back(std::make_unique<QProcess>())
                    ->start(QStringLiteral(VELMORA_PROGRAM), {QStringLiteral("import"), file});
            }
            const auto running = [&] {
                return std::any_of(imports.begin(), imports.end(),
                                   [](const auto& p) { return p->state() != QProcess::NotRunning; });
            };
            if (unsaved)  // the first save then meets another writer's places
                QVERIFY(imports.front()->waitForFinished(120'000));
            // Not yet followed: the list holds none of them.
            int saves = 0;
            QList<Journal::Question> asked;
            while ((saves < 2 || running()) && saves < 400) {
                save(w, Journal::Answer::KeepBoth, &asked);
                ++saves;
                QTest::qWait(150);
            }
            for (const auto& p : imports) {
                if (p->state() != QProcess::NotRunning)
                    QVERIFY(p->waitForFinished(120'000));
                QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                         p->readAllStandardError().constData());
            }
            QCOMPARE(asked.isEmpty(), !unsaved);
            QVERIFY(save(w, Journal::Answer::KeepBoth).written());
            QVERIFY(!w.journal().isModified());
            const QStringList names = journalNames(start);
            QCOMPARE(names.size(), 10001 + (unsaved ? 1 : 0));
            QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
            QCOMPARE(names.contains(QStringLiteral("Unsaved")), unsaved);
            QVERIFY(saves > 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestWriters)
#include "test_writers.moc"
