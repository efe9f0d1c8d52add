#include "TellumoCore/internal/InkSegmentation.h"

#include "TellumoCore/internal/PixelStrips.h"
#include "TellumoCore/internal/RecognitionWorkers.h"
#include "TellumoCore/internal/UnionFind.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace Tellumo::detail {

namespace {

// Neighbouring pixels closer than this (in every channel) belong to one background region: wide
// enough for gradients and dithering, narrow enough that antialiased text edges stand apart.
constexpr int kSimilarity = 3;
// A background region holds a square of this side; text strokes are thinner (up to about 60
// pixels a character; the recogniser scales larger text down first).
constexpr int kSolidSide = 7;
// Regions this large are backgrounds whatever surrounds them.
constexpr qint64 kPanePixels = 4000;
// Squares are counted up to this side: more than the threshold, and more than a region smaller
// than a pane can hold, whose largest square is kept.
constexpr int kSquareCap = 64;
static_assert(kSquareCap > kSolidSide && kSquareCap * kSquareCap >= kPanePixels);
// A picture is split into strips of at least this many pixels: a thread for fewer costs more than
// it saves.
constexpr size_t kPixelsPerStrip = 100000;
// A glyph holding a solid patch of its own colour this large beside its height is a shape (an
// avatar, a dot of colour), not a character: strokes are thin beside a character's height.
constexpr double kMaxStrokeShare = 0.4;
// What cannot be text, in pixels of the analysed image.
constexpr int kMaxGlyphHeight = 120;
constexpr int kMinContrast = 40;
// The share of a glyph's surrounding that may lie on another background before it counts as
// the edge between two backgrounds.
constexpr float kMaxForeignSurrounding = 0.3f;

int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

struct GlyphTally {
    qint64 red = 0, green = 0, blue = 0;
    int surrounding = 0;
    int foreign = 0;
    int farthest = -1;
    QRgb ink = 0; // the first pixel that far
    int solidSquare = 0; // the largest patch of a colour other than the background inside it
    int topEdge = 0, bottomEdge = 0; // its pixels in the two rows at the top and at the bottom of its box
    int innerMiddle = 0; // its pixels on its box's middle row, away from the two sides
    std::array<std::pair<int, int>, 4> votes{}; // region, count
};

// The outline of a text field, an outlined button or a tag: a ring of ink, much wider than tall,
// whose top and bottom edges run most of its width and whose inside is empty. Text is never one
// such piece (an underline joined to the letters above it runs along the bottom only; bold
// Chinese characters that touch have strokes inside; small serif letters that touch, flat at
// top and bottom, cross the middle row), and a frame taken for a glyph would draw the text
// inside it into one line with itself.
bool isFrame(const Glyph &glyph, const GlyphTally &tally)
{
    const QRect &box = glyph.box;
    return box.width() >= 3 * box.height() && box.height() >= 8 && 10 * tally.topEdge >= 6 * box.width() &&
           10 * tally.bottomEdge >= 6 * box.width() && 10 * glyph.pixels <= 13 * (tally.topEdge + tally.bottomEdge) + 60 * box.height() &&
           tally.innerMiddle == 0;
}

// The box grown to hold pixel (x, y), as `box |= QRect(x, y, 1, 1)` does for a valid box, without
// a call into Qt for every pixel.
inline void include(QRect &box, int x, int y)
{
    if (x < box.left())
        box.setLeft(x);
    else if (x > box.right())
        box.setRight(x);
    if (y < box.top())
        box.setTop(y);
    else if (y > box.bottom())
        box.setBottom(y);
}

// Bounds and size grown pixel by pixel from nothing.
struct Extent {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    qint64 pixels = 0;

