#pragma once
// Shared-memory segments for screen images, recycled.
//
// A frozen screen is read with xcb_shm_get_image straight into a segment, and the QImage the
// overlay draws wraps that segment without a copy: the image's cleanup hands the segment back.
// Reuse matters for speed: a fresh 33 MB segment costs the X server a page fault per 4 KiB page
// while it writes (more than the read itself at 3840 x 2160), a recycled one does not.
//
// Where the server has RENDER and shared pixmaps, a screen is composited from the root window
// into a 32-bit pixmap over the segment: the server writes opaque pixels in the same single
// copy (a depth-24 root read with GetImage leaves the padding byte 0, which Qt's RGB32 takes
// for alpha). Otherwise GetImage is asked for in strips and each strip is made opaque while
// the server copies the next.
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
    enum class Path { best, getImage };
    // `Path::getImage` skips the RENDER path (tests compare the two).
    explicit ShmImagePool(std::shared_ptr<XConnection> connection, Path path = Path::best);
    ~ShmImagePool();

    // Reads `rect` (root window pixels) of a 32-bit-per-pixel root. A null image when shared
    // memory is unavailable (a remote display) or the read fails; the caller falls back.
    QImage grab(const QRect &rect);
    // Makes sure a warm free segment is ready for each of `rects` (one per screen) for the
    // next grabs.
    void warm(const QList<QRect> &rects);
    // Gives the free segments back to the system, and every segment handed back from now on,
    // until the next `warm`: between captures the pool holds no memory (a resident application
    // should not keep a screen's worth of pixels for a capture that may never come; `warm`
    // makes the next one ready inside the settle delay anyway).
    void rest();

    bool isUsable() const { return m_usable; }
    bool composites() const { return m_render; }
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
    // Composites `rect` of the root window into the segment as opaque 32-bit pixels.
    bool composeInto(const Segment &segment, const QRect &rect);
    void setUpRender();
    static void releaseLease(void *lease);

    std::shared_ptr<XConnection> m_connection;
    mutable std::mutex m_mutex;
    std::vector<Segment> m_free;
    bool m_usable = true;
    bool m_resting = false;
    bool m_render = false;
    std::uint32_t m_argbFormat = 0;
    std::uint32_t m_rootPicture = 0;
};

} // namespace Platform::detail
