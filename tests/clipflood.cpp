// A clipboard owner that never settles: it claims the clipboard with a new
// window every millisecond and answers nobody, as a loop of short-lived
// owners does. Prints a line for each request it gets. Runs until it is
// killed.

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unistd.h>

int main()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fputs("clipflood: no X server\n", stderr);
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char name[] = "CLIPBOARD";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t clipboard = atom->atom;
    std::free(atom);
    std::deque<xcb_window_t> windows;
    for (;;) {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(c, w, clipboard, XCB_CURRENT_TIME);
        windows.push_back(w);
        if (windows.size() > 4) {
            xcb_destroy_window(c, windows.front());
            windows.pop_front();
        }
        xcb_flush(c);
        // Requests are counted and dropped, never answered.
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7F) == XCB_SELECTION_REQUEST) {
                std::fputs("asked\n", stdout);
                std::fflush(stdout);
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c))
            return 0;
        usleep(1000);
    }
}
