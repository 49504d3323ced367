#include "globebus.h"

#include "activation.h"
#include "prepared.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QFileInfo>
#include <QPointF>
#include <QTimer>

namespace GlobeBus {
namespace {

// The bus answers its own questions at once; a globe that is still
// loading its maps may take a while before it takes calls.
constexpr int kBusAnswerMs = 2000;
constexpr int kGlobeAnswerMs = 10000;
// A globe started by the desktop shows up on the bus within this time, or
// was something else than a globe that speaks the bus.
constexpr qint64 kStartMs = 60000;
constexpr int kLookAgainMs = 250;

struct State {
    PreparedAnswers<bool> answers;
    QList<Call> history;
};

State& state()
{
    static State s;
    return s;
}

void later(QObject* context, const std::function<void(bool)>& done, bool running)
{
    QTimer::singleShot(0, context, [done, running] { done(running); });
}

// Without an address or the usual socket, asking for the session bus
// would have the bus library start a bus of its own for the display.
bool sessionBusKnown()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

QDBusMessage globeCall(const QString& service, const char* method, const QVariant& argument)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, QLatin1String(kPath), QLatin1String(kInterface),
                                                       QLatin1String(method));
    call << argument;
    return call;
}

// Sends the zoom and the centre; the centre's answer says whether the
// globe took the place (calls from one sender arrive in order).
void send(const QString& service, double latitude, double longitude, int zoom, QObject* context,
          const std::function<void(bool)>& done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.asyncCall(globeCall(service, "setZoom", zoom), kGlobeAnswerMs);
    auto* centred = new QDBusPendingCallWatcher(
        bus.asyncCall(globeCall(service, "setCenter", QVariant::fromValue(QPointF(longitude, latitude))),
                      kGlobeAnswerMs),
        context);
    QObject::connect(centred, &QDBusPendingCallWatcher::finished, context, [done](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        done(!w->isError());
    });
}

// Asks the bus which process holds `service` and has its window brought
// forward.
void bringForward(const QString& service, QObject* context)
{
    const QDBusMessage pidOf = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    auto* asked = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(QDBusMessage(pidOf) << service, kBusAnswerMs), context);
    QObject::connect(asked, &QDBusPendingCallWatcher::finished, context, [](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> pid = *w;
        if (!pid.isError())
            Activation::bringForward(pid.value());
    });
}

// The running globe's name on the bus, handed to `found` (empty when none
// runs or the bus did not answer).
void findGlobe(QObject* context, const std::function<void(const QString&)>& found)
{
    const QDBusMessage listNames = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    auto* listed = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(listNames, kBusAnswerMs),
                                               context);
    QObject::connect(listed, &QDBusPendingCallWatcher::finished, context, [found](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> names = *w;
        found(names.isError() ? QString() : globeAmong(names.value()));
    });
}

void lookForStartedGlobe(double latitude, double longitude, int zoom, QObject* context, qint64 until)
{
    findGlobe(context, [=](const QString& service) {
        if (!service.isEmpty())
            send(service, latitude, longitude, zoom, context, [](bool) {});
        else if (QDateTime::currentMSecsSinceEpoch() < until)
            QTimer::singleShot(kLookAgainMs, context,
                               [=] { lookForStartedGlobe(latitude, longitude, zoom, context, until); });
    });
}

}  // namespace

QString globeAmong(const QStringList& names)
{
    const QString wellKnown = QLatin1String(kService);
    if (names.contains(wellKnown))
        return wellKnown;
    const QString numbered = wellKnown + QLatin1Char('-');
    for (const QString& name : names) {
        if (!name.startsWith(numbered) || name.size() == numbered.size())
            continue;
        bool number = false;
        name.sliced(numbered.size()).toULongLong(&number);
        if (number)
            return name;
    }
    return {};
}

void centre(double latitude, double longitude, int zoom, QObject* context, std::function<void(bool)> done)
{
    State& s = state();
    if (s.answers.answersHere()) {
        s.history.append({latitude, longitude, zoom, false});
        bool running = false;
        s.answers.take(running, false);
        later(context, done, running);
        return;
    }
    if (!sessionBusKnown() || !QDBusConnection::sessionBus().isConnected()) {
        later(context, done, false);
        return;
    }
    findGlobe(context, [=](const QString& service) {
        if (service.isEmpty()) {
            done(false);
            return;
        }
        send(service, latitude, longitude, zoom, context, [=](bool shown) {
            if (shown)
                bringForward(service, context);
            done(shown);
        });
    });
}

void centreOnceStarted(double latitude, double longitude, int zoom, QObject* context)
{
    State& s = state();
    if (s.answers.answersHere()) {
        s.history.append({latitude, longitude, zoom, true});
        return;
    }
    if (!sessionBusKnown() || !QDBusConnection::sessionBus().isConnected())
        return;
    lookForStartedGlobe(latitude, longitude, zoom, context, QDateTime::currentMSecsSinceEpoch() + kStartMs);
}

void setNextAnswer(bool running)
{
    state().answers.push(running);
}

void setNonInteractive(bool on)
{
    state().answers.setNonInteractive(on);
}

QList<Call> history()
{
    return state().history;
}

void clearHistory()
{
    state().history.clear();
    state().answers.clear();
}

}  // namespace GlobeBus
