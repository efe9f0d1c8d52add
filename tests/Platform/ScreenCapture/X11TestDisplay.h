#pragma once
// A second client of the test's X display: windows with known pixels, synthetic input through
// XTEST, key grabs of "another application", and a window manager (openbox) started and
// stopped by the test. Waits are for conditions, never fixed sleeps.

#include <xcb/composite.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "Support/TaskTesting.h"

#include <QImage>
#include <QProcess>
#include <QRect>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace TestSupport {

// A picture whose every pixel differs from its neighbours, so a crop that is off by one pixel
// in any direction does not compare equal.
inline QImage patternImage(QSize size, int seed = 0)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb((x * 7 + seed * 31) & 0xff, (y * 5 + seed * 17) & 0xff, ((x ^ y) * 3 + seed) & 0xff);
    }
    return image;
}

inline bool pollUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    return waitUntil(done, timeoutMs);
}

class X11TestDisplay final {
public:
    X11TestDisplay() : m_c(xcb_connect(nullptr, nullptr))
    {
        if (!xcb_connection_has_error(m_c))
            m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    }
    ~X11TestDisplay()
    {
        stopWindowManager();
        xcb_disconnect(m_c);
    }
    X11TestDisplay(const X11TestDisplay &) = delete;
    X11TestDisplay &operator=(const X11TestDisplay &) = delete;

    bool isValid() const { return !xcb_connection_has_error(m_c) && m_screen; }
    xcb_connection_t *connection() const { return m_c; }
    xcb_window_t root() const { return m_screen->root; }
    QSize rootSize() const { return QSize(m_screen->width_in_pixels, m_screen->height_in_pixels); }

