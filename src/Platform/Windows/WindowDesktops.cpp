#include "Platform/Windows/WindowDesktops.h"

#include "Platform/Windows/internal/X11Connection.h"

#include <QWidget>

#include <cstdint>

namespace Platform {

namespace {

constexpr std::uint32_t allDesktops = 0xFFFFFFFF;

} // namespace

void showOnEveryDesktop(QWidget *window)
{
    xcb_connection_t *connection = detail::x11Connection();
    if (!window || !connection)
        return;
    const xcb_atom_t desktop = detail::internAtom(connection, "_NET_WM_DESKTOP");
    if (desktop == XCB_ATOM_NONE)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    // Read by the window manager when the window is mapped.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    if (window->isVisible()) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = desktop;
        event.data.data32[0] = allDesktops;
        event.data.data32[1] = 2; // source indication: a pager
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    }
    xcb_flush(connection);
}

} // namespace Platform
