#include "clipboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMap>
#include <QMimeData>

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

// The system's clipboard data, its changes noted from the first use on.
const QMimeData* systemData()
{
    State& s = state();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!s.watching) {
        s.watching = true;
        QObject::connect(clipboard, &QClipboard::dataChanged, qApp, [] { state().changedAt = now(); });
    }
    return clipboard->mimeData();
}

void fakeChanged()
{
    state().changedAt = now();
}

}  // namespace

bool hasText()
{
    if (state().fake)
        return state().fakeText.has_value();
    // Some platforms hand back no data at all once the clipboard was cleared.
    const QMimeData* data = systemData();
    return data && data->hasText();
}

QString text()
{
    if (state().fake)
        return state().fakeText.value_or(QString());
    const QMimeData* data = systemData();
    return data && data->hasText() ? data->text() : QString();
}

QByteArray data(const QString& mimeType)
{
    if (state().fake)
        return state().fakeData.value(mimeType);
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
    }
    s.clearedAt = now();
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

QStringList emptied()
{
    return state().emptied;
}

void clearHistory()
{
    state().emptied.clear();
}

}  // namespace Clipboard
