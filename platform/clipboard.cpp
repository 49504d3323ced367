#include "clipboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QMap>
#include <QMimeData>

#ifdef VELMORA_X11_CLIPBOARD
#include "x11clipboard.h"
#endif

namespace Clipboard {
namespace {

struct State {
    bool fake = false;
    std::optional<QString> fakeText;
    QMap<QString, QByteArray> fakeData;
    qint64 fakeClock = 0;
    QStringList emptied;
    std::optional<qint64> clearedAt;
    qint64 changedAt = -1;
    bool watching = false;
    // Bumped at every change the system tells of.
    quint64 generation = 0;
    int unansweredOwners = 0;
    qint64 lastOversized = 0;
#ifdef VELMORA_X11_CLIPBOARD
    // What the current owner answered, kept until the owner or its offer
    // changes: one owner that does not answer costs one wait, not one per
    // repaint.
    struct Offer {
        bool valid = false;
        quint32 owner = 0;
        quint64 generation = 0;
        // Unanswered, or replaced before it answered.
        bool unanswered = false;
        // An offer was too large: the owner may still wait on that transfer,
        // and any other flavour of it would be as large.
        bool oversized = false;
        // When it was first asked, and how long its owner has kept us
        // waiting in all: one deadline for all of its flavours.
        qint64 askedAt = 0;
        qint64 waitedMs = 0;
        QHash<QByteArray, x11clipboard::Fetch> got;
    } offer;
    // When a postponed offer may be asked; 0 when none waits.
    qint64 askAgainAt = 0;
#endif
};

State& state()
{
    static State s;
    return s;
}

qint64 now()
{
    State& s = state();
    if (s.fake)
        return s.fakeClock;
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

void watch()
{
    State& s = state();
    if (s.watching)
        return;
    s.watching = true;
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, qApp, [] {
        state().changedAt = now();
        ++state().generation;
    });
}

// The system's clipboard data, its changes noted from the first use on.
const QMimeData* systemData()
{
    watch();
    return QGuiApplication::clipboard()->mimeData();
}

#ifdef VELMORA_X11_CLIPBOARD
// How long an owner has to answer all that is asked of one offer; a live
// one answers at once.
constexpr int kAnswerMs = 1000;
// An owner that keeps changing its offer is asked at most this often.
constexpr qint64 kAskEveryMs = 1000;

// Whether the clipboard is read over the program's own X11 connection:
// on X11, while another program owns it.
bool readOwnX11()
{
    static const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb") && x11clipboard::available();
    return x11 && !QGuiApplication::clipboard()->ownsClipboard();
}

// Whether the offer that replaced the one asked last must wait: that one
// went unanswered, or the clipboard changed more than once since it was
// asked, both within the last kAskEveryMs. A single new copy is asked at once.
bool postponed(const State& s, qint64 at)
{
    const State::Offer& o = s.offer;
    return o.valid && at - o.askedAt < kAskEveryMs && (o.unanswered || s.generation - o.generation >= 2);
}

// The offer as `target`, when the owner gave it within the limits.
std::optional<QByteArray> x11Data(const char* target)
{
    State& s = state();
    watch();
    const quint32 owner = x11clipboard::owner();
    if (owner == 0)
        return std::nullopt;
    State::Offer& o = s.offer;
    const qint64 at = now();
    if (!o.valid || o.owner != owner || o.generation != s.generation) {
        if (postponed(s, at)) {
            s.askAgainAt = o.askedAt + kAskEveryMs;
            return std::nullopt;
        }
        o = {true, owner, s.generation, false, false, at, 0, {}};
        s.askAgainAt = 0;
    }
    if (o.unanswered || o.oversized)
        return std::nullopt;
    auto it = o.got.find(target);
    if (it == o.got.end() && o.waitedMs >= kAnswerMs) {
        o.unanswered = true;  // its second is used up
        return std::nullopt;
    }
    if (it == o.got.end()) {
        const qint64 started = now();
        x11clipboard::Fetch f = x11clipboard::fetch(target, kMaxOfferBytes, int(kAnswerMs - o.waitedMs));
        o.waitedMs += now() - started;
        if (f.outcome == x11clipboard::Fetch::NoAnswer || f.outcome == x11clipboard::Fetch::Replaced) {
            o.unanswered = true;
            if (f.outcome == x11clipboard::Fetch::NoAnswer)
                ++s.unansweredOwners;
        } else if (f.outcome == x11clipboard::Fetch::TooLarge) {
            o.oversized = true;
            s.lastOversized = f.size;
        }
        it = o.got.insert(target, std::move(f));
    }
    if (it->outcome != x11clipboard::Fetch::Got)
        return std::nullopt;
    return it->data;
}

std::optional<QString> x11Text()
{
    if (const std::optional<QByteArray> utf8 = x11Data("UTF8_STRING"))
        return QString::fromUtf8(*utf8);
    if (state().offer.unanswered || state().offer.oversized)
        return std::nullopt;
    if (const std::optional<QByteArray> latin1 = x11Data("STRING"))
        return QString::fromLatin1(*latin1);
    return std::nullopt;
}
#endif

void fakeChanged()
{
    state().changedAt = now();
}

}  // namespace

bool hasText()
{
    if (state().fake)
        return state().fakeText.has_value();
#ifdef VELMORA_X11_CLIPBOARD
    if (readOwnX11())
        return x11Text().has_value();
#endif
    // Some platforms hand back no data at all once the clipboard was cleared.
    const QMimeData* data = systemData();
    return data && data->hasText();
}

QString text()
{
    if (state().fake)
        return state().fakeText.value_or(QString());
#ifdef VELMORA_X11_CLIPBOARD
    if (readOwnX11())
        return x11Text().value_or(QString());
#endif
    const QMimeData* data = systemData();
    return data && data->hasText() ? data->text() : QString();
}

QByteArray data(const QString& mimeType)
{
    if (state().fake)
        return state().fakeData.value(mimeType);
#ifdef VELMORA_X11_CLIPBOARD
    if (readOwnX11())
        return x11Data(mimeType.toUtf8().constData()).value_or(QByteArray());
#endif
    const QMimeData* data = systemData();
    return data && data->hasFormat(mimeType) ? data->data(mimeType) : QByteArray();
}

void clear()
{
    State& s = state();
    if (s.fake) {
        s.emptied.append(text());  // kept for tests only: it would grow for the program's life
        s.fakeText.reset();
        s.fakeData.clear();
    } else {
        systemData();
        QGuiApplication::clipboard()->clear();
#ifdef VELMORA_X11_CLIPBOARD
        s.offer = {};
        s.askAgainAt = 0;
#endif
    }
    s.clearedAt = now();
}

qint64 askAgainInMs()
{
#ifdef VELMORA_X11_CLIPBOARD
    const State& s = state();
    if (s.askAgainAt > 0)
        return qMax<qint64>(0, s.askAgainAt - now());
#endif
    return 0;
}

bool refilledSinceCleared()
{
    const State& s = state();
    return s.clearedAt && s.changedAt <= *s.clearedAt + kRefillMs;
}

void setFake(bool on)
{
    State& s = state();
    s.fake = on;
    s.fakeText.reset();
    s.fakeData.clear();
    s.clearedAt.reset();
    s.changedAt = -1;
}

void setFakeText(std::optional<QString> text)
{
    state().fakeText = std::move(text);
    state().fakeData.clear();
    fakeChanged();
}

void setFakeData(const QString& mimeType, const QByteArray& data)
{
    state().fakeData.insert(mimeType, data);
    fakeChanged();
}

void advanceFakeClock(qint64 ms)
{
    state().fakeClock += ms;
}

int unansweredOwners()
{
    return state().unansweredOwners;
}

qint64 lastOversizedOffer()
{
    return state().lastOversized;
}

QStringList emptied()
{
    return state().emptied;
}

void clearHistory()
{
    state().emptied.clear();
}

}  // namespace Clipboard
