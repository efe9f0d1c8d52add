#pragma once
// A picture's rows split into horizontal strips that are worked on at once, on the recognition
// workers (the calling thread takes part), and what joins the strips' work at their seams.
//
// Sets of linked pixels (connected pieces) are found strip by strip and joined across the seams
// afterwards, with the numbering one pass over the whole picture gives: each set's root is its
// smallest index (its first pixel in raster order), and sets are numbered in the order of their
// roots. What a strip tallies of a set that begins above it is kept apart (CarriedTallies) and
// added in the order of the strips.

#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TellumoCore/internal/UnionFind.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace Tellumo::detail {

// Sets of linked pixels, each member's entry pointing at its set's root.
struct StripSets {
    std::vector<int32_t> first;                // per strip: its first root's number; last: the count
    std::vector<std::vector<int32_t>> carried; // per strip: the roots above it of sets reaching into it, ascending
};

class PixelStrips final {
public:
    struct Strip {
        int top;
        int bottom; // past the last row
    };

    // `count` strips of about equal height (at least one, at most one a row).
    PixelStrips(int width, int height, int count);

    size_t count() const { return m_strips.size(); }
    const Strip &operator[](size_t strip) const { return m_strips[strip]; }
    // The indices of the strip's first pixel and past its last.
    size_t firstPixel(size_t strip) const { return size_t(m_strips[strip].top) * size_t(m_width); }
    size_t endPixel(size_t strip) const { return size_t(m_strips[strip].bottom) * size_t(m_width); }
    size_t stripOf(int32_t index) const;

    // body(strip) for every strip, at once, returning when all have returned.
    template <typename Body>
    void each(const Body &body) const;

    // Links the pixels of `parent` (a word a pixel) into sets. `linkStrip(strip)` gives each of the
    // strip's pixels its own index (or -1 for a pixel in no set) and links pixels within the strip
    // only, each set's root being its smallest index. Then, on one thread, `linkSeam(y, unite)`
    // links the pairs across the seam above row y. Last, every member's entry is pointed at its
    // set's root, and `onRoot(index, number)` is called for every root, numbering them in raster
    // order.
    template <typename LinkStrip, typename LinkSeam, typename OnRoot>
    StripSets link(int32_t *parent, const LinkStrip &linkStrip, const LinkSeam &linkSeam, const OnRoot &onRoot) const;

private:
    int m_width;
    std::vector<Strip> m_strips;
};

// What one strip tallies of the regions or glyphs that begin above it and reach into it, by their
// numbers (ascending): few, as each crosses the strip's top row.
template <typename Tally>
class CarriedTallies {
public:
    explicit CarriedTallies(std::vector<int32_t> ids) : m_ids(std::move(ids)), m_tallies(m_ids.size()) {}

    const std::vector<int32_t> &ids() const { return m_ids; }
    const std::vector<Tally> &tallies() const { return m_tallies; }
    int slot(int32_t id)
    {
        // Consecutive pixels mostly belong to the same one.
        if (id != m_lastId) {
            const auto found = std::lower_bound(m_ids.begin(), m_ids.end(), id);
            Q_ASSERT(found != m_ids.end() && *found == id);
            m_lastId = id;
            m_lastSlot = int(found - m_ids.begin());
        }
        return m_lastSlot;
    }
    Tally &operator[](int32_t id) { return m_tallies[size_t(slot(id))]; }

private:
    std::vector<int32_t> m_ids;
    std::vector<Tally> m_tallies;
    int32_t m_lastId = -1;
    int m_lastSlot = 0;
};

template <typename Body>
void PixelStrips::each(const Body &body) const
{
    if (m_strips.size() == 1)
        body(size_t(0));
    else
        runParallel(int(m_strips.size()), [&](int strip) { body(size_t(strip)); }, FreedMemory::keep);
}

template <typename LinkStrip, typename LinkSeam, typename OnRoot>
StripSets PixelStrips::link(int32_t *parent, const LinkStrip &linkStrip, const LinkSeam &linkSeam, const OnRoot &onRoot) const
{
    const size_t strips = m_strips.size();
    std::vector<int32_t> roots(strips, 0);
    StripSets sets{std::vector<int32_t>(strips + 1, 0), std::vector<std::vector<int32_t>>(strips)};
    each([&](size_t strip) {
        linkStrip(strip);
        // A member's link points at a smaller index, which by then points at its root.
        int32_t count = 0;
        for (size_t i = firstPixel(strip), end = endPixel(strip); i < end; ++i) {
            const int32_t link = parent[i];
            if (link == int32_t(i))
                ++count;
            else if (link >= 0)
                parent[i] = parent[size_t(link)];
        }
        roots[strip] = count;
    });
    if (strips > 1) {
        // A strip's root joined to a smaller one is the only member of its strip whose link leaves
        // its set's part in the strip.
        std::vector<std::vector<int32_t>> joined(strips);
        const auto unite = [&](int32_t i, int32_t j) {
            int32_t a = findRoot(parent, parent[size_t(i)]), b = findRoot(parent, parent[size_t(j)]);
            if (a == b)
                return;
            if (a > b)
                std::swap(a, b);
            parent[size_t(b)] = a;
            joined[stripOf(b)].push_back(b);
        };
        for (size_t strip = 1; strip < strips; ++strip)
            linkSeam(m_strips[strip].top, unite);
        for (size_t strip = 0; strip < strips; ++strip) {
            std::vector<int32_t> &carried = sets.carried[strip];
            for (const int32_t member : joined[strip]) {
                const int32_t root = findRoot(parent, member);
                parent[size_t(member)] = root;
                if (size_t(root) < firstPixel(strip))
                    carried.push_back(root);
            }
            std::sort(carried.begin(), carried.end());
            carried.erase(std::unique(carried.begin(), carried.end()), carried.end());
            roots[strip] -= int32_t(joined[strip].size());
        }
    }
    for (size_t strip = 0; strip < strips; ++strip)
        sets.first[strip + 1] = sets.first[strip] + roots[strip];
    // A link out of the strip is a joined root's, pointing at its set's root already; a link within
    // it points at the strip's root of the set, whose entry is final by then. No strip reads an
    // entry another strip writes.
    each([&](size_t strip) {
        const size_t begin = firstPixel(strip);
        int32_t number = sets.first[strip];
        for (size_t i = begin, end = endPixel(strip); i < end; ++i) {
            const int32_t link = parent[i];
            if (link == int32_t(i))
                onRoot(i, number++);
            else if (link >= 0 && size_t(link) >= begin)
                parent[i] = parent[size_t(link)];
        }
    });
    return sets;
}

} // namespace Tellumo::detail