    xcb_atom_t atom(const char *name)
    {
        const auto reply = owned(xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // A top-level window showing `content` (its background pixmap, so the server paints it
    // without our help). `pid` goes into _NET_WM_PID when not 0.
    xcb_window_t createWindow(QRect geometry, const QImage &content, std::uint32_t pid = 0, bool overrideRedirect = false)
    {
        const xcb_window_t window = xcb_generate_id(m_c);
        const xcb_pixmap_t pixmap = xcb_generate_id(m_c);
        xcb_create_pixmap(m_c, m_screen->root_depth, pixmap, m_screen->root, uint16_t(geometry.width()), uint16_t(geometry.height()));
        putImage(pixmap, withoutPadding(content.convertToFormat(QImage::Format_RGB32).scaled(geometry.size())));
        const std::uint32_t values[] = {pixmap, std::uint32_t(overrideRedirect ? 1 : 0)};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_screen->root, int16_t(geometry.x()), int16_t(geometry.y()),
                          uint16_t(geometry.width()), uint16_t(geometry.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          m_screen->root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_free_pixmap(m_c, pixmap);
        if (pid)
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        // Position requests (USPosition | PPosition) must be honoured by a window manager, not
        // replaced by its placement.
        const std::uint32_t hints[18] = {(1 << 0) | (1 << 2), std::uint32_t(geometry.x()), std::uint32_t(geometry.y())};
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        xcb_map_window(m_c, window);
        xcb_flush(m_c);
        return window;
    }

    void destroyWindow(xcb_window_t window)
    {
        xcb_destroy_window(m_c, window);
        sync();
    }
    void raise(xcb_window_t window)
    {
        const std::uint32_t mode = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_c, window, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
        sync();
    }
    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

    QImage rootImage(QRect r)
    {
        const auto reply = owned(xcb_get_image_reply(m_c,
                                                     xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, root(), int16_t(r.x()), int16_t(r.y()),
                                                                   uint16_t(r.width()), uint16_t(r.height()), ~0u),
                                                     nullptr));
        if (!reply)
            return {};
        return QImage(xcb_get_image_data(reply.get()), r.width(), r.height(), r.width() * 4, QImage::Format_RGB32).copy();
    }
    // Until the screen shows `expected` at `rect` (a window was mapped and painted).
    bool waitForPixels(QRect rect, const QImage &expected, int timeoutMs = 5000)
    {
        const QImage want = expected.convertToFormat(QImage::Format_RGB32);
        return pollUntil([&] { return rootImage(rect) == want; }, timeoutMs);
    }

    // XTEST input, as the user's devices would produce it.
    void movePointer(QPoint p) { fake(XCB_MOTION_NOTIFY, 0, m_screen->root, p); }
    void button(bool press, int button = 1) { fake(press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, uint8_t(button)); }
    void key(xcb_keycode_t code, bool press) { fake(press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code); }
    // The first key code that produces `keysym` in the server's keyboard map.
    xcb_keycode_t keyCode(std::uint32_t keysym)
    {
        const xcb_setup_t *setup = xcb_get_setup(m_c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        const auto map =
            owned(xcb_get_keyboard_mapping_reply(m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, uint8_t(count)), nullptr));
        if (!map)
            return 0;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map.get());
        const int total = count * map->keysyms_per_keycode;
        const int found = int(std::find(syms, syms + total, keysym) - syms);
        return found < total ? xcb_keycode_t(setup->min_keycode + found / map->keysyms_per_keycode) : 0;
    }

    // A passive grab of "another application" on this connection; true when the server granted it.
    bool grabKey(xcb_keycode_t code, std::uint16_t modifiers)
    {
        const auto error = owned(xcb_request_check(
            m_c, xcb_grab_key_checked(m_c, 1, m_screen->root, modifiers, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        return !error;
    }
    void ungrabKey(xcb_keycode_t code, std::uint16_t modifiers)
    {
        xcb_ungrab_key(m_c, code, m_screen->root, modifiers);
        sync();
    }

    // Keeps every top-level window's contents off screen (what a compositing manager does).
    void redirectWindows()
    {
        xcb_composite_redirect_subwindows(m_c, m_screen->root, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        sync();
    }

    // A window manager names a check window that names itself (a killed one leaves a stale name).
    bool hasWindowManager()
    {
        const auto check = windowProperty(m_screen->root, "_NET_SUPPORTING_WM_CHECK");
        return check && windowProperty(*check, "_NET_SUPPORTING_WM_CHECK") == check;
    }
    bool startWindowManager()
    {
        if (m_wm)
            return true;
        m_wm = std::make_unique<QProcess>();
        m_wm->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_wm->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        if (!m_wm->waitForStarted(5000) || !pollUntil([this] { return hasWindowManager(); }, 10000))
            return false;
        // openbox names itself before it manages windows, and a window mapped in between is
        // never managed: map probes until one is.
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            const xcb_window_t probe = createWindow(QRect(0, 0, 8, 8), QImage(8, 8, QImage::Format_RGB32));
            const bool managed = pollUntil([&] { return !property(probe, "WM_STATE").isEmpty(); }, 200);
            destroyWindow(probe);
            if (managed)
                return true;
        }
        return false;
    }
    void stopWindowManager()
    {
        if (!m_wm)
            return;
        m_wm->terminate();
        if (!m_wm->waitForFinished(5000))
            m_wm->kill();
        m_wm->waitForFinished(2000);
        m_wm.reset();
        // openbox leaves its check window's property behind when it is killed; it is stale then.
        xcb_delete_property(m_c, m_screen->root, atom("_NET_SUPPORTING_WM_CHECK"));
        xcb_delete_property(m_c, m_screen->root, atom("_NET_CLIENT_LIST_STACKING"));
        sync();
    }
    // The window manager's decoration sizes (left, right, top, bottom) once it has set them.
    std::array<std::uint32_t, 4> frameExtents(xcb_window_t window)
    {
        std::array<std::uint32_t, 4> extents{};
        QByteArray value;
        if (pollUntil([&] { return (value = property(window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4)).size() == 16; }))
            std::memcpy(extents.data(), value.constData(), 16);
        return extents;
    }

private:
    template <typename T>
    static std::unique_ptr<T, void (*)(void *)> owned(T *reply)
    {
        return {reply, std::free};
    }
    void fake(std::uint8_t type, std::uint8_t detail, xcb_window_t window = XCB_WINDOW_NONE, QPoint at = {})
    {
        xcb_test_fake_input(m_c, type, detail, XCB_CURRENT_TIME, window, int16_t(at.x()), int16_t(at.y()), 0);
        sync();
    }
    QByteArray property(xcb_window_t window, const char *name, xcb_atom_t type = XCB_GET_PROPERTY_TYPE_ANY, std::uint32_t longs = 16)
    {
        const auto reply = owned(xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, window, atom(name), type, 0, longs), nullptr));
        if (!reply)
            return {};
        return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), xcb_get_property_value_length(reply.get()));
    }
    std::optional<xcb_window_t> windowProperty(xcb_window_t window, const char *name)
    {
        const QByteArray value = property(window, name, XCB_ATOM_WINDOW, 1);
        std::optional<xcb_window_t> id;
        if (value.size() == 4)
            std::memcpy(&id.emplace(), value.constData(), 4);
        return id;
    }

    // Xvfb keeps the padding byte it is sent; clients drawing at depth 24 leave it 0, and so does
    // this one, so that captures see what they would see of real windows.
    static QImage withoutPadding(QImage image)
    {
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] &= 0x00ffffffu;
        }
        return image;
    }
    void putImage(xcb_drawable_t drawable, const QImage &image)
    {
        const xcb_gcontext_t gc = xcb_generate_id(m_c);
        xcb_create_gc(m_c, gc, drawable, 0, nullptr);
        // In bands of rows, below the core protocol's request size limit.
        const int rowsPerBand = std::max(1, 60000 / std::max(1, image.width()));
        for (int y = 0; y < image.height(); y += rowsPerBand) {
            const int rows = std::min(rowsPerBand, image.height() - y);
            xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, gc, uint16_t(image.width()), uint16_t(rows), 0, int16_t(y), 0,
                          m_screen->root_depth, uint32_t(image.width() * 4 * rows), image.constScanLine(y));
        }
        xcb_free_gc(m_c, gc);
    }

    xcb_connection_t *m_c = nullptr;
    xcb_screen_t *m_screen = nullptr;
    std::unique_ptr<QProcess> m_wm;
};

} // namespace TestSupport
