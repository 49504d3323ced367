// The command line, run through its entry function as the program runs it
// (and the built program itself where main() matters), on a machine
// without a display.

#include "app/commandline.h"
#include "exchange/places.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "version.h"
#include "worldwind/links.h"
#include "worldwind/placenames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "printers.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// A start folder with settings naming the save folder "save" and the World
// Wind folder "ww", its layer folders in place.
class Folder {
public:
    Folder()
    {
        // The program runs its command line inside a core application.
        static int argc = 1;
        static char name[] = "velmora";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        write("velmora.ini", "save\r\nww\r\narial\r\n 12 \r\n 255 \r\nTrue\r\nFalse\r\n");
        QDir(dir_.path()).mkpath(QStringLiteral("save"));
        QDir(dir_.path()).mkpath(QStringLiteral("ww/add-ons/earth"));
        QDir(dir_.path()).mkpath(QStringLiteral("ww/config/earth"));
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The command line run in this folder.
    Outcome velmora(const QStringList& args) const
    {
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        Outcome r;
        QTextStream out(&r.out), err(&r.err);
        r.exitCode = commandline::run(args, out, err);
        out.flush();
        err.flush();
        QDir::setCurrent(before);
        return r;
    }
    // The built program run in this folder, with no display to open a window on.
    Outcome program(const QStringList& args) const { return run(args, {}); }
    // The built program where no file it writes may grow past `bytes`.
    Outcome velmoraLimited(const QStringList& args, rlim_t bytes) const { return run(args, {}, bytes); }
    // The window started where `display` names an X display that is not there.
    Outcome velmoraOn(const QString& display) const { return run({}, display); }

private:
    Outcome run(const QStringList& args, const QString& display, rlim_t fileLimit = RLIM_INFINITY) const
    {
        QProcess p;
        p.setChildProcessModifier([fileLimit] {
            const rlimit r{fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &r);
        });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir_.path());
        p.start(QStringLiteral(VELMORA_PROGRAM), args);
        Outcome r;
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.exitCode = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

private:
    QTemporaryDir dir_;
};

const QStringList kJournal = {
    makeRow(u"Paris", u"worldwind://goto/world=Earth&lat=48.85&lon=2.35", u"capital"),
    makeRow(u"Rock & Roll \"<x>\"", u"worldwind://goto/world=Earth&lat=-1&lon=1&alt=5", u"it's"),
};

// One line on standard error, nothing on standard output.
void expectOneErrorLine(const Outcome& r, const char* saying)
{
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(QLatin1String("velmora: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String(saying))) << r.err.toStdString();
}

}  // namespace

TEST(CommandLine, HelpVersionAndWhatItDoesNotUnderstand)
{
    Folder f;
    const Outcome version = f.program({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("velmora ") + QLatin1String(version::kText) + u'\n');
    const Outcome help = f.velmora({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("velmora import FILE..."))) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty());

    // Each command's own usage, also where a file name stands first.
    for (const QStringList& args :
         {QStringList{QStringLiteral("import"), QStringLiteral("--help")},
          QStringList{QStringLiteral("import"), QStringLiteral("a.kml"), QStringLiteral("-h")},
          QStringList{QStringLiteral("export"), QStringLiteral("-h")},
          QStringList{QStringLiteral("export"), QStringLiteral("--help")}}) {
        const Outcome usage = f.velmora(args);
        EXPECT_EQ(usage.exitCode, 0) << args.join(u' ').toStdString();
        EXPECT_TRUE(usage.out.startsWith(QStringLiteral("Usage: velmora ") + args[0] + u' '))
            << usage.out.toStdString();
        EXPECT_TRUE(usage.err.isEmpty()) << usage.err.toStdString();
    }
    EXPECT_EQ(f.read(QStringLiteral("velmora.js")), "<missing>");

    const struct {
        QStringList args;
        const char* saying;
    } wrong[] = {
        {{QStringLiteral("frobnicate")}, "unknown command \"frobnicate\""},
        {{QStringLiteral("export")}, "export takes one file name"},
        {{QStringLiteral("export"), QStringLiteral("a.kml"), QStringLiteral("b.kml")}, "export takes one file name"},
        {{QStringLiteral("export"), QStringLiteral("places.txt")},
         "must end in .kml, .gpx, .kmz, .geojson, .json or .csv"},
        {{QStringLiteral("import")}, "import takes one or more file names"},
    };
    for (const auto& w : wrong) {
        SCOPED_TRACE(w.args.join(u' ').toStdString());
        const Outcome r = f.velmora(w.args);
        EXPECT_EQ(r.exitCode, 2);
        expectOneErrorLine(r, w.saying);
    }
}

// The window without a display: one line, naming what works without one.
TEST(CommandLine, WindowWithoutADisplaySaysSoInOneLine)
{
    Folder f;
    const Outcome none = f.program({});
    EXPECT_EQ(none.exitCode, 1);
    expectOneErrorLine(none, "velmora import/export work without a display");
    EXPECT_TRUE(none.err.contains(QLatin1String("DISPLAY is not set"))) << none.err.toStdString();
    const Outcome gone = f.velmoraOn(QStringLiteral(":7391"));
    EXPECT_EQ(gone.exitCode, 1);
    expectOneErrorLine(gone, "the display \":7391\" could not be opened");
}

TEST(CommandLine, ExportWritesTheJournalsPlaces)
{
    Folder f;
    f.write("save/velmora.js", journal::journalBytes(kJournal));
    const Outcome kml = f.velmora({QStringLiteral("export"), QStringLiteral("out.kml")});
    EXPECT_EQ(kml.exitCode, 0) << kml.err.toStdString();
    EXPECT_TRUE(kml.out.startsWith(QLatin1String("Exported 2 places to "))) << kml.out.toStdString();
    EXPECT_EQ(f.read("out.kml"), exchange::kmlBytes(kJournal));
    // The other formats, by their extensions, are tested on the open journal.

    const Outcome nowhere = f.velmora({QStringLiteral("export"), QStringLiteral("no/such/folder/out.kml")});
    EXPECT_EQ(nowhere.exitCode, 1);
    expectOneErrorLine(nowhere, "could not be written");
}

TEST(CommandLine, ImportSavesTheJournalAndRefreshesTheLayerLikeASave)
{
    Folder f;
    f.write("save/velmora.js", journal::journalBytes(kJournal));
    const QStringList ours = {makeRow(u"Ours", u"worldwind://goto/world=Earth&lat=10&lon=20&view=3", u"x")};
    f.write("ours.kml", exchange::kmlBytes(ours));
    f.write("theirs.gpx", "<gpx version=\"1.0\"><wpt lat=\"46.5\" lon=\"7.25\"><name> Hut </name></wpt>"
                          "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg></trk></gpx>");
    const Outcome r = f.velmora({QStringLiteral("import"), QStringLiteral("ours.kml"), QStringLiteral("theirs.gpx")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("theirs.gpx: 1 place; 1 route or track point ignored")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("Imported 2 places into "))) << r.out.toStdString();

    const QStringList rows = kJournal + ours + QStringList{makeRow(u"Hut", links::linkFor(46.5, 7.25), u"")};
    EXPECT_EQ(f.read("save/velmora.js"), journal::journalBytes(rows));
    placenames::LabelFont font;
    font.name = QStringLiteral("arial");
    font.size = 12;
    font.color = 255;
    font.bold = true;
    EXPECT_EQ(f.read("ww/add-ons/earth/velmora/velmora.wwp"), placenames::dataFile(rows));
    EXPECT_EQ(f.read("ww/add-ons/earth/velmora/velmora.wpl"), placenames::listFile());
    EXPECT_EQ(f.read("ww/config/earth/velmora.xml"), placenames::layerSetFile(font));

    // The same files again add nothing, and say so.
    const Outcome again = f.velmora(
        {QStringLiteral("import"), QStringLiteral("ours.kml"), QStringLiteral("theirs.gpx")});
    EXPECT_EQ(again.exitCode, 3) << again.err.toStdString();  // nothing changed
    EXPECT_TRUE(
        again.out.contains(QLatin1String("theirs.gpx: No new places: the only one is in the list already; 1 route or "
                                         "track point ignored")))
        << again.out.toStdString();
    EXPECT_EQ(f.read("save/velmora.js"), journal::journalBytes(rows));
}

TEST(CommandLine, NothingChangesWhenAnythingIsWrong)
{
    const QByteArray journal = journal::journalBytes(kJournal);
    const QByteArray good = exchange::kmlBytes({makeRow(u"New", links::linkFor(3, 4), u"")});
    const struct {
        const char* what;
        QByteArray journal;
        QByteArray file;
        const char* saying;
    } cases[] = {
        {"a bad file among good ones", journal, "<kml><Placemark><Point><coordinates>1,91</coordinates>",
         "bad.kml was not imported"},
        {"an entity bomb", journal, "<!DOCTYPE kml [<!ENTITY a \"aaaa\">]><kml>&a;</kml>", "declares entities"},
        {"a journal read in part", journal + "garbage\r\n" + journal, good,
         "could not be read in full (reading stopped at line 3)"},
        {"a journal with LF line ends", QByteArray(journal).replace("\r\n", "\n"), good,
         "line 1 holds more than one place"},
        {"text after an entry", journal + "add_place(\"a\",\"b\",\"c\");alert(1);//\r\n", good,
         "could not be read in full (reading stopped at line 3)"},
        {"a fourth argument", "add_place(\"a\",\"b\",\"c\",\"d\");\r\n" + journal, good,
         "could not be read in full (reading stopped at line 1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f;
        f.write("save/velmora.js", c.journal);
        f.write("good.kml", good);
        f.write("bad.kml", c.file);
        const Outcome r = f.velmora({QStringLiteral("import"), QStringLiteral("good.kml"), QStringLiteral("bad.kml")});
        EXPECT_EQ(r.exitCode, 1);
        expectOneErrorLine(r, c.saying);
        EXPECT_EQ(f.read("save/velmora.js"), c.journal);
        EXPECT_FALSE(QFile::exists(f.path("ww/config/earth/velmora.xml")));
    }

    Folder none;
    QFile::remove(none.path("velmora.ini"));
    const Outcome r = none.velmora({QStringLiteral("export"), QStringLiteral("x.kml")});
    EXPECT_EQ(r.exitCode, 1);
    expectOneErrorLine(r, "no readable settings file velmora.ini");
    EXPECT_FALSE(QFile::exists(none.path("x.kml")));
}

TEST(CommandLine, WhatCannotBeWrittenWholeIsAFailureAndTheOldFilesStay)
{
    Folder f;
    const QByteArray journal = journal::journalBytes(kJournal);
    f.write("save/velmora.js", journal);
    f.write("new.kml", exchange::kmlBytes({makeRow(u"New & more", links::linkFor(3, 4), u"")}));
    f.write("places.gpx", "old");
    const rlim_t limit = rlim_t(journal.size());  // too small for the journal with one place more
    const Outcome import = f.velmoraLimited({QStringLiteral("import"), QStringLiteral("new.kml")}, limit);
    EXPECT_EQ(import.exitCode, 1);
    EXPECT_TRUE(import.err.contains(QLatin1String("File too large"))) << import.err.toStdString();
    EXPECT_EQ(import.err.count(u'\n'), 1) << import.err.toStdString();
    EXPECT_EQ(f.read("save/velmora.js"), journal);

    const Outcome exported = f.velmoraLimited({QStringLiteral("export"), QStringLiteral("places.gpx")}, 100);
    EXPECT_EQ(exported.exitCode, 1);
    expectOneErrorLine(exported, "File too large");
    EXPECT_EQ(f.read("places.gpx"), "old");
}

TEST(CommandLine, OutcomesAScriptCanTrust)
{
    const QByteArray journal = journal::journalBytes(kJournal);
    const QByteArray onePlace = exchange::kmlBytes({makeRow(u"New", links::linkFor(3, 4), u"")});
    const QString overlong = QStringLiteral("%1 %2") + QString(40'000, u'y');
    const QString kCopy = QStringLiteral("velmora.sync-conflict-20261207-093015-K3X2R2T.js");
    const QString kNew = makeRow(u"From the other machine", links::linkFor(5, 6), u"");
    const struct {
        const char* what;
        std::function<void(Folder&)> prepare;
        QStringList args;
        int exitCode;
        QString saying;  // on standard output for 0 and 3, else on standard error
        bool journalChanged;
    } cases[] = {
        {"the layer not written",
         [&](Folder& f) {
             f.write("new.kml", onePlace);
             QDir(f.path("ww/config")).removeRecursively();
         },
         {"import", "new.kml"},
         4,
         "the journal was saved, but the World Wind layer could not all be written",
         true},
        {"a save folder that is not there",
         [](Folder& f) { QDir(f.path("save")).removeRecursively(); },
         {"export", "out.kml"},
         1,
         "/save named in velmora.ini does not exist",
         false},
        {"a file name shown as given",
         [](Folder&) {},
         {"import", "back\\slash %1 %2\x1b[m.gpx"},
         1,
         "back\\slash %1 %2\\x1b[m.gpx was not imported: there is no such file",
         false},
        {"a symbolic link in a loop",
         [](Folder& f) { QFile::link(f.path("loop.kml"), f.path("loop.kml")); },
         {"import", "loop.kml"},
         1,
         "loop.kml was not imported: it is a symbolic link that leads round in a loop",
         false},
        {"merge without conflict copies",
         [](Folder&) {},
         {"merge"},
         3,
         "No conflict copies of the journal to merge",
         false},
        {"merge takes a conflict copy in",
         [&](Folder& f) {
             f.write("save/" + kCopy, journal::journalBytes({kJournal[0], kNew}));
         },
         {"merge"},
         0,
         "Merged 1 place from " + kCopy,
         true},
        {"an import with nothing new still merges a copy",
         [&](Folder& f) {
             f.write("save/" + kCopy, journal::journalBytes({kNew}));
             f.write("same.kml", exchange::kmlBytes({kJournal[0]}));
         },
         {"import", "same.kml"},
         0,
         "Merged 1 place from " + kCopy,
         true},
        {"a copy that is not a journal is named and left",
         [&](Folder& f) { f.write("save/" + kCopy, "Places to see:\r\n"); },
         {"merge"},
         1,
         "The conflict copy " + kCopy + " could not be read",
         false},
        {"a name longer than the window holds",
         [&](Folder& f) { f.write("long.kml", exchange::kmlBytes({makeRow(overlong, links::linkFor(1, 2), u"")})); },
         {"import", "long.kml"},
         1,
         "the place \"%1 %2" + QString(55, u'y') + "…\" has a name of 40005 characters, more than the 32767",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f;
        f.write("save/velmora.js", journal);
        c.prepare(f);
        const Outcome r = f.velmora(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        if (c.exitCode == 0 || c.exitCode == 3) {
            EXPECT_TRUE(r.out.contains(c.saying)) << r.out.toStdString();
        } else {
            EXPECT_TRUE(r.err.contains(c.saying) && r.err.count(u'\n') == 1 && r.err.size() < 400)
                << r.err.toStdString();
        }
        if (QFile::exists(f.path("save"))) {
            EXPECT_EQ(f.read("save/velmora.js") != journal, c.journalChanged);
        }
        EXPECT_FALSE(QFile::exists(f.path("out.kml")));
        EXPECT_FALSE(c.exitCode == 0 && QFile::exists(f.path("save/" + kCopy))) << "a merged copy stayed";
    }
}
