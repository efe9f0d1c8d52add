#include "Platform/Windows/WindowActivation.h"

#include "Platform/Windows/WindowsAbove.h"
#include "Platform/Windows/internal/X11Connection.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <optional>

namespace Platform {
namespace {

using detail::internAtom;
using detail::x11Connection;

// EWMH: the value of _NET_WM_DESKTOP for a window shown on every desktop.
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
// EWMH source indication: a pager, that is, the user's own request.
constexpr std::uint32_t kSourcePager = 2;

std::optional<std::uint32_t> cardinal(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    std::optional<std::uint32_t> value;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
        value = *static_cast<const std::uint32_t *>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

void sendToRoot(xcb_connection_t *connection, xcb_window_t root, xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
}

// Asks the window manager, as the user would through a pager, to bring the window to the
// current desktop when it is on another one, and to activate it.
void requestActiveWindow(QWindow *handle)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || !handle)
        return;
    const auto window = static_cast<xcb_window_t>(handle->winId());
    // The root of the window's own screen.
    xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!geometry)
        return;
    const xcb_window_t root = geometry->root;
    std::free(geometry);
    const xcb_atom_t active = internAtom(connection, "_NET_ACTIVE_WINDOW");
    if (active == XCB_ATOM_NONE)
        return;

    // A window manager may refuse to activate a window on another desktop (it marks it instead):
    // the window is moved here first.
    const xcb_atom_t desktopAtom = internAtom(connection, "_NET_WM_DESKTOP");
    const std::optional<std::uint32_t> current = cardinal(connection, root, internAtom(connection, "_NET_CURRENT_DESKTOP"));
    const std::optional<std::uint32_t> desktop = cardinal(connection, window, desktopAtom);
    if (current && desktop && *desktop != kAllDesktops && *desktop != *current)
        sendToRoot(connection, root, window, desktopAtom, *current, kSourcePager);

    // The timestamp is of no use to a pager's request; the window manager takes its own time.
    sendToRoot(connection, root, window, active, kSourcePager, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

// Sends the request once the window is on the screen: the window manager ignores requests about
// a window it does not manage yet.
class RequestWhenExposed final : public QObject {
public:
    explicit RequestWhenExposed(QWindow *window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && event->type() == QEvent::Expose && window->isExposed()) {
            requestActiveWindow(window);
            deleteLater();
        } else if (window && event->type() == QEvent::Hide) {
            deleteLater();
        }
        return false;
    }
};

} // namespace

void bringForward(QWidget *widget)
{
    if (!widget)
        return;
    QWidget *window = widget->window();
    if (window->isVisible())
        WindowsAbove::adopt(window); // a hidden window is adopted when it is shown
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    const bool shownNow = !window->isVisible();
    if (shownNow)
        window->show();
    window->raise();
    window->activateWindow();
    QWindow *handle = window->windowHandle();
    if (!handle || !x11Connection())
        return;
    // A window shown just now is not the window manager's yet. One shown before is, also when it
    // is off the screen (minimised, on another desktop).
    if (!shownNow || handle->isExposed())
        requestActiveWindow(handle);
    else if (!handle->findChild<RequestWhenExposed *>(QString(), Qt::FindDirectChildrenOnly))
        new RequestWhenExposed(handle);
}

} // namespace Platform
