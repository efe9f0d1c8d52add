#include "Platform/Pointer/X11PointerSource.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>
#include <memory>

namespace Platform {

namespace {

struct PointerReply {
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply{nullptr, &std::free};
};

PointerReply queryPointer()
{
    PointerReply result;
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection))
        return result;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return result;
    result.reply.reset(xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr));
    return result;
}

} // namespace

Qt::MouseButtons X11PointerSource::pressedButtons()
{
    const PointerReply pointer = queryPointer();
    if (!pointer.reply)
        return Qt::NoButton;
    const std::uint16_t mask = pointer.reply->mask;
    Qt::MouseButtons buttons;
    if (mask & XCB_BUTTON_MASK_1)
        buttons |= Qt::LeftButton;
    if (mask & XCB_BUTTON_MASK_2)
        buttons |= Qt::MiddleButton;
    if (mask & XCB_BUTTON_MASK_3)
        buttons |= Qt::RightButton;
    return buttons;
}

QPoint X11PointerSource::location()
{
    const PointerReply pointer = queryPointer();
    if (!pointer.reply)
        return {};
    // The server speaks device pixels; Qt's global coordinates are device-independent.
    const QPoint native(pointer.reply->root_x, pointer.reply->root_y);
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect pixels(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
        if (pixels.contains(native))
            return screen->geometry().topLeft() + (native - screen->geometry().topLeft()) / screen->devicePixelRatio();
    }
    return native;
}

} // namespace Platform
