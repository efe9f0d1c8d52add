#pragma once
// A private X server for a benchmark (the tests' own), and a picture on its root window.

#include "Support/XvfbSession.h"
#include "support/ScreenshotLikeImage.h"

#include <xcb/xcb.h>

#include <QImage>
#include <QSize>

#include <cstdlib>

namespace BenchCapture {

using TestSupport::XvfbSession;

// Puts a screenshot-like picture of `size` on the root window of the session's display, so the
// server copies real content rather than a flat background.
inline void paintRoot(QSize size)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const QImage picture = BenchSupport::screenshotLikeImage(size.width(), size.height()).convertToFormat(QImage::Format_RGB32);
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, pixmap, screen->root, uint16_t(picture.width()), uint16_t(picture.height()));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    for (int y = 0; y < picture.height(); y += 8)
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(picture.width()), 8, 0, int16_t(y), 0, screen->root_depth,
                      uint32_t(picture.width() * 4 * 8), picture.constScanLine(y));
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

} // namespace BenchCapture
