#include "Platform/ScreenCapture/internal/ShmImagePool.h"


#include <xcb/render.h>
#include <xcb/shm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace Platform::detail {

namespace {

// Recycled segments kept while no image uses them: two captures' worth of two screens.
constexpr std::size_t maxFreeSegments = 4;
} // namespace

struct ShmImagePool::Lease {
    std::shared_ptr<ShmImagePool> pool;
    Segment segment;
};

ShmImagePool::ShmImagePool(std::shared_ptr<XConnection> connection, Path path) : m_connection(std::move(connection))
{
    m_usable = m_connection && m_connection->isValid() && m_connection->hasShm();
    if (m_usable && path == Path::best)
        setUpRender();
}

ShmImagePool::~ShmImagePool()
{
    for (const Segment &segment : m_free)
        destroy(segment);
    if (m_render && m_connection->isValid()) {
        xcb_render_free_picture(m_connection->get(), m_rootPicture);
        xcb_flush(m_connection->get());
    }
}

void ShmImagePool::setUpRender()
{
    xcb_connection_t *c = m_connection->get();
    const xcb_setup_t *setup = xcb_get_setup(c);
    // The pixmap's bytes are laid out in the server's order; only ours can be wrapped as it is.
    if ((setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != (std::endian::native == std::endian::little))
        return;
    auto *shm = xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr);
    const bool sharedPixmaps = shm && shm->shared_pixmaps;
    std::free(shm);
    const xcb_query_extension_reply_t *render = xcb_get_extension_data(c, &xcb_render_id);
    if (!sharedPixmaps || !render || !render->present)
        return;
    auto *formats = xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr);
    if (!formats)
        return;
    std::uint32_t rootFormat = 0;
    for (auto it = xcb_render_query_pict_formats_formats_iterator(formats); it.rem; xcb_render_pictforminfo_next(&it)) {
        const xcb_render_directformat_t &d = it.data->direct;
        if (it.data->type == XCB_RENDER_PICT_TYPE_DIRECT && it.data->depth == 32 && d.alpha_shift == 24 && d.alpha_mask == 0xff
            && d.red_shift == 16 && d.red_mask == 0xff && d.green_shift == 8 && d.green_mask == 0xff && d.blue_shift == 0
            && d.blue_mask == 0xff)
            m_argbFormat = it.data->id;
    }
    const xcb_visualid_t rootVisual = xcb_setup_roots_iterator(setup).data->root_visual;
    for (auto screens = xcb_render_query_pict_formats_screens_iterator(formats); screens.rem; xcb_render_pictscreen_next(&screens))
        for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem; xcb_render_pictdepth_next(&depths))
            for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data); visuals.rem; xcb_render_pictvisual_next(&visuals))
                if (visuals.data->visual == rootVisual)
                    rootFormat = visuals.data->format;
    std::free(formats);
    if (!m_argbFormat || !rootFormat)
        return;
    // Include the windows on the root, as GetImage of the root does.
    const std::uint32_t subwindows = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    m_rootPicture = xcb_generate_id(c);
    xcb_generic_error_t *error = xcb_request_check(
        c, xcb_render_create_picture_checked(c, m_rootPicture, m_connection->root(), rootFormat, XCB_RENDER_CP_SUBWINDOW_MODE, &subwindows));
    m_render = !error;
    std::free(error);
}

bool ShmImagePool::composeInto(const Segment &segment, const QRect &rect)
{
    xcb_connection_t *c = m_connection->get();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const xcb_render_picture_t picture = xcb_generate_id(c);
    const auto created = xcb_shm_create_pixmap_checked(c, pixmap, m_connection->root(), std::uint16_t(rect.width()),
                                                       std::uint16_t(rect.height()), 32, segment.xid, 0);
    const auto wrapped = xcb_render_create_picture_checked(c, picture, pixmap, m_argbFormat, 0, nullptr);
    const auto copied = xcb_render_composite_checked(c, XCB_RENDER_PICT_OP_SRC, m_rootPicture, XCB_NONE, picture, std::int16_t(rect.x()),
                                                     std::int16_t(rect.y()), 0, 0, 0, 0, std::uint16_t(rect.width()),
                                                     std::uint16_t(rect.height()));
    xcb_render_free_picture(c, picture);
    xcb_free_pixmap(c, pixmap);
    bool ok = true;
    // The first check waits for the server to answer everything sent so far.
    for (const auto cookie : {created, wrapped, copied}) {
        if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
            ok = false;
            std::free(error);
        }
    }
    return ok;
}

