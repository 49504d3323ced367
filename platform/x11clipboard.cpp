#include "x11clipboard.h"

#include <QElapsedTimer>
#include <QHash>

#include <cstdlib>
#include <memory>

#include <poll.h>
#include <xcb/xcb.h>

namespace x11clipboard {
namespace {

// How often a wait looks whether the owner it waits on still owns the
// clipboard: an owner that re-claims it every millisecond leaves the ones
// before it unanswered.
constexpr int kGoneCheckMs = 5;

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

class Connection {
public:
    Connection()
    {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) {
            xcb_disconnect(c_);
            c_ = nullptr;
            return;
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        clipboard_ = atom("CLIPBOARD");
        property_ = atom("VELMORA_CLIPBOARD");
        incr_ = atom("INCR");
    }
    ~Connection()
    {
        if (c_)
            xcb_disconnect(c_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ok() const { return c_ && !xcb_connection_has_error(c_); }
    xcb_connection_t* c() const { return c_; }
    xcb_window_t root() const { return root_; }
    xcb_atom_t clipboard() const { return clipboard_; }
    xcb_atom_t property() const { return property_; }
    xcb_atom_t incr() const { return incr_; }

    xcb_atom_t atom(const char* name)
    {
        const QByteArray key(name);
        if (const auto it = atoms_.constFind(key); it != atoms_.cend())
            return it.value();
        const Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(key.size()), key.constData()), nullptr));
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        if (a != XCB_ATOM_NONE)
            atoms_.insert(key, a);
        return a;
    }

    // The next event that `wanted` accepts, others dropped; nothing once
    // the deadline passed or, checked every few milliseconds, `gone` says
    // that waiting longer is useless (then `*abandoned` is set).
    template <typename Wanted, typename Gone>
    Reply<xcb_generic_event_t> waitFor(const QElapsedTimer& clock, int waitMs, Wanted wanted, Gone gone,
                                       bool* abandoned)
    {
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                Reply<xcb_generic_event_t> event(e);
                if (wanted(event.get()))
                    return event;
            }
            const qint64 left = waitMs - clock.elapsed();
            if (left <= 0 || xcb_connection_has_error(c_))
                return nullptr;
            pollfd pfd{xcb_get_file_descriptor(c_), POLLIN, 0};
            if (poll(&pfd, 1, int(qMin<qint64>(left, kGoneCheckMs))) == 0 && gone()) {
                *abandoned = true;
                return nullptr;
            }
        }
    }

private:
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t clipboard_ = 0, property_ = 0, incr_ = 0;
    QHash<QByteArray, xcb_atom_t> atoms_;
};

Connection& connection()
{
    static Connection c;
    return c;
}

// A window for one transfer: an owner still writing to an earlier,
// abandoned one cannot mix into the next.
class Requestor {
public:
    explicit Requestor(Connection& k) : k_(k), id_(xcb_generate_id(k.c()))
    {
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(k.c(), XCB_COPY_FROM_PARENT, id_, k.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    }
    ~Requestor()
    {
        xcb_destroy_window(k_.c(), id_);
        xcb_flush(k_.c());
    }
    Requestor(const Requestor&) = delete;
    Requestor& operator=(const Requestor&) = delete;
    xcb_window_t id() const { return id_; }

private:
    Connection& k_;
    xcb_window_t id_;
};

Reply<xcb_get_property_reply_t> property(Connection& k, xcb_window_t w, bool remove, uint32_t longs)
{
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        k.c(), xcb_get_property(k.c(), remove, w, k.property(), XCB_GET_PROPERTY_TYPE_ANY, 0, longs), nullptr));
}

uint8_t eventType(const xcb_generic_event_t* e)
{
    return e->response_type & 0x7F;
}

xcb_window_t ownerOf(Connection& k)
{
    const Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(k.c(), xcb_get_selection_owner(k.c(), k.clipboard()), nullptr));
    return reply ? reply->owner : 0;
}

}  // namespace

bool available()
{
    return connection().ok();
}

