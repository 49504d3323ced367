// The open journal without a window: import, export and new settings as
// the window and the command line both take them, and the texts they say.

#include "app/commandline.h"
#include "exchange/places.h"
#include "journal/history.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "workspace/workspace.h"
#include "worldwind/links.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QUndoStack>

#include <cmath>
#include <limits>

namespace {

// A start folder whose settings put the journal and the World Wind folder
// in it; the process works in it meanwhile.
class Folder {
public:
    Folder() : previous_(QDir::currentPath())
    {
        QDir::setCurrent(dir_.path());
        write("velmora.ini", ".\\\r\n.\\\r\narial\r\n 10 \r\n 16777215 \r\nFalse\r\nFalse\r\n");
        QDir().mkpath(QStringLiteral("add-ons/earth"));
        QDir().mkpath(QStringLiteral("config/earth"));
    }
    ~Folder() { QDir::setCurrent(previous_); }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(name).path());
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString& name) const
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList journal() const { return journal::readJournalFile(QStringLiteral("velmora.js")).rows; }

private:
    QString previous_;
    QTemporaryDir dir_;
};

QString place(const QString& name, double lat)
{
    return makeRow(name, links::linkFor(lat, 2), u"");
}

const QString kParis = place(QStringLiteral("Paris"), 48.85);
const QString kX = place(QStringLiteral("X"), 20), kY = place(QStringLiteral("Y"), 30);
const QString kLong = place(QString(kMaxFieldLength + 1, u'n'), 10);
const QString kLongShown = QString(60, u'n') + QStringLiteral("…");

QStringList fullJournal()
{
    QStringList rows;
    for (int i = 0; i < kMaxRows; ++i)
        rows << place(QStringLiteral("P%1").arg(i), 1);
    return rows;
}

struct Said {
    int code = -1;
    QString out, err;
};

Said commandLine(const QStringList& args)
{
    Said said;
    QTextStream out(&said.out), err(&said.err);
    said.code = commandline::run(args, out, err);
    out.flush();
    err.flush();
    return said;
}

}  // namespace