std::size_t ShmImagePool::freeSegmentCount() const
{
    std::lock_guard lock(m_mutex);
    return m_free.size();
}

std::optional<ShmImagePool::Segment> ShmImagePool::acquire(std::size_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        // The smallest free segment that fits, so a small screen does not take a large one.
        auto best = m_free.end();
        for (auto it = m_free.begin(); it != m_free.end(); ++it)
            if (it->size >= bytes && (best == m_free.end() || it->size < best->size))
                best = it;
        if (best != m_free.end()) {
            Segment segment = *best;
            m_free.erase(best);
            return segment;
        }
    }
    return allocate(bytes);
}

std::optional<ShmImagePool::Segment> ShmImagePool::allocate(std::size_t bytes)
{
    if (!m_usable)
        return std::nullopt;

    Segment segment;
    segment.size = bytes;
    segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segment.shmid < 0) {
        m_usable = false;
        return std::nullopt;
    }
    void *address = shmat(segment.shmid, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        shmctl(segment.shmid, IPC_RMID, nullptr);
        m_usable = false;
        return std::nullopt;
    }
    segment.address = static_cast<uchar *>(address);
    xcb_connection_t *c = m_connection->get();
    segment.xid = xcb_generate_id(c);
    xcb_generic_error_t *error = xcb_request_check(c, xcb_shm_attach_checked(c, segment.xid, std::uint32_t(segment.shmid), 0));
    // Both sides are attached (or the server refused): the segment may now be marked for removal.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (error) {
        // A server on another machine, or one that cannot see our IPC namespace.
        std::free(error);
        shmdt(segment.address);
        m_usable = false;
        return std::nullopt;
    }
    return segment;
}

void ShmImagePool::recycle(Segment segment)
{
    std::lock_guard lock(m_mutex);
    if (m_resting) {
        destroy(segment);
        return;
    }
    if (m_free.size() >= maxFreeSegments) {
        destroy(m_free.front());
        m_free.erase(m_free.begin());
    }
    m_free.push_back(segment);
}

void ShmImagePool::destroy(const Segment &segment)
{
    xcb_connection_t *c = m_connection->get();
    if (m_connection->isValid()) {
        xcb_shm_detach(c, segment.xid);
        xcb_flush(c);
    }
    shmdt(segment.address);
}

bool ShmImagePool::readInto(const Segment &segment, const QRect &rect, const std::function<void(int, int)> &stripDone)
{
    // Asked for in strips, all requests sent at once: the server copies the next strip while we
    // finish the one it has written, so the work after the copy overlaps with it.
    xcb_connection_t *c = m_connection->get();
    const int strips = rect.height() >= 512 ? 16 : 1;
    const int rowsPerStrip = (rect.height() + strips - 1) / strips;
    const std::uint32_t stride = std::uint32_t(rect.width()) * 4;
    struct Strip {
        xcb_shm_get_image_cookie_t cookie;
        int firstRow;
        int rows;
    };
    std::vector<Strip> pending;
    for (int row = 0; row < rect.height(); row += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, rect.height() - row);
        pending.push_back({xcb_shm_get_image(c, m_connection->root(), std::int16_t(rect.x()), std::int16_t(rect.y() + row),
                                             std::uint16_t(rect.width()), std::uint16_t(rows), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                             segment.xid, std::uint32_t(row) * stride),
                           row, rows});
    }
    bool ok = true;
    for (const Strip &strip : pending) {
        xcb_generic_error_t *error = nullptr;
        auto *reply = xcb_shm_get_image_reply(c, strip.cookie, &error);
        ok = ok && reply && !error;
        std::free(reply);
        std::free(error);
        if (ok && stripDone)
            stripDone(strip.firstRow, strip.rows);
    }
    return ok;
}