quint32 owner()
{
    Connection& k = connection();
    return k.ok() ? ownerOf(k) : 0;
}

Fetch fetch(const char* target, qint64 maxBytes, int waitMs)
{
    Fetch f;
    Connection& k = connection();
    if (!k.ok())
        return f;
    QElapsedTimer clock;
    clock.start();
    const xcb_atom_t targetAtom = k.atom(target);
    const xcb_window_t asked = ownerOf(k);
    const auto replaced = [&] { return ownerOf(k) != asked; };
    bool abandoned = false;
    const Requestor window(k);
    xcb_convert_selection(k.c(), window.id(), k.clipboard(), targetAtom, k.property(), XCB_CURRENT_TIME);
    xcb_flush(k.c());
    const Reply<xcb_generic_event_t> answer = k.waitFor(
        clock, waitMs,
        [&](const xcb_generic_event_t* e) {
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
            return eventType(e) == XCB_SELECTION_NOTIFY && n->requestor == window.id();
        },
        replaced, &abandoned);
    if (!answer) {
        f.outcome = abandoned ? Fetch::Replaced : Fetch::NoAnswer;
        return f;
    }
    if (reinterpret_cast<const xcb_selection_notify_event_t*>(answer.get())->property == XCB_ATOM_NONE)
        return f;

    // Its size first, read without taking any of it.
    const Reply<xcb_get_property_reply_t> head = property(k, window.id(), false, 1);
    if (!head || head->type == XCB_ATOM_NONE)
        return f;
    if (head->type != k.incr()) {
        f.size = qint64(head->bytes_after) + xcb_get_property_value_length(head.get());
        if (f.size > maxBytes) {
            f.outcome = Fetch::TooLarge;
            return f;
        }
        const Reply<xcb_get_property_reply_t> all = property(k, window.id(), true, uint32_t((f.size + 3) / 4));
        if (!all)
            return f;
        f.data = QByteArray(static_cast<const char*>(xcb_get_property_value(all.get())),
                            xcb_get_property_value_length(all.get()));
        f.outcome = Fetch::Got;
        return f;
    }

    // Large offers come in pieces; the first property holds a lower bound
    // of the size. Past the limit the transfer is never started.
    if (xcb_get_property_value_length(head.get()) >= 4)
        f.size = *static_cast<const quint32*>(xcb_get_property_value(head.get()));
    if (f.size > maxBytes) {
        f.outcome = Fetch::TooLarge;
        return f;
    }
    xcb_delete_property(k.c(), window.id(), k.property());  // asks for the first piece
    xcb_flush(k.c());
    for (;;) {
        const Reply<xcb_generic_event_t> piece = k.waitFor(
            clock, waitMs,
            [&](const xcb_generic_event_t* e) {
                const auto* n = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                return eventType(e) == XCB_PROPERTY_NOTIFY && n->window == window.id() && n->atom == k.property()
                       && n->state == XCB_PROPERTY_NEW_VALUE;
            },
            replaced, &abandoned);
        if (!piece) {
            f.outcome = abandoned ? Fetch::Replaced : Fetch::NoAnswer;
            f.data.clear();
            return f;
        }
        const qint64 room = maxBytes - f.data.size();
        // Deleting the piece asks for the next one.
        const Reply<xcb_get_property_reply_t> got = property(k, window.id(), true, uint32_t(room / 4 + 1));
        if (!got)
            return {};
        const int length = xcb_get_property_value_length(got.get());
        if (length == 0 && got->bytes_after == 0)
            break;
        if (length > room || got->bytes_after > 0) {
            f.outcome = Fetch::TooLarge;
            f.size = qMax(f.size, f.data.size() + qint64(length) + qint64(got->bytes_after));
            f.data.clear();
            return f;
        }
        f.data.append(static_cast<const char*>(xcb_get_property_value(got.get())), length);
        xcb_flush(k.c());
    }
    f.size = f.data.size();
    f.outcome = Fetch::Got;
    return f;
}

}  // namespace x11clipboard