class TestWorkspace : public QObject {
    Q_OBJECT

private slots:
    // One table run two ways: File > Import places... (one step of the
    // list's history, nothing saved) and "velmora import" (saved). Both
    // take the same places; each says it in its own words.
    void importsEndTheSameWayInTheWindowAndOnTheCommandLine()
    {
        enum Kind { Refused, NothingNew, Adds };  // as the plan has them
        const struct {
            const char* what;
            QStringList journal;
            QString file;
            QByteArray bytes;  // none: the file is missing
            Kind kind;
            QStringList added;
            QString message;  // the window's box
            QString line;     // the command line's line, on standard output, or after "velmora: " on error
        } cases[] = {
            {"new places",
             {kParis},
             "in.kml",
             exchange::kmlBytes({kX, kY}),
             Adds,
             {kX, kY},
             "Imported from in.kml: 2 places.\n\nThe places are at the end of the list; save to keep them in the "
             "journal.",
             "in.kml: 2 places"},
            {"a waypoint and a track",
             {kParis},
             "in.gpx",
             "<gpx version=\"1.1\"><wpt lat=\"46.5\" lon=\"7.25\"><name>Hut</name><desc>dry</desc></wpt><trk>"
             "<trkseg><trkpt lat=\"1\" lon=\"1\"/><trkpt lat=\"2\" lon=\"2\"/></trkseg></trk></gpx>",
             Adds,
             {makeRow(u"Hut", links::linkFor(46.5, 7.25), u"dry")},
             "Imported from in.gpx: 1 place; 2 route and track points ignored.\n\nThe places are at the end of the "
             "list; save to keep them in the journal.",
             "in.gpx: 1 place; 2 route and track points ignored"},
            {"saved places, one without a position",
             {kParis},
             "Saved Places.json",
             R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":{"type":"Point",)"
             R"("coordinates":[2.5,48.5]},"properties":{"location":{"name":"Caf\u00e9"}}},{"type":"Feature",)"
             R"("geometry":{"type":"Point","coordinates":[0,0]},"properties":{"location":{"name":"Ghost"}}}]})",
             Adds,
             {makeRow(u"Café", links::linkFor(48.5, 2.5), u"")},
             {},
             "Saved Places.json: 1 place; 1 place without a position left out: \"Ghost\""},
            {"a list",
             {kParis},
             "Want to go.csv",
             "Title,Note,URL,Tags,Comment\n,,,,\nPort,,\"https://maps.google.com/?q=43.3,5.4\",,\n",
             Adds,
             {makeRow(u"Port", links::linkFor(43.3, 5.4), u"")},
             {},
             "Want to go.csv: 1 place"},
            {"a known place with an overlong name, and a new one",
             {kParis, kLong},
             "in.kml",
             exchange::kmlBytes({kLong, kX}),
             Adds,
             {kX},
             {},
             {}},
            {"a new place with an overlong name",
             {kParis},
             "in.kml",
             exchange::kmlBytes({kLong, kX}),
             Refused,
             {},
             {},
             "in.kml was not imported: the place \"" + kLongShown + "\" has a name of 32768 characters"},
            {"known places only",
             {kParis, kX},
             "in.kml",
             exchange::kmlBytes({kX, kParis}),
             NothingNew,
             {},
             "No new places: both are in the list already (in.kml); the list is unchanged.",
             "No places to import; the journal is unchanged"},
            {"no places at all",
             {kParis},
             "in.kml",
             "<kml><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark></kml>",
             NothingNew,
             {},
             "No places were found in in.kml (",
             "No places to import; the journal is unchanged"},
            {"ill-formed",
             {kParis},
             "in.kml",
             "<kml><Placemark>",
             Refused,
             {},
             "Nothing was imported from in.kml: ",
             "in.kml was not imported: "},
            {"missing",
             {kParis},
             "none.kml",
             {},
             Refused,
             {},
             "Nothing was imported from none.kml: there is no such file.",
             "none.kml was not imported: there is no such file; the journal is unchanged"},
            {"out of range",
             {kParis},
             "far.gpx",
             "<gpx><wpt lat=\"91\" lon=\"0\"/></gpx>",
             Refused,
             {},
             "out of range",
             "out of range"},
            {"a full journal",
             fullJournal(),
             "%1 one.kml",
             exchange::kmlBytes({kX}),
             Refused,
             {},
             "Nothing was imported from %1 one.kml: the list holds 32767 places and the file 1 place, more than the "
             "32767 places a journal can hold.",
             "the journal holds 32767 places and the files 1 place, more than the 32767 a journal can hold; the "
             "journal is unchanged"},
        };
        for (const auto& c : cases) {
            const QString what = QString::fromUtf8(c.what);
            {
                Folder folder;
                folder.write("velmora.js", journal::journalBytes(c.journal));
                if (!c.bytes.isEmpty())
                    folder.write(c.file, c.bytes);
                Workspace open;
                QVERIFY(open.openSettings());
                open.openJournal();
                const ImportOutcome got = open.import(c.file, 0);
                QVERIFY2(got.plan.outcome == exchange::ImportPlan::Outcome(c.kind),
                         qPrintable(what + u'\n' + got.message()));
                QVERIFY2(open.journal().rows() == c.journal + c.added, qPrintable(what));
                QVERIFY2(got.message().contains(c.message), qPrintable(what + u'\n' + got.message()));
                QVERIFY2(open.journal().isModified() == (c.kind == Adds), qPrintable(what));
                QCOMPARE(folder.read("velmora.js"), journal::journalBytes(c.journal));  // kept until a save
                if (c.kind == Adds) {  // one step of the history, named after the file
                    QCOMPARE(open.journal().history().stack()->undoText(), QStringLiteral("Import from ") + c.file);
                    open.journal().history().stack()->undo();
                    QCOMPARE(open.journal().rows(), c.journal);
                    QVERIFY(!open.journal().isModified());
                }
            }
            {
                Folder folder;
                folder.write("velmora.js", journal::journalBytes(c.journal));
                if (!c.bytes.isEmpty())
                    folder.write(c.file, c.bytes);
                const Said said = commandLine({QStringLiteral("import"), c.file});
                const int code[] = {1, 3, 0};
                QVERIFY2(said.code == code[c.kind], qPrintable(what + u'\n' + said.err));
                QVERIFY2(folder.journal() == c.journal + c.added, qPrintable(what));
                if (c.kind == Refused)
                    QVERIFY2(said.err.startsWith(QStringLiteral("velmora: ")) && said.err.contains(c.line)
                                 && said.err.count(u'\n') == 1 && said.out.isEmpty(),
                             qPrintable(what + u'\n' + said.err));
                else
                    QVERIFY2(said.out.contains(c.line) && said.err.isEmpty(), qPrintable(what + u'\n' + said.out));
            }
        }
    }

