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
    }

    // Which files are refused, and the words, are tested on the open
    // journal; here the box that says it, once.
    void aRefusedFileLeavesTheListAloneWithABox()
    {
        StartFolder start;
        Form1 form;
        load(start, form);
        start.write("bad.kml", "<kml><Placemark>");
        QVERIFY(!form.importPlaces(start.path("bad.kml")));
        QCOMPARE(form.List1->rows(), kTwoPlaces);
        QVERIFY(!form.isModified());
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora"));
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY2(
            MessageBox::history().last().startsWith(
                QStringLiteral("Nothing was imported from %1: it is not well-formed XML").arg(start.path("bad.kml"))),
            qPrintable(MessageBox::history().last()));
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
        QCOMPARE(MessageBox::history(),
                 QStringList{QStringLiteral("2 places exported to %1.").arg(start.path("out.gpx"))});
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
