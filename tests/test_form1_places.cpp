// File > Import places... and File > Export places... in the main window.

#include "exchange/places.h"
#include "guitest.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "worldwind/links.h"

#include <QAction>
#include <QTest>

using guitest::StartFolder;

namespace {

const QStringList kTwoPlaces = {
    makeRow(u"Paris", u"worldwind://goto/world=Earth&lat=48.85&lon=2.35", u"capital"),
    makeRow(u"Rock & Roll", u"worldwind://goto/world=Earth&lat=-1&lon=1", u""),
};

// A window loaded with the two places of the journal in `start`.
void load(StartFolder& start, Form1& form)
{
    start.write("velmora.js", journal::journalBytes(kTwoPlaces));
    guitest::loadWindow(start, form);
    QCOMPARE(form.List1->rows(), kTwoPlaces);
}

}  // namespace

class TestForm1Places : public QObject {
    Q_OBJECT

private slots:
    void importAppendsThePlacesAndMarksTheJournalModified()
    {
        StartFolder start;
        Form1 form;
        load(start, form);
        start.write("in.gpx",
                    "<gpx version=\"1.1\"><wpt lat=\"46.5\" lon=\"7.25\"><name>Hut</name><desc>dry</desc>"
                    "</wpt><trk><trkseg><trkpt lat=\"1\" lon=\"1\"/><trkpt lat=\"2\" lon=\"2\"/></trkseg></trk>"
                    "</gpx>");
        CommonDialog::setNextOpenFile(start.path("in.gpx"));
        form.mnuFileImport->trigger();
        QCOMPARE(CommonDialog::lastRequest().filter,
                 QStringLiteral("Places (*.kml *.kmz *.gpx *.geojson *.json *.csv);;All files (*)"));
        QCOMPARE(form.List1->rows(), kTwoPlaces + QStringList{makeRow(u"Hut", links::linkFor(46.5, 7.25), u"dry")});
        QVERIFY(form.isModified());
        QVERIFY(form.windowTitle().endsWith(QStringLiteral("(modified)")));
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(MessageBox::history().last().contains(QStringLiteral(": 1 place; 2 route and track points ignored.")),
                 qPrintable(MessageBox::history().last()));
        QCOMPARE(start.read("velmora.js"), journal::journalBytes(kTwoPlaces));  // kept until a save

        // The same file again adds nothing, and says so.
        const QStringList rows = form.List1->rows();
        QVERIFY(!form.importPlaces(start.path("in.gpx")));
        QCOMPARE(form.List1->rows(), rows);
        const QString said = MessageBox::history().last();
        QVERIFY2(said.startsWith(QStringLiteral(
                     "No new places: the only one is in the list already; 2 route and track points ignored ("))
                     && said.endsWith(QStringLiteral("in.gpx); the list is unchanged.")),
                 qPrintable(said));
    }

    // The rule itself, with files made to crash or trick the reader, is
    // tested on the model; here each way of saying no, once.
    void badFilesAndTheRowLimitLeaveTheListAlone()
    {
        const struct {
            const char* what;
            const char* file;
            QByteArray bytes;
            bool fullList;
            const char* saying;
        } cases[] = {
            {"ill-formed", "bad.kml", "<kml><Placemark>", false, "Nothing was imported from"},
            {"missing", "none.kml", QByteArray(), false, "there is no such file"},
            {"out of range", "far.gpx", "<gpx><wpt lat=\"91\" lon=\"0\"/></gpx>", false, "out of range"},
            {"nothing but a line", "line.kml",
             "<kml><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark></kml>", false,
             "No places were found in"},
            {"full list", "%1 one.kml", exchange::kmlBytes({makeRow(u"One", links::linkFor(1, 2), u"")}), true,
             "%1 one.kml: the list holds 32767 places and the file 1 place, more than the 32767 places"},
            {"name too long", "long.kml",
             exchange::kmlBytes({makeRow(QString(kMaxFieldLength + 1, u'n'), links::linkFor(1, 2), u"")}), false,
             "has a name of 32768 characters"},
        };
        for (const auto& c : cases) {
            StartFolder start;
            Form1 form;
            load(start, form);
            QStringList rows = kTwoPlaces;
            if (c.fullList) {
                while (rows.size() < kMaxRows)
                    rows.append(kTwoPlaces.first());
                form.List1->setRows(rows);
            }
            if (!c.bytes.isEmpty())
                start.write(c.file, c.bytes);
            QVERIFY2(!form.importPlaces(start.path(c.file)), c.what);
            QVERIFY2(form.List1->rows() == rows, c.what);
            QVERIFY2(!form.isModified(), c.what);
            QCOMPARE(start.read("velmora.js"), journal::journalBytes(kTwoPlaces));
            QCOMPARE(MessageBox::history().size(), 1);
            QVERIFY2(MessageBox::history().last().contains(QString::fromUtf8(c.saying)),
                     qPrintable(MessageBox::history().last()));
        }
    }

