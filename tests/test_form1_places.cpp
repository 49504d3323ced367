// File > Import places... and File > Export places... in the main window.

#include "exchange/kmz.h"
#include "exchange/places.h"
#include "guitest.h"
#include "hostilexml.h"
#include "journal/journalfile.h"
#include "journal/row.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "worldwind/links.h"

#include <QAction>
#include <QTest>

using guitest::StartFolder;

namespace {

// `levels` elements nested inside the name of one place.
QByteArray nestedName(const char* start, const char* end, int levels)
{
    return start + QByteArray("<b>").repeated(levels) + QByteArray("</b>").repeated(levels) + end;
}

QByteArray zipped(const QByteArray& kml)
{
    return exchange::kmz::pack(kml, nullptr).value_or(QByteArray());
}

const QByteArray kOnePlace = "<kml><Placemark><Point><coordinates>1,2</coordinates></Point></Placemark></kml>";

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
        QCOMPARE(CommonDialog::lastRequest().filter, QStringLiteral("Places (*.kml *.kmz *.gpx);;All files (*)"));
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
        QVERIFY2(MessageBox::history().last().contains(QStringLiteral(
                     "the list holds them already (No new places: the only one is in the list already; 2 route "
                     "and track points ignored)")),
                 qPrintable(MessageBox::history().last()));
    }

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
            // Files made to crash, exhaust or trick the reader.
            {"100,000 levels in a name", "deep.kml",
             nestedName("<kml><Placemark><name>",
                        "</name><Point><coordinates>1,2</coordinates></Point></Placemark></kml>", 100000),
             false, "nested more than 200 deep"},
            {"100,000 levels in a description", "deep.gpx",
             nestedName("<gpx><wpt lat=\"1\" lon=\"2\"><desc>", "</desc></wpt></gpx>", 100000), false,
             "nested more than 200 deep"},
            {"billion laughs", "laughs.kml", hostilexml::kLaughs, false, "declares entities"},
            {"entities declared inside the root", "inside.gpx",
             "<gpx><!DOCTYPE gpx [<!ENTITY a \"aaaa\">]><wpt lat=\"1\" lon=\"2\"><name>&a;</name></wpt></gpx>", false,
             "not well-formed XML (line 1, column"},
            {"external entity", "external.gpx",
             "<!DOCTYPE gpx [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><gpx><wpt lat=\"1\" "
             "lon=\"2\"><name>&x;</name>"
             "</wpt></gpx>",
             false, "declares entities"},
            {"a default position from the DTD", "attlist.gpx",
             "<!DOCTYPE gpx [<!ATTLIST wpt lat CDATA \"45\" lon CDATA "
             "\"7\">]><gpx><wpt><name>Nowhere</name></wpt></gpx>",
             false, "\"Nowhere\" (line 1) has no latitude"},
            {"bytes that are not UTF-8", "latin.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><name>caf\xe9</name></wpt></gpx>",
             false, "not UTF-8"},
            {"a control character", "control.kml", "<kml>\x01</kml>", false, "U+0001, which XML forbids"},
            {"text after the root", "after.kml", kOnePlace + "and more", false, "text outside the root element"},
            {"zip bomb", "bomb.kmz", zipped(QByteArray(exchange::kMaxFileSize + 1, ' ')), false,
             "would inflate to more than 64 MB"},
            {"zip bomb lying about its size", "liar.kmz",
             zipped(QByteArray(exchange::kMaxFileSize + 1, ' '))
                 .replace(QByteArray("\x01\x00\x00\x04", 4), QByteArray("\x10\x00\x00\x00", 4)),
             false, "would inflate to more than 64 MB"},
            {"KMZ without KML", "nokml.kmz", zipped(kOnePlace).replace("doc.kml", "doc.txt"), false,
             "a KMZ archive without a KML document"},
            {"broken KMZ", "broken.kmz", zipped(kOnePlace).left(40), false, "not a readable KMZ archive"},
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
        QCOMPARE(CommonDialog::lastRequest().filter, QStringLiteral("KML (*.kml);;KMZ (*.kmz);;GPX (*.gpx)"));
        QCOMPARE(start.read("out.gpx"), exchange::gpxBytes(kTwoPlaces));
        QVERIFY(MessageBox::history().last().startsWith(QStringLiteral("2 places exported to ")));

        QVERIFY(form.exportPlaces(start.path("out.KML")));
        QCOMPARE(start.read("out.KML"), exchange::kmlBytes(kTwoPlaces));

        QVERIFY(!form.exportPlaces(start.path("out.txt")));
        QVERIFY(!start.exists("out.txt"));
        QVERIFY(MessageBox::history().last().contains(QStringLiteral("must end in .kml, .gpx or .kmz")));
        QVERIFY(!form.isModified());
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