QImage ShmImagePool::grab(const QRect &rect)
{
    if (!m_usable || rect.isEmpty())
        return {};
    const XConnection::Format format = m_connection->rootFormat();
    if (format.bitsPerPixel != 32)
        return {};
    const int stride = rect.width() * 4;
    const std::size_t bytes = std::size_t(stride) * std::size_t(rect.height());
    std::optional<Segment> segment = acquire(bytes);
    if (!segment)
        return {};
    const bool standard = format.redMask == 0xff0000 && format.greenMask == 0xff00 && format.blueMask == 0xff
                          && format.lsbFirst == (std::endian::native == std::endian::little);
    // A depth-24 server leaves the padding byte 0 where Qt's RGB32 expects 0xff: a painter that
    // copies RGB32 rows into an alpha format would make them transparent. Each strip is made
    // opaque while the server writes the next one.
    auto *pixels = reinterpret_cast<std::uint32_t *>(segment->address);
    const auto makeOpaque = [pixels, &rect](int firstRow, int rows) {
        setOpaque(pixels + std::size_t(firstRow) * std::size_t(rect.width()), std::size_t(rows) * std::size_t(rect.width()));
    };
    const bool composed = m_render && composeInto(*segment, rect);
    if (!composed && !readInto(*segment, rect, standard ? std::function<void(int, int)>(makeOpaque) : std::function<void(int, int)>())) {
        recycle(*segment);
        return {};
    }
    if (!composed && !standard) {
        QImage converted = imageFromZPixmap(segment->address, rect.width(), rect.height(), stride, format, false);
        recycle(*segment);
        return converted;
    }
    // The image reads the segment in place (const data: a write detaches into a private copy);
    // its last copy gives the segment back.
    auto *lease = new Lease{shared_from_this(), *segment};
    return QImage(static_cast<const uchar *>(segment->address), rect.width(), rect.height(), stride, QImage::Format_RGB32,
                  &ShmImagePool::releaseLease, lease);
}

void ShmImagePool::warm(const QList<QRect> &rects)
{
    if (!m_usable || m_connection->rootFormat().bitsPerPixel != 32)
        return;
    // One free segment per screen, matched as grabs take them (largest screen first, each the
    // smallest free segment that fits); a screen left without one gets a new segment.
    QList<QRect> ordered;
    for (const QRect &rect : rects)
        if (!rect.isEmpty())
            ordered.append(rect);
    const auto bytesOf = [](const QRect &rect) { return std::size_t(rect.width()) * 4 * std::size_t(rect.height()); };
    std::sort(ordered.begin(), ordered.end(), [&](const QRect &a, const QRect &b) { return bytesOf(a) > bytesOf(b); });
    QList<QRect> uncovered;
    {
        std::lock_guard lock(m_mutex);
        m_resting = false;
        std::vector<bool> taken(m_free.size(), false);
        for (const QRect &rect : std::as_const(ordered)) {
            std::optional<std::size_t> best;
            for (std::size_t i = 0; i < m_free.size(); ++i)
                if (!taken[i] && m_free[i].size >= bytesOf(rect) && (!best || m_free[i].size < m_free[*best].size))
                    best = i;
            if (best)
                taken[*best] = true;
            else
                uncovered.append(rect);
        }
    }
    std::vector<Segment> fresh;
    for (const QRect &rect : std::as_const(uncovered)) {
        std::optional<Segment> segment = allocate(bytesOf(rect));
        if (!segment)
            break;
        // One read through the segment faults in the server's pages; writing every pixel once
        // faults in ours, which the capture would otherwise pay for while it makes them opaque.
        if (!(m_render && composeInto(*segment, rect)))
            readInto(*segment, rect);
        setOpaque(reinterpret_cast<std::uint32_t *>(segment->address), segment->size / 4);
        fresh.push_back(*segment);
    }
    for (const Segment &segment : fresh)
        recycle(segment);
}

void ShmImagePool::rest()
{
    std::lock_guard lock(m_mutex);
    m_resting = true;
    for (const Segment &segment : m_free)
        destroy(segment);
    m_free.clear();
}

void ShmImagePool::releaseLease(void *info)
{
    auto *lease = static_cast<Lease *>(info);
    lease->pool->recycle(lease->segment);
    delete lease;
}

} // namespace Platform::detail
