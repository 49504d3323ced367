#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Clipboard {
namespace {

struct State {
    bool fake = false;
    std::optional<QString> fakeText;
    QStringList emptied;
};

State& state()
{
    static State s;
    return s;
}

}  // namespace

bool hasText()
{
    if (state().fake)
        return state().fakeText.has_value();
    // Some platforms hand back no data at all once the clipboard was cleared.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

QString text()
{
    if (state().fake)
        return state().fakeText.value_or(QString());
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() ? data->text() : QString();
}

void clear()
{
    state().emptied.append(text());
    if (state().fake)
        state().fakeText.reset();
    else
        QGuiApplication::clipboard()->clear();
}

void setFake(bool on)
{
    state().fake = on;
    state().fakeText.reset();
}

void setFakeText(std::optional<QString> text)
{
    state().fakeText = std::move(text);
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
