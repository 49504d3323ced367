#include "globebus.h"

#include "prepared.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointF>
#include <QTimer>

namespace GlobeBus {
namespace {

// The bus answers its own questions at once; a globe that is still
// loading its maps may take a while before it takes calls.
constexpr int kBusAnswerMs = 2000;
constexpr int kGlobeAnswerMs = 10000;

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
        s.history.append({latitude, longitude, zoom});
        bool running = false;
        s.answers.take(running, false);
        later(context, done, running);
        return;
    }
    if (!sessionBusKnown() || !QDBusConnection::sessionBus().isConnected()) {
        later(context, done, false);
        return;
    }
    const QDBusMessage listNames = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    auto* listed = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(listNames, kBusAnswerMs),
                                               context);
    QObject::connect(listed, &QDBusPendingCallWatcher::finished, context, [=](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> names = *w;
        const QString service = names.isError() ? QString() : globeAmong(names.value());
        if (service.isEmpty())
            done(false);
        else
            send(service, latitude, longitude, zoom, context, done);
    });
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
