#include "activation.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>
#include <memory>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <xcb/xcb.h>
#define VELMORA_X11_ACTIVATION
#endif

namespace Activation {
namespace {

struct State {
    bool nonInteractive = false;
    QList<qint64> history;
};

State& state()
{
    static State s;
    return s;
}

#ifdef VELMORA_X11_ACTIVATION
struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const QByteArray key(name);
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(key.size()), key.constData()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The managed top-level window of `pid`, as the window manager lists them
// (_NET_CLIENT_LIST) and the program names its process (_NET_WM_PID).
xcb_window_t windowOf(xcb_connection_t* c, xcb_window_t root, quint32 pid)
{
    const xcb_atom_t clients = atom(c, "_NET_CLIENT_LIST"), pidAtom = atom(c, "_NET_WM_PID");
    if (clients == XCB_ATOM_NONE || pidAtom == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    const Reply<xcb_get_property_reply_t> list(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, clients, XCB_ATOM_WINDOW, 0, 4096), nullptr));
    if (!list || list->format != 32)
        return XCB_WINDOW_NONE;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    const int count = xcb_get_property_value_length(list.get()) / 4;
    for (int i = 0; i < count; ++i) {
        const Reply<xcb_get_property_reply_t> owner(
            xcb_get_property_reply(c, xcb_get_property(c, 0, windows[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (owner && owner->format == 32 && xcb_get_property_value_length(owner.get()) == 4
            && *static_cast<const quint32*>(xcb_get_property_value(owner.get())) == pid)
            return windows[i];
    }
    return XCB_WINDOW_NONE;
}

bool activateOnX11(quint32 pid)
{
    // A Wayland session's programs are no X11 clients; the few that are
    // (through Xwayland) are not to be raised by another program either.
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const auto closing = std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)>(c, xcb_disconnect);
    if (xcb_connection_has_error(c))
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t window = windowOf(c, root, pid);
    const xcb_atom_t active = atom(c, "_NET_ACTIVE_WINDOW");
    if (window == XCB_WINDOW_NONE || active == XCB_ATOM_NONE)
        return false;
    // Asked as a pager asks (source 2): the user's click on "Show this
    // place" is the request, not something the program decided on its own.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = active;
    event.data.data32[0] = 2;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    return true;
}
#endif

}  // namespace

bool bringForward(qint64 pid)
{
    State& s = state();
    if (s.nonInteractive) {
        s.history.append(pid);
        return true;
    }
#ifdef VELMORA_X11_ACTIVATION
    return pid > 0 && pid <= 0xFFFFFFFF && activateOnX11(quint32(pid));
#else
    return false;
#endif
}

void setNonInteractive(bool on)
{
    state().nonInteractive = on;
}

QList<qint64> history()
{
    return state().history;
}

void clearHistory()
{
    state().history.clear();
}

}  // namespace Activation
