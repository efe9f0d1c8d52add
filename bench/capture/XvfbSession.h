#pragma once
// A private X server for a benchmark: Xvfb at the size the measurement needs, started before
// the application object connects and stopped when the session ends.

#include "support/ScreenshotLikeImage.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace BenchCapture {

class XvfbSession final {
public:
    // Starts Xvfb with one screen of `size` at 24 bits and points $DISPLAY at it.
    explicit XvfbSession(QSize size)
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(pipeFds[0]);
            const std::string fd = std::to_string(pipeFds[1]);
            const std::string screen = std::to_string(size.width()) + "x" + std::to_string(size.height()) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        char buffer[32] = {};
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer - 1);
        close(pipeFds[0]);
        if (got <= 0)
            return;
        m_display = ":" + QByteArray(buffer).trimmed();
        setenv("DISPLAY", m_display.constData(), 1);
    }
    ~XvfbSession()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbSession(const XvfbSession &) = delete;
    XvfbSession &operator=(const XvfbSession &) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    QByteArray display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

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