    void exportsWriteByTheExtensionAndSayHowItWent()
    {
        const QStringList rows = {makeRow(u"Paris", u"worldwind://goto/world=Earth&lat=48.85&lon=2.35", u"capital"),
                                  makeRow(u"Rock & Roll", u"worldwind://goto/world=Earth&lat=-1&lon=1", u"")};
        const struct {
            QString file;
            QByteArray bytes;  // none: nothing is written
            QString message;
            QString line;
        } cases[] = {
            {"out.kml", exchange::kmlBytes(rows), "2 places exported to out.kml.", "Exported 2 places to out.kml"},
            {"out.GPX", exchange::gpxBytes(rows), "2 places exported to out.GPX.", "Exported 2 places to out.GPX"},
            {"out.geojson", exchange::geoJsonBytes(rows), "2 places exported to out.geojson.",
             "Exported 2 places to out.geojson"},
            {"out.csv", exchange::csvBytes(rows), "2 places exported to out.csv.", "Exported 2 places to out.csv"},
            {"out.txt",
             {},
             "The places could not be exported to out.txt: ",
             "out.txt could not be written: the file name must end in .kml, .gpx, .kmz, .geojson, .json or .csv"},
            {"no/such/out.kml",
             {},
             "The places could not be exported to no/such/out.kml: ",
             "no/such/out.kml could not be written: "},
        };
        for (const auto& c : cases) {
            Folder folder;
            folder.write("velmora.js", journal::journalBytes(rows));
            Workspace open;
            QVERIFY(open.openSettings());
            open.openJournal();
            const ExportOutcome got = open.exportTo(c.file);
            QCOMPARE(got.ok(), !c.bytes.isEmpty());
            QCOMPARE(folder.read(c.file), c.bytes.isEmpty() ? QByteArray("<missing>") : c.bytes);
            QVERIFY2(got.message().startsWith(c.message), qPrintable(got.message()));
            QVERIFY2(got.line().startsWith(c.line), qPrintable(got.line()));
            QVERIFY(!open.journal().isModified());
        }
    }