    void exportWritesTheListByTheChosenExtension()
    {
        StartFolder start;
        Form1 form;
        load(start, form);
        CommonDialog::setNextSaveFile(start.path("out.gpx"));
        form.mnuFileExport->trigger();
        QCOMPARE(CommonDialog::lastRequest().filter,
                 QStringLiteral("KML (*.kml);;KMZ (*.kmz);;GPX (*.gpx);;GeoJSON (*.geojson *.json);;CSV (*.csv)"));
        QCOMPARE(start.read("out.gpx"), exchange::gpxBytes(kTwoPlaces));
        QVERIFY(MessageBox::history().last().startsWith(QStringLiteral("2 places exported to ")));

        QVERIFY(form.exportPlaces(start.path("out.KML")));
        QCOMPARE(start.read("out.KML"), exchange::kmlBytes(kTwoPlaces));

        QVERIFY(!form.exportPlaces(start.path("out.txt")));
        QVERIFY(!start.exists("out.txt"));
        QVERIFY(MessageBox::history().last().contains(
            QStringLiteral("must end in .kml, .gpx, .kmz, .geojson, .json or .csv")));
        QVERIFY(!form.isModified());
    }

    // A name typed without an extension takes the one of the type chosen.
    void exportAddsTheChosenTypesExtension()
    {
        const struct {
            const char* path;
            const char* type;
            const char* file;
        } cases[] = {
            {"mytrip", "GPX (*.gpx)", "mytrip.gpx"},
            {"mytrip", "GeoJSON (*.geojson *.json)", "mytrip.geojson"},
            {"dir.d/mytrip", "KMZ (*.kmz)", "dir.d/mytrip.kmz"},
            {"mytrip.", "KML (*.kml)", "mytrip.kml"},
            {"mytrip.kml", "GPX (*.gpx)", "mytrip.kml"},  // the typed extension wins
            {"mytrip.GPX", "KML (*.kml)", "mytrip.GPX"},
            {"my.trip", "GPX (*.gpx)", "my.trip"},  // refused below: not a type the export writes
            {"mytrip", "Places (*.kml *.gpx)", "mytrip.kml"},
            {"mytrip", "All files (*)", "mytrip"},
            {"/", "GPX (*.gpx)", "/"},
        };
        for (const auto& c : cases)
            QCOMPARE(CommonDialog::withTypeExtension(QString::fromUtf8(c.path), QString::fromUtf8(c.type)),
                     QString::fromUtf8(c.file));

        StartFolder start;
        Form1 form;
        load(start, form);
        CommonDialog::setNextSaveFile(start.path("mytrip"), QStringLiteral("GPX (*.gpx)"));
        form.mnuFileExport->trigger();
        QCOMPARE(start.read("mytrip.gpx"), exchange::gpxBytes(kTwoPlaces));
        QVERIFY(!start.exists("mytrip"));
        CommonDialog::setNextSaveFile(start.path("first"));  // the dialog starts with the first type
        form.mnuFileExport->trigger();
        QCOMPARE(start.read("first.kml"), exchange::kmlBytes(kTwoPlaces));
    }

    void cancelledDialogsDoNothing()
    {
        StartFolder start;
        Form1 form;
        load(start, form);
        form.mnuFileImport->trigger();
        form.mnuFileExport->trigger();
        QCOMPARE(form.List1->rows(), kTwoPlaces);
        QVERIFY(MessageBox::history().isEmpty());
        QCOMPARE(QDir(start.path()).entryList(QDir::Files).size(), 2);  // velmora.ini, velmora.js
    }
};

QTEST_MAIN(TestForm1Places)
#include "test_form1_places.moc"
