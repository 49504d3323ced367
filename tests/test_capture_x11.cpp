// The capture against a real X server, with other programs doing what the
// user's programs do: one puts a location link on the clipboard, a window
// of another covers ours and goes away. Qt keeps a picture of our window,
// so only the window system's expose event can tell that it was uncovered.

#include "dialogs/form2.h"
#include "exchange/copied.h"
#include "guitest.h"
#include "platform/clipboard.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "widgets/look.h"
#include "worldwind/links.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

using guitest::StartFolder;
using guitest::whenModal;

namespace {

const QString kLink = QStringLiteral("worldwind://goto/world=Earth&lat=48.8566&lon=2.3522");

// Runs a program to its end and hands back what it printed, or nothing
// when it failed.
std::optional<QByteArray> output(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

// How long `count` repaints of the window take, each with its capture.
qint64 repaintsNs(Form1& form, int count)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count && clock.elapsed() < 60000; ++i) {
        const int runs = form.paintHookRuns();
        form.repaint();
        while (form.paintHookRuns() == runs)
            QCoreApplication::processEvents();
    }
    return clock.nsecsElapsed();
}

bool viewable(const QString& windowName)
{
    const std::optional<QByteArray> info = output(QStringLiteral("xwininfo"), {QStringLiteral("-name"), windowName});
    return info && info->contains("IsViewable");
}

}  // namespace

