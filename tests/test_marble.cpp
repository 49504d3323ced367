// The desktop's real globe, Marble, on a session bus of its own: a geo:
// link opened by the desktop reaches it, "Show this place" starts it
// through the worldwind: entry when none runs, and steers the one that
// runs, as its D-Bus centre reports, without starting a second one.

#include "guitest.h"
#include "platform/globebus.h"
#include "platform/shell.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "widgets/look.h"
#include "worldwind/launch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <memory>
#include <tuple>
#include <unistd.h>

using guitest::StartFolder;

namespace {

const QString kService = QStringLiteral("org.kde.marble");

// One of Marble's properties, if it answers.
QVariant marbleProperty(const char* name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/Marble"), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kService << QString::fromLatin1(name);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments()[0].value<QDBusVariant>().variant();
}

// Marble's centre as (longitude, latitude), if it answers.
std::optional<QPointF> marbleCentre()
{
    const QVariant value = marbleProperty("center");
    if (!value.isValid())
        return std::nullopt;
    const QDBusArgument centre = value.value<QDBusArgument>();
    double lon = 0, lat = 0;
    centre.beginStructure();
    centre >> lon >> lat;
    centre.endStructure();
    return QPointF(lon, lat);
}

// Waits up to two minutes for Marble's centre to become `place`
// (longitude, latitude); the last centre seen.
std::optional<QPointF> waitForCentre(const QPointF& place)
{
    std::optional<QPointF> centre;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 120000) {
        centre = marbleCentre();
        if (centre && std::abs(centre->x() - place.x()) < 1e-9 && std::abs(centre->y() - place.y()) < 1e-9)
            break;
        QTest::qWait(100);
    }
    return centre;
}

// The Marble processes on this test's own bus (the machine may run others).
int marblesOnThisBus()
{
    const QByteArray bus = "DBUS_SESSION_BUS_ADDRESS=" + qgetenv("DBUS_SESSION_BUS_ADDRESS");
    int count = 0;
    QDirIterator procs(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (procs.hasNext()) {
        const QString dir = procs.next();
        QFile comm(dir + QStringLiteral("/comm")), environ(dir + QStringLiteral("/environ"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "marble")
            continue;
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(bus))
            ++count;
    }
    return count;
}

// Ends the Marble this test started, found by its name on the test's own bus.
void endMarble()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QDBusReply<uint> pid = bus->servicePid(kService);
    if (!pid.isValid() || pid.value() == 0)
        return;
    ::kill(pid_t(pid.value()), SIGTERM);
    QElapsedTimer waited;
    waited.start();
    while (bus->isServiceRegistered(kService) && waited.elapsed() < 10000)
        QTest::qWait(100);
    if (bus->isServiceRegistered(kService))
        ::kill(pid_t(pid.value()), SIGKILL);
    while (marblesOnThisBus() > 0 && waited.elapsed() < 20000)
        QTest::qWait(100);
}

}  // namespace

