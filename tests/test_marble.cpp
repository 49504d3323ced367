// "Show this place" with the desktop's real globe: Marble is started
// through its desktop entries and must end up centred on the place, as its
// D-Bus interface reports. Run on a session bus of its own.

#include "guitest.h"
#include "platform/shell.h"
#include "ui/form1.h"
#include "ui/journallist.h"
#include "widgets/look.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <unistd.h>

using guitest::StartFolder;

namespace {

const QString kService = QStringLiteral("org.kde.marble");

// Marble's centre as (longitude, latitude), if it answers.
std::optional<QPointF> marbleCentre()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/Marble"), QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kService << QStringLiteral("center");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const QDBusArgument value = reply.arguments()[0].value<QDBusVariant>().variant().value<QDBusArgument>();
    double lon = 0, lat = 0;
    value.beginStructure();
    value >> lon >> lat;
    value.endStructure();
    return QPointF(lon, lat);
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
    }
    void cleanupTestCase() { endMarble(); }

    void showThisPlaceCentresTheGlobeOnIt()
    {
        StartFolder start;
        Shell::setNonInteractive(false);
        Form1 form;
        form.show();
        form.List1->setRows(
            {QStringLiteral("Tokyo\tworldwind://goto/world=Earth&lat=35.6895&lon=139.6917&alt=5000\t")});
        form.List1->selectRow(0);
        QTest::mouseClick(form.Command12, Qt::LeftButton);

        const QPointF place(139.6917, 35.6895);
        std::optional<QPointF> centre;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 120000) {
            QTest::qWait(250);
            QVERIFY2(MessageBox::history().isEmpty(), qPrintable(MessageBox::history().join(u'\n')));
            centre = marbleCentre();
            if (centre && std::abs(centre->x() - place.x()) < 1e-9 && std::abs(centre->y() - place.y()) < 1e-9)
                break;
        }
        QVERIFY2(centre, "Marble never answered on D-Bus within two minutes");
        QCOMPARE(centre->x(), place.x());
        QCOMPARE(centre->y(), place.y());
    }

private:
    QTemporaryDir home_;
};

QTEST_MAIN(TestMarble)
#include "test_marble.moc"
