#include "Platform/ScreenCapture/X11ScreenSource.h"

#include "Platform/ScreenCapture/internal/ShmImagePool.h"
#include "Platform/ScreenCapture/internal/X11WindowList.h"
#include "Platform/ScreenCapture/internal/XConnection.h"

#include <xcb/composite.h>
#include <xcb/xcb.h>

#include "Platform/Image/ImageDecoding.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace Platform {

using detail::XConnection;

struct X11ScreenSource::Private {
    std::shared_ptr<XConnection> connection = std::make_shared<XConnection>();
    std::shared_ptr<detail::ShmImagePool> pool;
    xcb_connection_t *grabConnection = nullptr; // Qt's, while a grab is held
};

namespace {

xcb_connection_t *qtConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The rectangle of the root window, to keep reads inside the framebuffer.
QRect rootRect(const XConnection &x)
{
    return x.screen() ? QRect(0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels) : QRect();
}

// `rect` of `drawable`, in the drawable's own coordinates (16-bit on the wire); null when the
// server refuses. The pixels are described by `visual`, or by the reply's visual when it is 0.
// A depth-32 drawable keeps its alpha when `keepAlpha` is set; everything else is opaque.
QImage readImage(XConnection &x, xcb_drawable_t drawable, QRect rect, xcb_visualid_t visual, bool keepAlpha)
{
    xcb_connection_t *c = x.get();
    xcb_generic_error_t *error = nullptr;
    auto *reply = xcb_get_image_reply(c,
                                      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, std::int16_t(rect.x()), std::int16_t(rect.y()),
                                                    std::uint16_t(rect.width()), std::uint16_t(rect.height()), ~0u),
                                      &error);
    QImage image;
    if (reply && !error) {
        const XConnection::Format format = x.formatForDepth(reply->depth, visual ? visual : reply->visual);
        const int pad = format.scanlinePad > 0 ? format.scanlinePad : 32;
        const int stride = ((rect.width() * format.bitsPerPixel + pad - 1) / pad) * pad / 8;
        if (xcb_get_image_data_length(reply) >= stride * rect.height())
            image = detail::imageFromZPixmap(xcb_get_image_data(reply), rect.width(), rect.height(), stride, format,
                                             keepAlpha && reply->depth == 32);
    }
    std::free(reply);
    std::free(error);
    return image;
}

} // namespace

X11ScreenSource::X11ScreenSource() : d(std::make_unique<Private>())
{
    d->pool = std::make_shared<detail::ShmImagePool>(d->connection);
}

X11ScreenSource::~X11ScreenSource()
{
    releaseInput();
}

bool X11ScreenSource::displayAnswers()
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const bool ok = !xcb_connection_has_error(c);
    xcb_disconnect(c);
    return ok;
}

bool X11ScreenSource::connectionUsable(void *xcbConnection)
{
    return xcbConnection && !xcb_connection_has_error(static_cast<xcb_connection_t *>(xcbConnection));
}

bool X11ScreenSource::isConnected() const
{
    return d->connection->isValid();
}

bool X11ScreenSource::usesSharedMemory() const
{
    return d->pool->isUsable();
}

ScreenCoordinates X11ScreenSource::coordinates() const
{
    return ScreenCoordinates::fromQtScreens();
}

QList<CaptureScreen> X11ScreenSource::screens() const
{
    QList<CaptureScreen> result;
    if (!isConnected())
        return result;
    const ScreenCoordinates coords = coordinates();
    QList<QScreen *> ordered;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        ordered.append(primary);
    for (QScreen *screen : QGuiApplication::screens())
        if (!ordered.contains(screen))
            ordered.append(screen);
    for (QScreen *screen : ordered)
        result.append({screen->name(), coords.toModel(QRectF(screen->geometry())), screen->devicePixelRatio()});
    return result;
}

QPointF X11ScreenSource::pointerLocation() const
{
    return coordinates().toModel(QPointF(QCursor::pos()));
}

QList<ShareableWindow> X11ScreenSource::windows()
{
    QList<ShareableWindow> result;
    if (!isConnected())
        return result;
    const ScreenCoordinates coords = coordinates();
    QRect screens;
    for (int i = 0; i < coords.screens().size(); ++i)
        screens |= coords.nativeGeometry(i).toAlignedRect();
    if (screens.isEmpty())
        screens = rootRect(*d->connection);
    for (const detail::NativeWindow &window : detail::listWindows(*d->connection, screens))
        result.append({window.windowID, coords.nativeToModel(QRectF(window.frame)), window.processID});
    return result;
}