class TestMarble : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        applyLook(*qApp);
        if (QStandardPaths::findExecutable(QStringLiteral("marble")).isEmpty())
            QSKIP("Marble is not installed (scripts/setup.sh installs it)");
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run under dbus-run-session");
        QVERIFY2(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kService),
                 "a Marble is already running on this bus");
        // Marble keeps its settings and tiles in a scratch home, and the
        // user's own choice of programs is not asked.
        QVERIFY(home_.isValid());
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(var, home_.filePath(QString::fromLatin1(var)).toLocal8Bit());
        if (geteuid() == 0)
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // its web engine refuses to run as root otherwise
        // A window manager, which brings windows forward when asked.
        windowManager_.start(QStringLiteral("openbox"), {});
        QVERIFY2(windowManager_.waitForStarted(), "openbox is missing: run scripts/setup.sh");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
                 "xdotool is missing: run scripts/setup.sh");
    }
    void init()
    {
        Shell::setNonInteractive(false);
        GlobeBus::setNonInteractive(false);
    }
    void cleanupTestCase()
    {
        form_.reset();
        start_.reset();
        endMarble();
        windowManager_.terminate();
        windowManager_.waitForFinished();
    }

    // The journal page's link on Linux goes this way.
    void desktopOpensAGeoLinkInMarble()
    {
        QCOMPARE(QProcess::execute(QStringLiteral("gio"), {QStringLiteral("open"), QStringLiteral("geo:48.85,2.29")}),
                 0);
        const std::optional<QPointF> centre = waitForCentre(QPointF(2.29, 48.85));
        QVERIFY2(centre, "Marble never answered on D-Bus within two minutes");
        QCOMPARE(centre->x(), 2.29);
        QCOMPARE(centre->y(), 48.85);
        endMarble();
    }

    // No Marble runs: the worldwind: entry starts one with the whole link.
    void showThisPlaceStartsTheGlobeAtThePlace()
    {
        QCOMPARE(marblesOnThisBus(), 0);
        const std::optional<QPointF> centre = showPlace(
            QStringLiteral("Tokyo\tworldwind://goto/world=Earth&lat=35.6895&lon=139.6917\t"),
            QPointF(139.6917, 35.6895));
        QVERIFY2(centre, "Marble never answered on D-Bus within two minutes");
        QCOMPARE(centre->x(), 139.6917);
        QCOMPARE(centre->y(), 35.6895);
        // At a town's zoom once it has started, and it stays there.
        QTRY_VERIFY_WITH_TIMEOUT(marbleProperty("zoom").toInt() >= 2000, 30000);
        QTest::qWait(4000);
        QVERIFY(marbleProperty("zoom").toInt() >= 2000);
    }

    // The Marble of the test before runs: it is moved, none is started.
    void showThisPlaceSteersTheGlobeThatRuns()
    {
        if (!marbleCentre()) {
            QProcess::startDetached(QStringLiteral("marble"), {});
            QTRY_VERIFY_WITH_TIMEOUT(marbleCentre().has_value(), 120000);
        }
        QCOMPARE(marblesOnThisBus(), 1);
        // Minimised behind other windows, it comes forward.
        const QString window = marbleWindow();
        QVERIFY2(!window.isEmpty(), "Marble's window is not among the window manager's");
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), window}), 0);
        QTRY_VERIFY(activeWindow() != window);
        QElapsedTimer shown;
        shown.start();
        const std::optional<QPointF> centre = showPlace(
            QStringLiteral("Sydney\tworldwind://goto/world=Earth&lat=-33.8568&lon=151.2153\t"),
            QPointF(151.2153, -33.8568));
        const qint64 ms = shown.elapsed();
        QVERIFY(centre);
        QCOMPARE(centre->x(), 151.2153);
        QCOMPARE(centre->y(), -33.8568);
        qInfo("the running Marble showed the place %lld ms after the click", ms);
        // Close enough to see a town, as far as the map allows.
        QTRY_VERIFY(marbleProperty("zoom").toInt() >= 2000);
        // Brought forward: the window manager took the activation request and
        // shows the minimised window again (whether it also keeps the focus
        // against the click that was just made is the window manager's call).
        QTRY_VERIFY_WITH_TIMEOUT(activeWindow() == window || !hidden(window), 10000);
        QTest::qWait(3000);  // a second Marble would have shown up by now
        QCOMPARE(marblesOnThisBus(), 1);
    }

    // "Show places on the globe" opens the list in a new Marble, which
    // draws every place: their names, in a colour none of its maps uses,
    // cover the view of the places and are absent from a view elsewhere.
    void globeFileDrawsThePlaces()
    {
        form_.reset();
        start_.reset();
        endMarble();
        StartFolder start;
        Shell::setNonInteractive(false);
        Form1 form;
        form.settings.fontColor_ = 0xFF00FF;  // magenta
        form.settings.fontSize_ = 20;
        QStringList rows;
        for (const auto& [name, lat, lon] : {std::tuple{"Paris", 48.85, 2.35}, std::tuple{"Bern", 46.95, 7.45},
                                             std::tuple{"Milan", 45.46, 9.19}, std::tuple{"Munich", 48.14, 11.58}})
            rows << QStringLiteral("%1\tworldwind://goto/world=Earth&lat=%2&lon=%3\t").arg(name).arg(lat).arg(lon);
        form.List1->setRows(rows);
        QVERIFY(form.showPlacesOnGlobe());
        QTRY_VERIFY_WITH_TIMEOUT(marbleCentre().has_value(), 120000);
        QVERIFY2(MessageBox::history().isEmpty(), qPrintable(MessageBox::history().join(u'\n')));

        const int drawn = labelPixelsAt(QPointF(7, 47));
        const int elsewhere = labelPixelsAt(QPointF(-150, -20));
        qInfo("label-coloured pixels: %d over the places, %d elsewhere", drawn, elsewhere);
        QVERIFY(drawn > 100);
        QVERIFY(elsewhere < drawn / 20);
        endMarble();
    }

