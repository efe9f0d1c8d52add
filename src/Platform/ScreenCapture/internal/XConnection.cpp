#include "Platform/ScreenCapture/internal/XConnection.h"

#include <xcb/composite.h>
#include <xcb/shm.h>

#include <QImage>

#include <bit>
#include <cstdlib>
#include <cstring>

namespace Platform::detail {

XConnection::XConnection()
{
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection))
        return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; it.rem; ++i, xcb_screen_next(&it))
        if (i == screenNumber) {
            m_screen = it.data;
            break;
        }

    xcb_prefetch_extension_data(m_connection, &xcb_shm_id);
    xcb_prefetch_extension_data(m_connection, &xcb_composite_id);
    if (const auto *shm = xcb_get_extension_data(m_connection, &xcb_shm_id); shm && shm->present) {
        auto *reply = xcb_shm_query_version_reply(m_connection, xcb_shm_query_version(m_connection), nullptr);
        m_hasShm = reply != nullptr;
        std::free(reply);
    }
    if (const auto *composite = xcb_get_extension_data(m_connection, &xcb_composite_id); composite && composite->present) {
        // NameWindowPixmap needs version 0.2.
        auto *reply = xcb_composite_query_version_reply(m_connection, xcb_composite_query_version(m_connection, 0, 4), nullptr);
        m_hasComposite = reply && (reply->major_version > 0 || reply->minor_version >= 2);
        std::free(reply);
    }
}

XConnection::~XConnection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t XConnection::atom(const char *name)
{
    std::lock_guard lock(m_atomsMutex);
    const QByteArray key(name);
    if (auto it = m_atoms.constFind(key); it != m_atoms.cend())
        return *it;
    auto *reply = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(key.size()), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    m_atoms.insert(key, value);
    return value;
}

XConnection::Format XConnection::formatForDepth(int depth, xcb_visualid_t visual) const
{
    Format format;
    format.depth = depth;
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    format.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == depth) {
            format.bitsPerPixel = it.data->bits_per_pixel;
            format.scanlinePad = it.data->scanline_pad;
        }
    if (!m_screen)
        return format;
    for (auto d = xcb_screen_allowed_depths_iterator(m_screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if ((visual && v.data->visual_id == visual) || (!visual && d.data->depth == depth)) {
                format.redMask = v.data->red_mask;
                format.greenMask = v.data->green_mask;
                format.blueMask = v.data->blue_mask;
                return format;
            }
    if (depth == 24 || depth == 32) {
        format.redMask = 0xff0000;
        format.greenMask = 0xff00;
        format.blueMask = 0xff;
    }
    return format;
}

void setOpaque(std::uint32_t *pixels, std::size_t count)
{
    // Blocks of a fixed count: at -O2 GCC 12 vectorises only loops whose trip count is a known
    // multiple of the vector width (a 4K screen is 33 MB, so this matters).
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8)
        for (std::size_t k = 0; k < 8; ++k)
            pixels[i + k] |= 0xff000000u;
    for (; i < count; ++i)
        pixels[i] |= 0xff000000u;
}

namespace {
int shiftOf(std::uint32_t mask)
{
    return mask ? std::countr_zero(mask) : 0;
}
int widthOf(std::uint32_t mask)
{
    return std::popcount(mask);
}
std::uint32_t expand(std::uint32_t value, std::uint32_t mask)
{
    const int bits = widthOf(mask);
    if (bits == 0)
        return 0;
    value = (value & mask) >> shiftOf(mask);
    if (bits >= 8)
        return value >> (bits - 8);
    return (value * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1);
}
} // namespace

QImage imageFromZPixmap(const uchar *data, int width, int height, int stride, const XConnection::Format &format, bool hasAlpha)
{
    const bool hostLsb = std::endian::native == std::endian::little;
    const bool standardLayout = format.bitsPerPixel == 32 && format.redMask == 0xff0000 && format.greenMask == 0xff00
                                && format.blueMask == 0xff && format.lsbFirst == hostLsb;
    if (standardLayout && hasAlpha)
        return QImage(data, width, height, stride, QImage::Format_ARGB32_Premultiplied).copy();
    if (standardLayout) {
        // Copied row by row with the padding byte set, which a depth-24 server leaves 0.
        QImage result(width, height, QImage::Format_RGB32);
        if (result.isNull())
            return {};
        for (int y = 0; y < height; ++y) {
            std::memcpy(result.scanLine(y), data + std::ptrdiff_t(y) * stride, std::size_t(width) * 4);
            setOpaque(reinterpret_cast<std::uint32_t *>(result.scanLine(y)), std::size_t(width));
        }
        return result;
    }
    QImage result(width, height, hasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const int bytes = format.bitsPerPixel / 8;
    if (bytes < 1 || bytes > 4)
        return {};
    for (int y = 0; y < height; ++y) {
        const uchar *row = data + std::ptrdiff_t(y) * stride;
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            const uchar *p = row + std::ptrdiff_t(x) * bytes;
            for (int b = 0; b < bytes; ++b)
                pixel |= std::uint32_t(p[format.lsbFirst ? b : bytes - 1 - b]) << (8 * b);
            const std::uint32_t alpha = hasAlpha ? (pixel >> 24) & 0xff : 0xff;
            out[x] = qRgba(int(expand(pixel, format.redMask)), int(expand(pixel, format.greenMask)),
                           int(expand(pixel, format.blueMask)), int(alpha));
        }
    }
    return result;
}

} // namespace Platform::detail
