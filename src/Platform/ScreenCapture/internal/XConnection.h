#pragma once
// The screen source's own connection to the X server.
//
// Own rather than Qt's: frozen screen images live in shared-memory segments attached to this
// connection, and an image may be released after the QGuiApplication (and with it Qt's
// connection) is gone, or on a worker thread that encodes a copy. The connection therefore
// lives as long as the last segment (shared ownership) and is only used through xcb, which is
// thread-safe.

#include <xcb/xcb.h>

#include <QByteArray>
#include <QHash>
#include <QImage>

#include <memory>
#include <mutex>

namespace Platform::detail {

class XConnection final {
public:
    // Connects to $DISPLAY; check isValid().
    XConnection();
    ~XConnection();
    XConnection(const XConnection &) = delete;
    XConnection &operator=(const XConnection &) = delete;

    bool isValid() const { return m_connection && !xcb_connection_has_error(m_connection) && m_screen; }
    xcb_connection_t *get() const { return m_connection; }
    xcb_screen_t *screen() const { return m_screen; }
    xcb_window_t root() const { return m_screen ? m_screen->root : xcb_window_t(XCB_WINDOW_NONE); }
    bool hasShm() const { return m_hasShm; }
    bool hasComposite() const { return m_hasComposite; }

    // Interned once per name; XCB_ATOM_NONE when the server refuses.
    xcb_atom_t atom(const char *name);

    // Pixel layout of the root window's depth.
    struct Format {
        int depth = 0;
        int bitsPerPixel = 0;
        int scanlinePad = 0;
        std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
        bool lsbFirst = true;
    };
    Format formatForDepth(int depth, xcb_visualid_t visual) const;
    Format rootFormat() const { return formatForDepth(m_screen ? m_screen->root_depth : 0, m_screen ? m_screen->root_visual : 0); }

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_screen_t *m_screen = nullptr;
    bool m_hasShm = false;
    bool m_hasComposite = false;
    std::mutex m_atomsMutex;
    QHash<QByteArray, xcb_atom_t> m_atoms;
};

// Sets the alpha byte of `count` host-order 32-bit pixels to 0xff.
void setOpaque(std::uint32_t *pixels, std::size_t count);

// Turns Z-pixmap data of a given format into a QImage (a copy). 32-bit BGRX/BGRA data in the
// host's byte order keeps its layout; other layouts go through the channel masks.
QImage imageFromZPixmap(const uchar *data, int width, int height, int stride, const XConnection::Format &format, bool hasAlpha);

} // namespace Platform::detail
