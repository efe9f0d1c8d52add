#pragma once
// Shared-memory segments for screen images, recycled.
//
// A frozen screen is read with xcb_shm_get_image straight into a segment, and the QImage the
// overlay draws wraps that segment without a copy: the image's cleanup hands the segment back.
// Reuse matters for speed: a fresh 33 MB segment costs the X server a page fault per 4 KiB page
// while it writes (more than the read itself at 3840 x 2160), a recycled one does not.
//
// Segments are marked for removal as soon as both sides have attached, so nothing outlives
// the process even when it crashes. Released images may come back on any thread.

#include "Platform/ScreenCapture/internal/XConnection.h"

#include <QImage>
#include <QList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Platform::detail {

class ShmImagePool final : public std::enable_shared_from_this<ShmImagePool> {
public:
    explicit ShmImagePool(std::shared_ptr<XConnection> connection);
    ~ShmImagePool();

    // Reads `rect` (root window pixels) of a 32-bit-per-pixel root. A null image when shared
    // memory is unavailable (a remote display) or the read fails; the caller falls back.
    QImage grab(const QRect &rect);
    // Makes sure a warm free segment is ready for each of `rects` (one per screen) for the
    // next grabs.
    void warm(const QList<QRect> &rects);

    bool isUsable() const { return m_usable; }
    std::size_t freeSegmentCount() const;

private:
    struct Segment {
        int shmid = -1;
        uchar *address = nullptr;
        std::size_t size = 0;
        std::uint32_t xid = 0;
    };
    struct Lease;

    // A free segment that fits, else a new one.
    std::optional<Segment> acquire(std::size_t bytes);
    std::optional<Segment> allocate(std::size_t bytes);
    void recycle(Segment segment);
    void destroy(const Segment &segment);
    // Copies `rect` of the root window into the segment. `stripDone(firstRow, rows)` runs for
    // each strip of rows as soon as the server has written it.
    bool readInto(const Segment &segment, const QRect &rect, const std::function<void(int, int)> &stripDone = {});
    static void releaseLease(void *lease);

    std::shared_ptr<XConnection> m_connection;
    mutable std::mutex m_mutex;
    std::vector<Segment> m_free;
    bool m_usable = true;
};

} // namespace Platform::detail