    // Taking new settings: written, the new folder's journal in place of
    // the list (its history gone), the web view's files beside it.
    void configurationWritesReadsAndCopies()
    {
        const char* const webFiles[] = {
            "velmoralib.js", "velmora.html",           "velmora.css",   "bg.jpg",      "d3-array.min.js",
            "d3-geo.min.js", "topojson-client.min.js", "world-110m.js", "world-50m.js"};
        Folder folder;
        for (const char* f : webFiles)
            folder.write(f, QByteArray("source of ") + f);
        folder.write("journal/velmora.html", "the user's own page");
        folder.write("journal/velmora.js", journal::journalBytes({kParis, kX}));
        folder.write("velmora.js", journal::journalBytes({kY}));
        Workspace open;
        QVERIFY(open.openSettings());
        open.openJournal();
        open.journal().history().append({kX}, QStringLiteral("Add"), -1);
        QVERIFY(open.journal().isModified());

        Settings chosen = open.settings;
        chosen.SaveDir = QStringLiteral("journal");
        chosen.fontColor_ = 255;
        chosen.fontBold_ = true;
        const ConfigureOutcome done = open.configure(chosen);
        QCOMPARE(done.settingsNotSaved, QString());
        QCOMPARE(folder.read("velmora.ini"),
                 QByteArray("journal\r\n.\\\r\narial\r\n 10 \r\n 255 \r\nTrue\r\nFalse\r\n"));
        QCOMPARE(done.read.rows, (QStringList{kParis, kX}));
        QCOMPARE(open.journal().rows(), (QStringList{kParis, kX}));
        QVERIFY(!open.journal().isModified());
        QVERIFY(!open.journal().history().stack()->canUndo());
        for (const char* f : webFiles)
            if (QByteArrayView(f) != "velmora.html")
                QCOMPARE(folder.read(QStringLiteral("journal/") + QLatin1String(f)), QByteArray("source of ") + f);
        QCOMPARE(folder.read("journal/velmora.html"), QByteArray("the user's own page"));
        QCOMPARE(done.log, QStringList{QStringLiteral("Copying other files (jsLib, html, css)")});
        QVERIFY(!open.webPageMissing());
        QCOMPARE(open.webPage(), QDir::current().absoluteFilePath(QStringLiteral("journal/velmora.html")));

        // A settings file that cannot be written is said; the settings hold for this run.
        QFile::remove(QStringLiteral("velmora.ini"));
        QDir().mkdir(QStringLiteral("velmora.ini"));
        chosen.SaveDir = QStringLiteral(".\\");
        const ConfigureOutcome unsaved = open.configure(chosen);
        QVERIFY2(unsaved.settingsNotSaved
                     == QStringLiteral("The settings could not be saved to %1: Filename refers to a directory.")
                            .arg(QDir::current().absoluteFilePath(QStringLiteral("velmora.ini"))),
                 qPrintable(unsaved.settingsNotSaved));
        QCOMPARE(open.settings, chosen);
        QCOMPARE(open.journal().rows(), QStringList{kY});
    }

    // The window, its start-up and the command line open the same way.
    // Another writer's save and a sync tool's conflict copy, as the watch
    // hands them on: followed or merged at once without unsaved changes,
    // said once and left for the next save with them.
    void otherWritersAreFollowedOnlyWithoutUnsavedChanges()
    {
        const QString readAgain = QStringLiteral("The journal was changed by another program; the list was read again");
        const QString kept = QStringLiteral(
            "The journal was changed by another program; the list has unsaved changes, so it was not read again");
        for (const bool modified : {false, true}) {
            const Folder folder;
            folder.write("velmora.js", journal::journalBytes({kX}));
            Workspace w;
            QVERIFY(w.openSettings());
            w.openJournal();
            if (modified)
                w.journal().history().append({kParis}, QStringLiteral("Add"), -1);
            const QStringList listed = w.journal().rows();

            folder.write("velmora.js", journal::journalBytes({kX, kY}));
            QSignalSpy changed(&w.journal(), &journal::Journal::changedOnDisk);
            w.journal().checkDiskLater(0);  // the watch's look
            QTRY_COMPARE(changed.count(), 1);
            const Workspace::Followed first = w.followOtherWriter();
            QCOMPARE(first.log, modified ? kept : readAgain);
            QCOMPARE(first.read.has_value(), !modified);
            QCOMPARE(w.journal().rows(), modified ? listed : QStringList({kX, kY}));
            if (modified)
                QCOMPARE(w.followOtherWriter().log, QString());  // said once

            folder.write("velmora.sync-conflict-20261208-101010-ABCDEFG.js", journal::journalBytes({kX, kY, kParis}));
            const std::optional<journal::Journal::SaveResult> merged = w.mergeCopiesFound(1000);
            QCOMPARE(merged.has_value(), !modified);
            if (!modified) {
                QVERIFY(merged->written());
                QCOMPARE(folder.journal(), QStringList({kX, kY, kParis}));
                QCOMPARE(w.journal().rows(), folder.journal());
                QVERIFY(!w.journal().isModified());
            }
        }
    }