class TestCaptureX11 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QFAIL("this test needs a real X server (run it under xvfb-run)");
        applyLook(*qApp);
    }

    void linkCopiedElsewhereIsCapturedWhenOurWindowIsUncovered()
    {
        StartFolder start;
        Form1 form;
        guitest::loadWindow(start, form);
        form.move(0, 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::qWait(200);  // what goes with showing has settled
        const int runsBefore = form.paintHookRuns();

        // Another program takes the clipboard; nothing here notices yet.
        QProcess owner;
        QProcess cover;
        // Whatever happens, the two programs end with the test.
        const auto ending = qScopeGuard([&] {
            for (QProcess* p : {&owner, &cover}) {
                if (p->state() != QProcess::NotRunning) {
                    p->kill();
                    p->waitForFinished();
                }
            }
        });
        owner.start(QStringLiteral("xclip"), {"-quiet", "-selection", "clipboard"});
        QVERIFY2(owner.waitForStarted(), "xclip is missing: run scripts/setup.sh");
        owner.write(kLink.toUtf8());
        owner.closeWriteChannel();
        QTRY_COMPARE(Clipboard::text(), kLink);
        QCOMPARE(form.List1->count(), 0);

        // Another program's window covers ours...
        cover.start(QStringLiteral("xmessage"),
                    {"-title", "velmoracover", "-geometry", "700x500+0+0", "covering the journal"});
        QVERIFY2(cover.waitForStarted(), "xmessage is missing: run scripts/setup.sh");
        QTRY_VERIFY_WITH_TIMEOUT(viewable(QStringLiteral("velmoracover")), 5000);
        QTest::qWait(200);
        QCOMPARE(form.paintHookRuns(), runsBefore);
        QVERIFY(!QApplication::activeModalWidget());

        // ...and goes away: the dialog opens with the link.
        QStringList shown;
        whenModal([&](QWidget* modal) {
            QCOMPARE(modal, form.form2());
            shown = {form.form2()->Text1->text(), form.form2()->Text2->text()};
            form.form2()->Text2->setText(QStringLiteral("Paris"));
            QTest::mouseClick(form.form2()->cmdAdd, Qt::LeftButton);
        });
        cover.kill();
        cover.waitForFinished();
        QTRY_COMPARE_WITH_TIMEOUT(form.List1->count(), 1, 5000);
        QCOMPARE(shown, (QStringList{kLink, "<Enter a name>"}));
        QVERIFY(form.paintHookRuns() > runsBefore);
        QCOMPARE(form.List1->row(0), QStringLiteral("Paris\t") + kLink + QStringLiteral("\t"));
        QCOMPARE(form.windowTitle(), QStringLiteral("WorldWind Velmora (modified)"));

        // The clipboard is empty for everyone, and its former owner has let go.
        QTRY_COMPARE_WITH_TIMEOUT(owner.state(), QProcess::NotRunning, 5000);
        const std::optional<QByteArray> left = output(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
        QVERIFY2(!left || left->isEmpty(), left ? left->constData() : "");
        QVERIFY(!Clipboard::hasText());
    }

    // As a globe copies a location: "Copy geo: URL" puts the URI as text,
    // "Copy Coordinates" a placemark as KML, among other flavours.
    void locationCopiedInAGlobeIsCaptured_data()
    {
        QTest::addColumn<QString>("flavour");  // the X11 target xclip offers
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("name");
        QTest::newRow("geo: URL") << "UTF8_STRING" << QByteArray("geo:48.8599477442,2.2944800000")
                                  << "worldwind://goto/world=Earth&lat=48.8599477442&lon=2.29448"
                                  << "<Enter a name>";
        QTest::newRow("KML placemark")
            << QString::fromLatin1(exchange::kKmlFlavour)
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                          " <Document>\n  <Placemark>\n   <name>Champ de Mars</name>\n   <Point>\n"
                          "    <coordinates>2.2944800000,48.8599477442,0</coordinates>\n   </Point>\n"
                          "  </Placemark>\n </Document>\n</kml>\n")
            << "worldwind://goto/world=Earth&lat=48.8599477442&lon=2.29448&alt=0"
            << "Champ de Mars";
    }

    void locationCopiedInAGlobeIsCaptured()
    {
        QFETCH(QString, flavour);
        QFETCH(QByteArray, data);
        QFETCH(QString, link);
        QFETCH(QString, name);
        StartFolder start;
        Form1 form;
        guitest::loadWindow(start, form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QProcess owner, refill;
        const auto ending = qScopeGuard([&] {
            for (QProcess* p : {&owner, &refill}) {
                if (p->state() != QProcess::NotRunning) {
                    p->kill();
                    p->waitForFinished();
                }
            }
        });
        const auto own = [&](QProcess& p) {
            p.start(QStringLiteral("xclip"), {"-quiet", "-selection", "clipboard", "-t", flavour});
            p.write(data);
            p.closeWriteChannel();
        };
        const auto offered = [&] { return Clipboard::hasText() || !Clipboard::data(flavour).isEmpty(); };
        own(owner);
        QVERIFY2(owner.waitForStarted(), "xclip is missing: run scripts/setup.sh");
        QTRY_VERIFY(offered());

        QStringList shown;
        whenModal([&](QWidget*) {
            shown = {form.form2()->Text1->text(), form.form2()->Text2->text()};
            // A clipboard manager puts the location back as soon as it is taken.
            own(refill);
            QTRY_VERIFY(offered());
            QTest::mouseClick(form.form2()->cmdAdd, Qt::LeftButton);
        });
        form.update();
        QTRY_COMPARE_WITH_TIMEOUT(form.List1->count(), 1, 5000);
        QCOMPARE(shown, (QStringList{link, name}));
        QCOMPARE(form.List1->row(0), name + "\t" + link + "\t");

        // What came back is not taken again, and stays where it is.
        bool reopened = false;
        whenModal(
            [&](QWidget*) {
                reopened = true;
                QTest::mouseClick(form.form2()->cmdCancel, Qt::LeftButton);
            },
            30);
        form.update();
        QTest::qWait(400);
        QVERIFY(!reopened);
        QCOMPARE(form.List1->count(), 1);
        QVERIFY(offered());
        QCOMPARE(Clipboard::emptied(), QStringList());  // no record kept of the system's clipboard
    }

    // An owner that re-claims the clipboard every millisecond and answers
    // nobody costs each repaint little more than an owner that answers.
    void floodingOwnerKeepsRepaintsQuick()
    {
        StartFolder start;
        Form1 form;
        guitest::loadWindow(start, form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QProcess owner;
        const auto ending = qScopeGuard([&] {
            owner.kill();
            owner.waitForFinished();
        });
        owner.start(QStringLiteral("xclip"), {"-quiet", "-selection", "clipboard"});
        QVERIFY2(owner.waitForStarted(), "xclip is missing: run scripts/setup.sh");
        owner.write("a note, not a place");
        owner.closeWriteChannel();
        QTRY_VERIFY(Clipboard::hasText());
        const qint64 plain = repaintsNs(form, 20);
        owner.kill();
        owner.waitForFinished();

        owner.start(QString::fromLocal8Bit(VELMORA_CLIPFLOOD));
        QVERIFY(owner.waitForStarted());
        QTest::qWait(1100);  // the flood is on, and the last offer asked is a second old
        QVERIFY(owner.state() == QProcess::Running);
        owner.readAllStandardOutput();
        const qint64 flooded = repaintsNs(form, 20);
        QTest::qWait(50);  // its last lines
        const qsizetype asked = owner.readAllStandardOutput().count("asked");
        qInfo("20 repaints: %.1f ms with an owner that answers, %.1f ms with a flooding one, which was asked %d "
              "times",
              plain / 1e6, flooded / 1e6, int(asked));
        QVERIFY2(flooded < 5 * plain, "repaints wait on an owner that keeps changing the clipboard");
        // Once a second at most, whatever the count of repaints.
        QVERIFY(asked <= flooded / 1000000000 + 1);
        QCOMPARE(form.List1->count(), 0);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestCaptureX11)
#include "test_capture_x11.moc"