QImage X11ScreenSource::freeze(const CaptureScreen &screen)
{
    if (!isConnected())
        return {};
    const ScreenCoordinates coords = coordinates();
    const QRectF qt = coords.toQt(screen.frame);
    const QSize size = screen.pixelSize();
    const QRect native = QRect(QPoint(int(std::lround(qt.x())), int(std::lround(qt.y()))), size).intersected(rootRect(*d->connection));
    if (native.isEmpty())
        return {}; // the framebuffer holds nothing of this screen
    if (QImage image = d->pool->grab(native); !image.isNull())
        return image;

    // Without shared memory the pixels come through the socket.
    QImage image = readImage(*d->connection, d->connection->root(), native, 0, false);
    if (image.isNull())
        throw ScreenCaptureError(screen.name);
    return image;
}

void X11ScreenSource::prepare()
{
    if (!isConnected())
        return;
    const ScreenCoordinates coords = coordinates();
    QList<QRect> rects;
    for (const CaptureScreen &screen : screens()) {
        const QRectF qt = coords.toQt(screen.frame);
        rects.append(QRect(QPoint(int(std::lround(qt.x())), int(std::lround(qt.y()))), screen.pixelSize()).intersected(rootRect(*d->connection)));
    }
    d->pool->warm(rects);
}

void X11ScreenSource::rest()
{
    d->pool->rest();
}

QImage X11ScreenSource::compositeImage(std::uint32_t windowID, const QRect &area)
{
    XConnection &x = *d->connection;
    const ImageLimits limits;
    if (!x.isValid() || !x.hasComposite() || area.isEmpty() || area.width() > limits.maxSide || area.height() > limits.maxSide
        || qint64(area.width()) * area.height() > limits.maxPixels)
        return {};
    xcb_connection_t *c = x.get();
    const xcb_window_t frame = detail::topLevelAncestor(x, windowID);
    if (frame == XCB_WINDOW_NONE)
        return {};
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    // Fails with BadMatch unless the window is redirected, i.e. a compositing manager (or any
    // client) keeps window contents off screen.
    if (xcb_generic_error_t *error = xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, frame, pixmap))) {
        std::free(error);
        return {};
    }
    QImage image;
    auto *attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, frame), nullptr);
    auto *window = xcb_get_geometry_reply(c, xcb_get_geometry(c, frame), nullptr);
    auto *origin = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, frame, x.root(), 0, 0), nullptr);
    auto *geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr);
    if (attributes && window && origin && geometry) {
        // The pixmap holds the window with its border, in root pixels from here. Only the part
        // inside `area` is read: the window itself may be far larger than any image we make.
        const QRect held(origin->dst_x - window->border_width, origin->dst_y - window->border_width, geometry->width, geometry->height);
        const QRect part = held.intersected(area);
        // GetImage addresses the pixmap with 16-bit offsets.
        if (!part.isEmpty() && part.x() - held.x() <= INT16_MAX && part.y() - held.y() <= INT16_MAX)
            image = readImage(x, pixmap, part.translated(-held.topLeft()), attributes->visual, true);
        if (!image.isNull() && part != area) {
            // What the window does not cover of the area stays transparent.
            QImage whole(area.size(), QImage::Format_ARGB32_Premultiplied);
            whole.fill(Qt::transparent);
            QPainter painter(&whole);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(part.topLeft() - area.topLeft(), image);
            painter.end();
            image = whole;
        }
    }
    std::free(attributes);
    std::free(window);
    std::free(origin);
    std::free(geometry);
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    return image;
}

QImage X11ScreenSource::windowImage(const ShareableWindow &window, double scale, const QList<FrozenScreen> &frozen)
{
    const QSize size = windowPixelSize(window.frame, scale);
    if (size.isEmpty())
        return {};
    QImage image = compositeImage(window.windowID, coordinates().modelToNative(window.frame).toAlignedRect());
    if (image.isNull())
        return cutFromFrozenScreens(window.frame, scale, frozen);
    if (image.size() != size)
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

bool X11ScreenSource::grabInput(QWindow *window)
{
    xcb_connection_t *c = qtConnection();
    if (!c || !window)
        return false;
    const auto id = xcb_window_t(window->winId());
    // owner_events: events over our other overlay windows still go to those windows, so each
    // screen's overlay gets its own pointer events; only events elsewhere come to `window`.
    auto *keyboard = xcb_grab_keyboard_reply(c, xcb_grab_keyboard(c, 1, id, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                             nullptr);
    const bool keyboardOk = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(keyboard);
    if (!keyboardOk)
        return false;
    const std::uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION
                               | XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW;
    auto *pointer = xcb_grab_pointer_reply(
        c, xcb_grab_pointer(c, 1, id, mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool pointerOk = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(pointer);
    if (!pointerOk) {
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        return false;
    }
    d->grabConnection = c;
    return true;
}

void X11ScreenSource::releaseInput()
{
    xcb_connection_t *c = d->grabConnection;
    d->grabConnection = nullptr;
    // Qt's connection may be gone already when the source outlives the application object.
    if (!c || c != qtConnection())
        return;
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_flush(c);
}

} // namespace Platform
