// File > Import places... and File > Export places... in the main window:
// the file dialogs they ask, the box that says how it went, the caption.
// Which places join, which files are refused and the words are checked on
// the open journal (test_workspace).

#include "exchange/places.h"
#include "journal/row.h"
#include "shownwindow.h"
#include "worldwind/links.h"

#include <QAction>

using guitest::ShownWindow;

namespace {

const QStringList kTwoPlaces = {
    makeRow(u"Paris", u"worldwind://goto/world=Earth&lat=48.85&lon=2.35", u"capital"),
    makeRow(u"Rock & Roll", u"worldwind://goto/world=Earth&lat=-1&lon=1", u""),
};

}  // namespace

class TestForm1Places : public QObject {
    Q_OBJECT

private slots:
    void importShowsOneBoxAndMarksOnlyAChange()
    {
        const struct {
            const char* what;
            const char* file;  // none: the dialog cancelled
            QByteArray bytes;
            QStringList added;
            QString box;  // its start
        } cases[] = {
            {"a place", "in.gpx", exchange::gpxBytes({makeRow(u"Hut", links::linkFor(46.5, 7.25), u"dry")}),
             QStringList{makeRow(u"Hut", links::linkFor(46.5, 7.25), u"dry")}, "in.gpx: 1 place."},
            {"refused", "bad.kml", "<kml><Placemark>", {}, "bad.kml: it is not well-formed"},
            {"cancelled", nullptr, {}, {}, {}},
        };
        for (const auto& c : cases) {
            ShownWindow w(kTwoPlaces);
            if (c.file) {
                w.start.write(c.file, c.bytes);
                CommonDialog::setNextOpenFile(w.start.path(c.file));
            }
            w->mnuFileImport->trigger();
            QCOMPARE(CommonDialog::lastRequest().filter,
                     QStringLiteral("Places (*.kml *.kmz *.gpx *.geojson *.json *.csv);;All files (*)"));
            QVERIFY2(w->List1->rows() == kTwoPlaces + c.added, c.what);
            QCOMPARE(w->windowTitle().endsWith(QStringLiteral("(modified)")), !c.added.isEmpty());
            QCOMPARE(MessageBox::history().size(), c.box.isEmpty() ? 0 : 1);
            if (!c.box.isEmpty())
                QVERIFY2(MessageBox::history().last().contains(c.box), qPrintable(MessageBox::history().last()));
        }
    }

    // A name typed without an extension takes the one of the type chosen.
    void exportWritesByTheTypeChosen()
    {
        const struct {
            const char* path;
            const char* type;
            const char* file;
        } names[] = {
            {"mytrip", "GPX (*.gpx)", "mytrip.gpx"},
            {"mytrip", "GeoJSON (*.geojson *.json)", "mytrip.geojson"},
            {"dir.d/mytrip", "KMZ (*.kmz)", "dir.d/mytrip.kmz"},
            {"mytrip.", "KML (*.kml)", "mytrip.kml"},
            {"mytrip.kml", "GPX (*.gpx)", "mytrip.kml"},  // the typed extension wins
            {"mytrip.GPX", "KML (*.kml)", "mytrip.GPX"},
            {"my.trip", "GPX (*.gpx)", "my.trip"},  // refused by the export: not a type it writes
            {"mytrip", "Places (*.kml *.gpx)", "mytrip.kml"},
            {"mytrip", "All files (*)", "mytrip"},
            {"/", "GPX (*.gpx)", "/"},
        };
        for (const auto& c : names)
            QCOMPARE(CommonDialog::withTypeExtension(QString::fromUtf8(c.path), QString::fromUtf8(c.type)),
                     QString::fromUtf8(c.file));

        const struct {
            const char* typed;
            QString type;  // none: the dialog's first
            const char* file;
            QByteArray bytes;
        } cases[] = {
            {"out.gpx", {}, "out.gpx", exchange::gpxBytes(kTwoPlaces)},
            {"mytrip", "GPX (*.gpx)", "mytrip.gpx", exchange::gpxBytes(kTwoPlaces)},
            {"first", {}, "first.kml", exchange::kmlBytes(kTwoPlaces)},
            {nullptr, {}, nullptr, {}},
        };
        for (const auto& c : cases) {
            ShownWindow w(kTwoPlaces);
            if (c.typed)
                CommonDialog::setNextSaveFile(w.start.path(c.typed), c.type);
            w->mnuFileExport->trigger();
            QCOMPARE(CommonDialog::lastRequest().filter,
                     QStringLiteral("KML (*.kml);;KMZ (*.kmz);;GPX (*.gpx);;GeoJSON (*.geojson *.json);;CSV (*.csv)"));
            QVERIFY(!w->isModified());
            if (!c.typed) {
                QCOMPARE(MessageBox::history(), QStringList());
                QCOMPARE(QDir(w.start.path()).entryList(QDir::Files).size(), 2);  // velmora.ini, velmora.js
                continue;
            }
            QCOMPARE(w.start.read(c.file), c.bytes);
            QCOMPARE(w.start.exists(c.typed), QByteArrayView(c.typed) == c.file);
            QCOMPARE(MessageBox::history(),
                     QStringList{QStringLiteral("2 places exported to %1.").arg(w.start.path(c.file))});
        }
    }
};

QTEST_MAIN(TestForm1Places)
#include "test_form1_places.moc"