    void include(int x, int y)
    {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        ++pixels;
    }
    void add(const Extent &other)
    {
        left = std::min(left, other.left);
        right = std::max(right, other.right);
        top = std::min(top, other.top);
        bottom = std::max(bottom, other.bottom);
        pixels += other.pixels;
    }
    // Pixels first to last of row y.
    void includeRun(int first, int last, int y)
    {
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        pixels += last - first + 1;
    }
    QRect box() const { return QRect(QPoint(left, top), QPoint(right, bottom)); }
};

// A region that holds a solid square: its bounds, colour, and what its edge touches.
struct CandidateTally : Extent {
    qint64 red = 0, green = 0, blue = 0;
    qint64 touchesInk = 0, touchesBackground = 0;
    int32_t firstPiece = -1; // of ink it touches
    bool severalPieces = false;

    void touchPiece(int32_t piece)
    {
        if (firstPiece < 0)
            firstPiece = piece;
        else if (piece != firstPiece)
            severalPieces = true;
    }
    void add(const CandidateTally &other)
    {
        Extent::add(other);
        red += other.red;
        green += other.green;
        blue += other.blue;
        touchesInk += other.touchesInk;
        touchesBackground += other.touchesBackground;
        if (other.firstPiece >= 0)
            touchPiece(other.firstPiece);
        severalPieces = severalPieces || other.severalPieces;
    }
};

// The largest of what several strips count for one region.
void raiseTo(uint8_t &shared, uint8_t value)
{
    std::atomic_ref<uint8_t> slot(shared);
    uint8_t seen = slot.load(std::memory_order_relaxed);
    while (seen < value && !slot.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

void vote(GlyphTally &tally, int region)
{
    for (auto &slot : tally.votes) {
        if (slot.second > 0 && slot.first == region) {
            ++slot.second;
            return;
        }
    }
    auto weakest = std::min_element(tally.votes.begin(), tally.votes.end(), [](auto &a, auto &b) { return a.second < b.second; });
    if (weakest->second == 0)
        *weakest = {region, 1};
}

// Adds to what a glyph's scan met around it what a later part of the scan met; false when the
// votes cannot be told so: the later part met four other regions before one the glyph has a vote
// for.
bool addAround(GlyphTally &tally, const GlyphTally &later)
{
    tally.red += later.red;
    tally.green += later.green;
    tally.blue += later.blue;
    tally.surrounding += later.surrounding;
    const bool laterFull = later.votes.back().second > 0;
    bool known = true;
    for (auto &slot : tally.votes) {
        if (slot.second == 0)
            continue;
        const auto found = std::find_if(later.votes.begin(), later.votes.end(), [&](auto &other) { return other.second > 0 && other.first == slot.first; });
        if (found != later.votes.end())
            slot.second += found->second;
        else if (laterFull)
            known = false;
    }
    for (const auto &other : later.votes) {
        if (other.second == 0)
            break;
        if (std::any_of(tally.votes.begin(), tally.votes.end(), [&](auto &slot) { return slot.second > 0 && slot.first == other.first; }))
            continue;
        const auto free = std::find_if(tally.votes.begin(), tally.votes.end(), [](auto &slot) { return slot.second == 0; });
        if (free == tally.votes.end())
            break;
        *free = other;
    }
    return known;
}

// Adds to what a glyph's scan met inside it what a later part of the scan met.
void addInside(GlyphTally &tally, const GlyphTally &later)
{
    if (later.farthest > tally.farthest) {
        tally.farthest = later.farthest;
        tally.ink = later.ink;
    }
    tally.topEdge += later.topEdge;
    tally.bottomEdge += later.bottomEdge;
    tally.innerMiddle += later.innerMiddle;
    tally.solidSquare = std::max(tally.solidSquare, later.solidSquare);
    tally.foreign += later.foreign;
}

} // namespace

InkSegmentation::InkSegmentation(const QImage &image, int strips)
    : m_image(image), m_bits(m_image.constBits()), m_stride(m_image.bytesPerLine()), m_width(image.width()), m_height(image.height())
{
    const size_t count = size_t(m_width) * size_t(m_height);
    if (strips <= 0)
        strips = count < size_t(kPixelsPerStrip) ? 1 : int(std::min<size_t>(size_t(recognitionPool().maxThreadCount()), count / size_t(kPixelsPerStrip)));
    m_strips = PixelStrips(m_width, m_height, strips);
    // Left unset: each strip's thread writes its pixels' entries first, which spreads the cost of
    // the memory's first touch over the threads too.
    m_regionOf.reset(new int32_t[count]);
    std::unique_ptr<int32_t[]> parent(new int32_t[count]);
    labelRegions(parent.get());
    labelGlyphs(parent.get());
    // The sets' links have become the glyph labels.
    m_glyphOf = std::move(parent);
    measureGlyphs();
    // Only the analysis needs the regions pixel by pixel: a word a pixel less for the lines.
    m_regionOf.reset();
}

float InkSegmentation::inkStrength(QRgb pixel, const Glyph &glyph)
{
    const float dr = float(qRed(glyph.ink) - qRed(glyph.background)), dg = float(qGreen(glyph.ink) - qGreen(glyph.background)),
                db = float(qBlue(glyph.ink) - qBlue(glyph.background));
    const float length = dr * dr + dg * dg + db * db;
    if (length <= 0)
        return 0;
    const float pr = float(qRed(pixel) - qRed(glyph.background)), pg = float(qGreen(pixel) - qGreen(glyph.background)),
                pb = float(qBlue(pixel) - qBlue(glyph.background));
    return std::clamp((pr * dr + pg * dg + pb * db) / length, 0.0f, 1.0f);
}

void InkSegmentation::labelRegions(int32_t *parent)
{
    const int w = m_width, h = m_height;
    const size_t strips = m_strips.count();
    // Neighbours within the tolerance, numbered in the order of the regions' first pixels.
    const StripSets regionSets = m_strips.link(
        parent,
        [&](size_t strip) {
            // Per pixel of the row above: whether it is linked to its left neighbour. A pixel
            // linked left and up whose left neighbour is linked up too is in that set already.
            std::vector<uint8_t> linkedLeft(size_t(w), 0);
            for (int y = m_strips[strip].top; y < m_strips[strip].bottom; ++y) {
                const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
                const auto *above = y > m_strips[strip].top ? reinterpret_cast<const QRgb *>(m_image.constScanLine(y - 1)) : nullptr;
                const int32_t base = int32_t(y) * w;
                int32_t root = base; // of the set of the pixel on the left
                bool leftLinkedUp = false;
                for (int x = 0; x < w; ++x) {
                    const int32_t i = base + x;
                    const bool left = x > 0 && channelDistance(row[x], row[x - 1]) <= kSimilarity;
                    if (left) {
                        parent[size_t(i)] = root;
                    } else {
                        parent[size_t(i)] = i;
                        root = i;
                    }
                    const bool up = above && channelDistance(row[x], above[x]) <= kSimilarity;
                    if (up && !(left && leftLinkedUp && linkedLeft[size_t(x)])) {
                        const int32_t upper = findRoot(parent, i - w);
                        if (upper < root) {
                            parent[size_t(root)] = upper;
                            root = upper;
                        } else if (upper > root) {
                            parent[size_t(upper)] = root;
                        }
                    }
                    linkedLeft[size_t(x)] = left;
                    leftLinkedUp = up;
                }
            }
        },
        [&](int y, const auto &unite) {
            const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
            const auto *above = reinterpret_cast<const QRgb *>(m_image.constScanLine(y - 1));
            for (int x = 0; x < w; ++x)
                if (channelDistance(row[x], above[x]) <= kSimilarity)
                    unite(y * w + x, (y - 1) * w + x);
        },
        [&](size_t i, int32_t number) { m_regionOf[i] = number; });
    const std::vector<int32_t> &firstRegion = regionSets.first;
    const int32_t regionCount = firstRegion[strips];

    // The largest square each region holds, up to kSquareCap: the side of the square of equal
    // labels that ends at a pixel is one more than the smallest of its left, upper and upper-left
    // neighbours'. A strip starts counting kSquareCap - 1 rows above its top, which gives its own
    // rows their full count. Meanwhile every pixel gets its region's number.
    std::vector<uint8_t> largestSquare(size_t(regionCount), 0);
    m_strips.each([&](size_t strip) {
        const int top = m_strips[strip].top, from = std::max(0, top - (kSquareCap - 1));
        std::vector<uint8_t> above(size_t(w), 0), current(size_t(w), 0);
        for (int y = from; y < m_strips[strip].bottom; ++y) {
            const int32_t *roots = parent + size_t(y) * size_t(w);
            for (int x = 0; x < w; ++x) {
                uint8_t side = 1;
                if (x > 0 && y > from && roots[x] == roots[x - 1] && roots[x] == roots[x - w] && roots[x] == roots[x - w - 1])
                    side = uint8_t(std::min<int>({current[size_t(x - 1)], above[size_t(x)], above[size_t(x - 1)], kSquareCap - 1}) + 1);
                current[size_t(x)] = side;
            }
            if (y >= top) {
                // Run by run of one region. A root's entry, which other strips read, holds its
                // number already and is left alone.
                int32_t *labels = m_regionOf.get() + size_t(y) * size_t(w);
                const int32_t base = int32_t(y) * w;
                for (int x = 0, end = 0; x < w; x = end) {
                    const int32_t root = roots[x];
                    uint8_t largest = current[size_t(x)];
                    for (end = x + 1; end < w && roots[end] == root; ++end)
                        largest = std::max(largest, current[size_t(end)]);
                    const int32_t label = m_regionOf[size_t(root)];
                    std::fill(labels + x + (root == base + x ? 1 : 0), labels + end, label);
                    raiseTo(largestSquare[size_t(label)], largest);
                }
            }
            std::swap(above, current);
        }
    });

    // The regions that hold a solid square, numbered in the same order.
    std::vector<int32_t> candidate(size_t(regionCount), -1);
    std::vector<CandidateTally> candidates;
    for (int32_t region = 0; region < regionCount; ++region) {
        if (largestSquare[size_t(region)] >= kSolidSide) {
            candidate[size_t(region)] = int32_t(candidates.size());
            candidates.emplace_back();
        }
    }
    // The candidates that begin above a strip and reach into it.
    std::vector<CarriedTallies<CandidateTally>> carried;
    for (size_t strip = 0; strip < strips; ++strip) {
        std::vector<int32_t> ids;
        for (const int32_t root : regionSets.carried[strip])
            if (const int32_t index = candidate[size_t(m_regionOf[size_t(root)])]; index >= 0)
                ids.push_back(index);
        carried.emplace_back(std::move(ids));
    }

    // The pieces of ink each candidate touches, with every candidate taken for background.
    linkInk(parent, [&](size_t i) { return candidate[size_t(m_regionOf[i])] < 0; });

    // Each candidate's bounds, colour and what its edge touches: the strip where it begins tallies
    // it, a strip it reaches into keeps its share apart.
    m_strips.each([&](size_t strip) {
        CarriedTallies<CandidateTally> &share = carried[strip];
        const int32_t firstOwn = firstRegion[strip], lastOwn = firstRegion[strip + 1];
        // Beyond the picture's edge lies more of the screen: a background.
        constexpr int32_t outside = -1;
        for (int y = m_strips[strip].top; y < m_strips[strip].bottom; ++y) {
            const int32_t *labels = m_regionOf.get() + size_t(y) * size_t(w);
            const int32_t *above = y > 0 ? labels - w : nullptr, *below = y + 1 < h ? labels + w : nullptr;
            const int32_t *pieces = parent + size_t(y) * size_t(w);
            const int32_t *piecesAbove = y > 0 ? pieces - w : nullptr, *piecesBelow = y + 1 < h ? pieces + w : nullptr;
            const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
            // Run by run of one region: within a run, left and right neighbours are the region.
            for (int x = 0, end = 0; x < w; x = end) {
                const int32_t region = labels[x];
                for (end = x + 1; end < w && labels[end] == region;)
                    ++end;
                const int32_t index = candidate[size_t(region)];
                if (index < 0)
                    continue;
                CandidateTally &c = region >= firstOwn && region < lastOwn ? candidates[size_t(index)] : share[index];
                const auto touch = [&](int32_t neighbour) {
                    if (neighbour != region)
                        ++(neighbour == outside || candidate[size_t(neighbour)] >= 0 ? c.touchesBackground : c.touchesInk);
                };
                c.includeRun(x, end - 1, y);
                touch(x > 0 ? labels[x - 1] : outside);
                touch(end < w ? labels[end] : outside);
                if (x > 0 && pieces[x - 1] >= 0)
                    c.touchPiece(pieces[x - 1]);
                if (end < w && pieces[end] >= 0)
                    c.touchPiece(pieces[end]);
                qint64 red = 0, green = 0, blue = 0;
                for (int k = x; k < end; ++k) {
                    red += qRed(row[k]);
                    green += qGreen(row[k]);
                    blue += qBlue(row[k]);
                    touch(above ? above[k] : outside);
                    touch(below ? below[k] : outside);
                    if (piecesAbove && piecesAbove[k] >= 0)
                        c.touchPiece(piecesAbove[k]);
                    if (piecesBelow && piecesBelow[k] >= 0)
                        c.touchPiece(piecesBelow[k]);
                }
                c.red += red;
                c.green += green;
                c.blue += blue;
            }
        }
    });
    for (size_t strip = 1; strip < strips; ++strip)
        for (size_t slot = 0; slot < carried[strip].ids().size(); ++slot)
            candidates[size_t(carried[strip].ids()[slot])].add(carried[strip].tallies()[slot]);

    // Panes, bars and buttons meet other backgrounds somewhere along their straight sharp edges,
    // or are large, or hold words (several pieces of ink) inside a rounded outline. The inside of
    // a round shape or of a character's loop is small and antialiased all around one piece of
    // ink: it is ink.
    std::vector<int32_t> finalIndex(candidates.size(), -1);
    for (size_t index = 0; index < candidates.size(); ++index) {
        const CandidateTally &c = candidates[index];
        const bool enclosed = c.touchesInk > 0 && c.touchesBackground * 10 < c.touchesInk + c.touchesBackground;
        if (enclosed && c.pixels < kPanePixels && !c.severalPieces) {
            finalIndex[index] = -2 - int32_t(m_enclosed.size());
            const qint64 n = std::max<qint64>(1, c.pixels);
            m_enclosed.push_back({qRgb(int(c.red / n), int(c.green / n), int(c.blue / n)), 0});
        } else {
            finalIndex[index] = int32_t(m_regions.size());
            m_regions.push_back({c.box(), c.pixels});
        }
    }
    for (int32_t region = 0; region < regionCount; ++region) {
        const int32_t index = candidate[size_t(region)];
        if (index >= 0 && finalIndex[size_t(index)] <= -2)
            m_enclosed[size_t(-2 - finalIndex[size_t(index)])].largestSquare = largestSquare[size_t(region)];
    }
    m_strips.each([&](size_t strip) {
        for (size_t i = m_strips.firstPixel(strip), end = m_strips.endPixel(strip); i < end; ++i) {
            const int32_t index = candidate[size_t(m_regionOf[i])];
            m_regionOf[i] = index < 0 ? -1 : finalIndex[size_t(index)];
        }
    });
}

template <typename IsInk>
StripSets InkSegmentation::linkInk(int32_t *parent, const IsInk &isInk) const
{
    const int w = m_width;
    return m_strips.link(
        parent,
        [&](size_t strip) {
            const int top = m_strips[strip].top;
            for (int y = top; y < m_strips[strip].bottom; ++y) {
                const int32_t base = int32_t(y) * w;
                for (int x = 0; x < w; ++x) {
                    const int32_t i = base + x;
                    if (!isInk(size_t(i))) {
                        parent[size_t(i)] = -1;
                        continue;
                    }
                    parent[size_t(i)] = i;
                    if (x > 0 && parent[size_t(i - 1)] >= 0)
                        uniteSets(parent, i, i - 1);
                    if (y > top) {
                        for (int dx = -1; dx <= 1; ++dx) {
                            const int nx = x + dx;
                            if (nx >= 0 && nx < w && parent[size_t(i - w + dx)] >= 0)
                                uniteSets(parent, i, i - w + dx);
                        }
                    }
                }
            }
        },
        [&](int y, const auto &unite) {
            const int32_t base = int32_t(y) * w;
            for (int x = 0; x < w; ++x) {
                const int32_t i = base + x;
                if (parent[size_t(i)] < 0)
                    continue;
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    if (nx >= 0 && nx < w && parent[size_t(i - w + dx)] >= 0)
                        unite(i, i - w + dx);
                }
            }
        },
        [](size_t, int32_t) {});
}

void InkSegmentation::labelGlyphs(int32_t *parent)
{
    const int w = m_width;
    const size_t strips = m_strips.count();
    const StripSets sets = linkInk(parent, [&](size_t i) { return m_regionOf[i] < 0; });
    const std::vector<int32_t> &firstGlyph = sets.first;
    m_glyphs.resize(size_t(firstGlyph[strips]));
    // Every pixel's link replaced by its glyph's number, in raster order, so that a root's entry
    // holds the number by the time its members read it; a glyph that begins above the strip is
    // counted apart and its pixels hold -2 - its place among them until every strip is numbered.
    std::vector<CarriedTallies<Extent>> carried;
    for (size_t strip = 0; strip < strips; ++strip)
        carried.emplace_back(sets.carried[strip]);
    std::vector<int> lastCarriedRow(strips, -1);
    m_strips.each([&](size_t strip) {
        const int32_t begin = int32_t(m_strips.firstPixel(strip));
        int32_t next = firstGlyph[strip];
        CarriedTallies<Extent> &share = carried[strip];
        for (int y = m_strips[strip].top; y < m_strips[strip].bottom; ++y) {
            const int32_t base = int32_t(y) * w;
            for (int x = 0; x < w; ++x) {
                const int32_t i = base + x;
                const int32_t link = parent[size_t(i)];
                if (link < 0)
                    continue;
                if (link >= begin) {
                    if (link == i) {
                        parent[size_t(i)] = next;
                        m_glyphs[size_t(next++)] = {QRect(x, y, 1, 1), 0};
                    } else {
                        parent[size_t(i)] = parent[size_t(link)];
                    }
                    Glyph &glyph = m_glyphs[size_t(parent[size_t(i)])];
                    include(glyph.box, x, y);
                    ++glyph.pixels;
                } else {
                    parent[size_t(i)] = -2 - share.slot(link);
                    share[link].include(x, y);
                    lastCarriedRow[strip] = y;
                }
            }
        }
    });
    // A root's entry holds its glyph's number now.
    m_firstGlyph = firstGlyph;
    m_carriedGlyphs.assign(strips, {});
    for (size_t strip = 1; strip < strips; ++strip) {
        const CarriedTallies<Extent> &share = carried[strip];
        for (size_t slot = 0; slot < share.ids().size(); ++slot) {
            const int32_t number = parent[size_t(share.ids()[slot])];
            m_carriedGlyphs[strip].push_back(number);
            Glyph &glyph = m_glyphs[size_t(number)];
            glyph.box |= share.tallies()[slot].box();
            glyph.pixels += int(share.tallies()[slot].pixels);
        }
    }
    if (strips > 1) {
        m_strips.each([&](size_t strip) {
            const std::vector<int32_t> &glyphOfSlot = m_carriedGlyphs[strip];
            if (glyphOfSlot.empty())
                return;
            for (size_t i = m_strips.firstPixel(strip), end = size_t(lastCarriedRow[strip] + 1) * size_t(w); i < end; ++i)
                if (parent[i] <= -2)
                    parent[i] = glyphOfSlot[size_t(-2 - parent[i])];
        });
    }
}

void InkSegmentation::measureGlyphs()
{
    const int w = m_width, h = m_height;
    const size_t strips = m_strips.count();
    std::vector<GlyphTally> tallies(m_glyphs.size());
    static constexpr int dx[] = {-1, 1, 0, 0}, dy[] = {0, 0, -1, 1};
    // The strip where a glyph begins tallies it, in raster order as everything here; a strip it
    // reaches into tallies its share apart, added afterwards in the order of the strips.
    const auto eachGlyphPixel = [&](const auto &tallyPixel) {
        std::vector<CarriedTallies<GlyphTally>> carried;
        for (size_t strip = 0; strip < strips; ++strip)
            carried.emplace_back(m_carriedGlyphs[strip]);
        m_strips.each([&](size_t strip) {
            const int firstOwn = m_firstGlyph[strip];
            CarriedTallies<GlyphTally> &share = carried[strip];
            for (int y = m_strips[strip].top; y < m_strips[strip].bottom; ++y) {
                const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
                for (int x = 0; x < w; ++x) {
                    const int glyph = glyphAt(x, y);
                    if (glyph >= 0)
                        tallyPixel(glyph >= firstOwn ? tallies[size_t(glyph)] : share[glyph], glyph, x, y, row[x]);
                }
            }
        });
        return carried;
    };

    // The background around each glyph: its mean colour and the region touched most.
    const std::vector<CarriedTallies<GlyphTally>> around = eachGlyphPixel([&](GlyphTally &tally, int, int x, int y, QRgb) {
        for (int k = 0; k < 4; ++k) {
            const int nx = x + dx[k], ny = y + dy[k];
            if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                continue;
            const int region = regionAt(nx, ny);
            if (region < 0)
                continue;
            const QRgb c = pixel(nx, ny);
            tally.red += qRed(c);
            tally.green += qGreen(c);
            tally.blue += qBlue(c);
            ++tally.surrounding;
            vote(tally, region);
        }
    });
    std::vector<int> recount;
    for (size_t strip = 1; strip < strips; ++strip) {
        for (size_t slot = 0; slot < around[strip].ids().size(); ++slot) {
            const int glyph = around[strip].ids()[slot];
            if (!addAround(tallies[size_t(glyph)], around[strip].tallies()[slot]))
                recount.push_back(glyph);
        }
    }
    // A glyph whose strips cannot tell its votes still has the right regions (the first four its
    // scan meets): their votes are counted again, strip by strip.
    std::sort(recount.begin(), recount.end());
    recount.erase(std::unique(recount.begin(), recount.end()), recount.end());
    if (!recount.empty()) {
        using Counts = std::array<int, 4>;
        std::vector<uint8_t> counted(m_glyphs.size(), 0);
        int top = h, bottom = -1;
        for (const int glyph : recount) {
            counted[size_t(glyph)] = 1;
            top = std::min(top, m_glyphs[size_t(glyph)].box.top());
            bottom = std::max(bottom, m_glyphs[size_t(glyph)].box.bottom());
        }
        std::vector<CarriedTallies<Counts>> counts;
        for (size_t strip = 0; strip < strips; ++strip)
            counts.emplace_back(std::vector<int32_t>(recount.begin(), recount.end()));
        m_strips.each([&](size_t strip) {
            for (int y = std::max(top, m_strips[strip].top), end = std::min(bottom + 1, m_strips[strip].bottom); y < end; ++y) {
                for (int x = 0; x < w; ++x) {
                    const int glyph = glyphAt(x, y);
                    if (glyph < 0 || !counted[size_t(glyph)])
                        continue;
                    const auto &votes = tallies[size_t(glyph)].votes;
                    Counts &count = counts[strip][glyph];
                    for (int k = 0; k < 4; ++k) {
                        const int nx = x + dx[k], ny = y + dy[k];
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                            continue;
                        if (const int region = regionAt(nx, ny); region >= 0)
                            for (size_t slot = 0; slot < votes.size(); ++slot)
                                if (votes[slot].second > 0 && votes[slot].first == region)
                                    ++count[slot];
                    }
                }
            }
        });
        for (size_t index = 0; index < recount.size(); ++index) {
            auto &votes = tallies[size_t(recount[index])].votes;
            for (size_t slot = 0; slot < votes.size(); ++slot) {
                if (votes[slot].second == 0)
                    continue;
                votes[slot].second = 0;
                for (const CarriedTallies<Counts> &strip : counts)
                    votes[slot].second += strip.tallies()[index][slot];
            }
        }
    }
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        const GlyphTally &tally = tallies[i];
        Glyph &glyph = m_glyphs[i];
        if (tally.surrounding == 0) {
            glyph.dropped = true; // ink inside ink: a photo or a pattern
            continue;
        }
        glyph.background = qRgb(int(tally.red / tally.surrounding), int(tally.green / tally.surrounding), int(tally.blue / tally.surrounding));
        glyph.region = std::max_element(tally.votes.begin(), tally.votes.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
    }

    // Its ink colour, and how much of its surrounding lies on a different background.
    const std::vector<CarriedTallies<GlyphTally>> inside = eachGlyphPixel([&](GlyphTally &tally, int index, int x, int y, QRgb colour) {
        const Glyph &glyph = m_glyphs[size_t(index)];
        if (glyph.dropped)
            return;
        const int distance = channelDistance(colour, glyph.background);
        if (distance > tally.farthest) {
            tally.farthest = distance;
            tally.ink = colour;
        }
        tally.topEdge += y <= glyph.box.top() + 1;
        tally.bottomEdge += y >= glyph.box.bottom() - 1;
        const int side = std::max(3, glyph.box.height() / 4); // a frame's side, rounded corners included
        tally.innerMiddle += y == glyph.box.center().y() && x >= glyph.box.left() + side && x <= glyph.box.right() - side;
        if (const int32_t label = m_regionOf[size_t(y) * size_t(w) + size_t(x)]; label <= -2) {
            const EnclosedPatch &patch = m_enclosed[size_t(-2 - label)];
            if (channelDistance(patch.colour, glyph.background) > kMinContrast)
                tally.solidSquare = std::max(tally.solidSquare, patch.largestSquare);
        }
        for (int k = 0; k < 4; ++k) {
            const int nx = x + dx[k], ny = y + dy[k];
            if (nx >= 0 && ny >= 0 && nx < w && ny < h && regionAt(nx, ny) >= 0 && channelDistance(pixel(nx, ny), glyph.background) > kMinContrast)
                ++tally.foreign;
        }
    });
    for (size_t strip = 1; strip < strips; ++strip)
        for (size_t slot = 0; slot < inside[strip].ids().size(); ++slot)
            addInside(tallies[size_t(inside[strip].ids()[slot])], inside[strip].tallies()[slot]);
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        Glyph &glyph = m_glyphs[i];
        const GlyphTally &tally = tallies[i];
        if (glyph.dropped)
            continue;
        glyph.ink = tally.ink;
        const int bw = glyph.box.width(), bh = glyph.box.height();
        glyph.dropped = bh > kMaxGlyphHeight || (bh <= 2 && bw > 40) || (bw <= 2 && bh > 60) || tally.farthest < kMinContrast ||
                        float(tally.foreign) > kMaxForeignSurrounding * float(tally.surrounding) ||
                        tally.solidSquare >= kMaxStrokeShare * bh || isFrame(glyph, tally);
    }
    m_firstGlyph.clear();
    m_carriedGlyphs.clear();
}

} // namespace Tellumo::detail