private:
    QTemporaryDir home_;
    std::unique_ptr<StartFolder> start_;
    std::unique_ptr<Form1> form_;
    QProcess windowManager_;

    // xdotool's answer, trimmed; empty when it failed.
    static QString xdotool(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral("xdotool"), arguments);
        if (!p.waitForFinished(5000) || p.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    static QString activeWindow() { return xdotool({QStringLiteral("getactivewindow")}); }
    // Whether the window manager keeps the window minimised.
    static bool hidden(const QString& window)
    {
        QProcess p;
        p.start(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")});
        if (!p.waitForFinished(5000) || p.exitCode() != 0)
            return true;
        return p.readAllStandardOutput().contains("_NET_WM_STATE_HIDDEN");
    }
    // The window of the Marble on this bus, as the window manager lists it.
    static QString marbleWindow()
    {
        const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(kService);
        if (!pid.isValid())
            return {};
        QString found;
        QElapsedTimer waited;
        waited.start();
        while (found.isEmpty() && waited.elapsed() < 20000) {
            found = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                             QString::number(pid.value())})
                        .section(u'\n', 0, 0);
            QTest::qWait(100);
        }
        return found;
    }

    // Turns Marble to `centre` (longitude, latitude), lets it draw, and
    // counts the screen's pixels of the labels' magenta.
    int labelPixelsAt(const QPointF& centre)
    {
        QDBusMessage zoom = QDBusMessage::createMethodCall(kService, QStringLiteral("/Marble"), kService,
                                                           QStringLiteral("setZoom"));
        zoom << 1300;  // some 2,600 km above the ground
        QDBusConnection::sessionBus().call(zoom, QDBus::Block, 5000);
        QDBusMessage move = QDBusMessage::createMethodCall(kService, QStringLiteral("/Marble"), kService,
                                                           QStringLiteral("setCenter"));
        move << QVariant::fromValue(centre);
        QDBusConnection::sessionBus().call(move, QDBus::Block, 5000);
        waitForCentre(centre);
        QTest::qWait(3000);
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
            QImage::Format_RGB32);
        if (const QByteArray shots = qgetenv("VELMORA_SCREENSHOTS"); !shots.isEmpty())
            screen.save(QStringLiteral("%1/marble_%2_%3.png")
                            .arg(QString::fromLocal8Bit(shots))
                            .arg(centre.x())
                            .arg(centre.y()));
        int count = 0;
        for (int y = 0; y < screen.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
            for (int x = 0; x < screen.width(); ++x)
                count += qRed(line[x]) > 200 && qGreen(line[x]) < 80 && qBlue(line[x]) > 200;
        }
        return count;
    }

    // Clicks "Show this place" on `row` and waits, with the window open,
    // for Marble's centre to become `place`; the last centre seen.
    std::optional<QPointF> showPlace(const QString& row, const QPointF& place)
    {
        // The window stays open after, as the user's does: what it asked
        // of the globe goes on.
        form_.reset();
        start_ = std::make_unique<StartFolder>();
        GlobeBus::setNonInteractive(false);
        Shell::setNonInteractive(false);
        form_ = std::make_unique<Form1>();
        Form1& form = *form_;
        form.show();
        if (!QTest::qWaitForWindowActive(&form))  // the user clicks in it
            return std::nullopt;
        form.List1->setRows({row});
        form.List1->selectRow(0);
        QTest::mouseClick(form.Command12, Qt::LeftButton);
        const std::optional<QPointF> centre = waitForCentre(place);
        [&] { QVERIFY2(MessageBox::history().isEmpty(), qPrintable(MessageBox::history().join(u'\n'))); }();
        return centre;
    }
};

QTEST_MAIN(TestMarble)
#include "test_marble.moc"