    void openingNeedsTheWholeSettingsFile()
    {
        Folder folder;
        folder.write("velmora.ini", "elsewhere\r\nww\r\ntimes\r\nbig\r\n");
        Workspace open;
        QVERIFY(!open.openSettings());
        QCOMPARE(open.settings.SaveDir, QStringLiteral("elsewhere"));  // read before the failing value
        QCOMPARE(open.journal().path(), open.journalPath());           // a save asks before replacing it
        QCOMPARE(open.journal().count(), 0);
        QCOMPARE(open.webPage(), QDir::current().absoluteFilePath(QStringLiteral("elsewhere/velmora.html")));
        QVERIFY(!open.webPageMissing());  // no such folder: nothing to copy into
    }

    void fontSizesAreWholeAndInRange()
    {
        const std::pair<double, int> cases[] = {{10.5, 10},
                                                {11.5, 12},
                                                {8.25, 8},
                                                {-0.5, 0},
                                                {1e9, 32767},
                                                {-1e9, -32768},
                                                {std::numeric_limits<double>::quiet_NaN(), 0}};
        for (const auto& [points, size] : cases)
            QCOMPARE(int(Workspace::fontSize(points)), size);
    }

    // A save writes the journal and the World Wind layer of its rows into
    // the World Wind folder; one without World Wind in it is named.
    void savesWriteTheLayerIntoTheWorldWindFolder()
    {
        const struct {
            const char* wwDir;
            bool layer;
        } cases[] = {{".\\", true}, {"nowhere", false}, {"empty", false}};
        for (const auto& c : cases) {
            Folder folder;
            QDir().mkpath(QStringLiteral("empty"));
            folder.write("velmora.js", journal::journalBytes({kParis}));
            Workspace open;
            QVERIFY(open.openSettings());
            open.settings.WWDir = QString::fromLatin1(c.wwDir);
            open.openJournal();
            open.journal().history().append({kX}, QStringLiteral("Add"), -1);
            const auto saved = open.save(
                1000, [](const journal::Journal::Question&) { return journal::Journal::Answer::Cancel; });
            QVERIFY(saved.written());
            QCOMPARE(folder.journal(), (QStringList{kParis, kX}));
            QCOMPARE(QFile::exists(QStringLiteral("add-ons/earth/velmora/velmora.wwp")), c.layer);
            QCOMPARE(folder.read("add-ons/earth/velmora/velmora.wpl").size(), c.layer ? 32 : 9);
            QVERIFY(folder.read("config/earth/velmora.xml").startsWith(c.layer ? "<?xml" : "<missing>"));
            QCOMPARE(saved.layerFailures,
                     c.layer ? QStringList() : QStringList{placenames::noWorldWind(open.settings.WWDir)});
        }
    }

    // The words of a save that did not write: the window's box, the command line's line.
    void textsOfFailedSaves()
    {
        QCOMPARE(texts::saveFailed(QStringLiteral("/srv/velmora.js"), QStringLiteral("busy"), true),
                 QStringLiteral("The journal could not be saved to /srv/velmora.js: busy. Try again in a moment."));
        QCOMPARE(texts::saveFailed(QStringLiteral("/srv/velmora.js"), QStringLiteral("disk full"), false),
                 QStringLiteral("The journal could not be saved to /srv/velmora.js: disk full."));
        QCOMPARE(texts::notSaved(QStringLiteral("/srv/velmora.js"), QStringLiteral("disk full")),
                 QStringLiteral("the journal /srv/velmora.js could not be saved: disk full; it is unchanged"));
    }
};

QTEST_GUILESS_MAIN(TestWorkspace)
#include "test_workspace.moc"
