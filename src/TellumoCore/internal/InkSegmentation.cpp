#include "TellumoCore/internal/InkSegmentation.h"

#include "TellumoCore/internal/UnionFind.h"

#include <algorithm>
#include <array>
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
    int solidSquare = 0; // the largest patch of a colour other than the background inside it
    int topEdge = 0, bottomEdge = 0; // its pixels in the two rows at the top and at the bottom of its box
    std::array<std::pair<int, int>, 4> votes{}; // region, count
};

// The outline of a text field, an outlined button or a tag: a ring of ink, much wider than tall,
// whose top and bottom edges run most of its width and whose inside is empty. Text is never one
// such piece (an underline joined to the letters above it runs along the bottom only; bold
// Chinese characters that touch have strokes inside), and a frame taken for a glyph would draw
// the text inside it into one line with itself.
bool isFrame(const Glyph &glyph, const GlyphTally &tally)
{
    const QRect &box = glyph.box;
    return box.width() >= 3 * box.height() && box.height() >= 8 && 10 * tally.topEdge >= 6 * box.width() &&
           10 * tally.bottomEdge >= 6 * box.width() && 10 * glyph.pixels <= 13 * (tally.topEdge + tally.bottomEdge) + 60 * box.height();
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

} // namespace

InkSegmentation::InkSegmentation(const QImage &image)
    : m_image(image), m_bits(m_image.constBits()), m_stride(m_image.bytesPerLine()), m_width(image.width()), m_height(image.height())
{
    const size_t count = size_t(m_width) * size_t(m_height);
    m_regionOf.assign(count, -1);
    std::vector<int32_t> parent(count);
    labelRegions(parent);
    labelGlyphs(parent);
    // The sets' links have become the glyph labels.
    m_glyphOf = std::move(parent);
    measureGlyphs();
    // Only the analysis needs the regions pixel by pixel: a word a pixel less for the lines.
    std::vector<int32_t>().swap(m_regionOf);
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

void InkSegmentation::labelRegions(std::vector<int32_t> &parent)
{
    const int w = m_width, h = m_height;
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = int32_t(i);
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
        const auto *above = y > 0 ? reinterpret_cast<const QRgb *>(m_image.constScanLine(y - 1)) : nullptr;
        const int32_t base = int32_t(y) * w;
        for (int x = 0; x < w; ++x) {
            if (x > 0 && channelDistance(row[x], row[x - 1]) <= kSimilarity)
                uniteSets(parent, base + x, base + x - 1);
            if (above && channelDistance(row[x], above[x]) <= kSimilarity)
                uniteSets(parent, base + x, base + x - w);
        }
    }

    // Dense region numbers.
    int regionCount = 0;
    for (size_t i = 0; i < parent.size(); ++i) {
        const int32_t root = findRoot(parent, int32_t(i));
        if (root == int32_t(i))
            m_regionOf[i] = regionCount++;
        else
            m_regionOf[i] = m_regionOf[size_t(root)];
    }

    // The largest square each region holds: the side of the square of equal labels that ends at a
    // pixel is one more than the smallest of its left, upper and upper-left neighbours'.
    std::vector<uint16_t> largestSquare(size_t(regionCount), 0);
    std::vector<uint16_t> above(size_t(w), 0), current(size_t(w), 0);
    for (int y = 0; y < h; ++y) {
        const int32_t *labels = m_regionOf.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            uint16_t side = 1;
            if (x > 0 && y > 0 && labels[x] == labels[x - 1] && labels[x] == labels[x - w] && labels[x] == labels[x - w - 1])
                side = uint16_t(std::min<int>({current[size_t(x - 1)], above[size_t(x)], above[size_t(x - 1)], 65534}) + 1);
            current[size_t(x)] = side;
            uint16_t &largest = largestSquare[size_t(labels[x])];
            largest = std::max(largest, side);
        }
        std::swap(above, current);
    }

    // The regions that hold a solid square: their bounds, colour, and what their edge touches.
    struct Candidate {
        BackgroundRegion region;
        qint64 red = 0, green = 0, blue = 0;
        qint64 touchesInk = 0, touchesBackground = 0;
        int largestSquare = 0;
        int32_t firstPiece = -1; // of ink it touches
        bool severalPieces = false;
    };
    std::vector<int32_t> candidate(size_t(regionCount), -1);
    std::vector<Candidate> candidates;
    for (int y = 0; y < h; ++y) {
        const int32_t *labels = m_regionOf.data() + size_t(y) * size_t(w);
        const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const int32_t region = labels[x];
            if (largestSquare[size_t(region)] < kSolidSide)
                continue;
            int32_t &index = candidate[size_t(region)];
            if (index < 0) {
                index = int32_t(candidates.size());
                candidates.push_back({{QRect(x, y, 1, 1), 0}});
                candidates.back().largestSquare = largestSquare[size_t(region)];
            }
            Candidate &c = candidates[size_t(index)];
            include(c.region.box, x, y);
            ++c.region.pixels;
            c.red += qRed(row[x]);
            c.green += qGreen(row[x]);
            c.blue += qBlue(row[x]);
        }
    }
    for (int y = 0; y < h; ++y) {
        const int32_t *labels = m_regionOf.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const int32_t index = candidate[size_t(labels[x])];
            if (index < 0)
                continue;
            Candidate &c = candidates[size_t(index)];
            // Beyond the picture's edge lies more of the screen: a background.
            constexpr int32_t outside = -1;
            const int32_t neighbours[] = {x > 0 ? labels[x - 1] : outside, x + 1 < w ? labels[x + 1] : outside, y > 0 ? labels[x - w] : outside,
                                          y + 1 < h ? labels[x + w] : outside};
            for (int32_t neighbour : neighbours) {
                if (neighbour == labels[x])
                    continue;
                ++(neighbour == outside || candidate[size_t(neighbour)] >= 0 ? c.touchesBackground : c.touchesInk);
            }
        }
    }

    // The pieces of ink each candidate touches, with every candidate taken for background.
    linkInk(parent, [&](size_t i) { return candidate[size_t(m_regionOf[i])] < 0; });
    for (int y = 0; y < h; ++y) {
        const int32_t *labels = m_regionOf.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const int32_t index = candidate[size_t(labels[x])];
            if (index < 0)
                continue;
            Candidate &c = candidates[size_t(index)];
            const int32_t i = int32_t(y) * w + x;
            for (int32_t neighbour : {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, y > 0 ? i - w : -1, y + 1 < h ? i + w : -1}) {
                if (neighbour < 0 || parent[size_t(neighbour)] < 0)
                    continue;
                const int32_t piece = findRoot(parent, neighbour);
                if (c.firstPiece < 0)
                    c.firstPiece = piece;
                else if (piece != c.firstPiece)
                    c.severalPieces = true;
            }
        }
    }

    // Panes, bars and buttons meet other backgrounds somewhere along their straight sharp edges,
    // or are large, or hold words (several pieces of ink) inside a rounded outline. The inside of
    // a round shape or of a character's loop is small and antialiased all around one piece of
    // ink: it is ink.
    std::vector<int32_t> finalIndex(candidates.size(), -1);
    for (size_t index = 0; index < candidates.size(); ++index) {
        Candidate &c = candidates[index];
        const bool enclosed = c.touchesInk > 0 && c.touchesBackground * 10 < c.touchesInk + c.touchesBackground;
        if (enclosed && c.region.pixels < kPanePixels && !c.severalPieces) {
            finalIndex[index] = -2 - int32_t(m_enclosed.size());
            const qint64 n = std::max<qint64>(1, c.region.pixels);
            m_enclosed.push_back({qRgb(int(c.red / n), int(c.green / n), int(c.blue / n)), 0});
        } else {
            finalIndex[index] = int32_t(m_regions.size());
            m_regions.push_back(c.region);
        }
    }
    for (int32_t region = 0; region < regionCount; ++region) {
        const int32_t index = candidate[size_t(region)];
        if (index >= 0 && finalIndex[size_t(index)] <= -2)
            m_enclosed[size_t(-2 - finalIndex[size_t(index)])].largestSquare = largestSquare[size_t(region)];
    }
    for (size_t i = 0; i < m_regionOf.size(); ++i) {
        const int32_t index = candidate[size_t(m_regionOf[i])];
        m_regionOf[i] = index < 0 ? -1 : finalIndex[size_t(index)];
    }
}

template <typename IsInk>
void InkSegmentation::linkInk(std::vector<int32_t> &parent, const IsInk &isInk) const
{
    const int w = m_width, h = m_height;
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = isInk(i) ? int32_t(i) : -1;
    for (int y = 0; y < h; ++y) {
        const int32_t base = int32_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const int32_t i = base + x;
            if (parent[size_t(i)] < 0)
                continue;
            if (x > 0 && parent[size_t(i - 1)] >= 0)
                uniteSets(parent, i, i - 1);
            if (y > 0) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    if (nx >= 0 && nx < w && parent[size_t(i - w + dx)] >= 0)
                        uniteSets(parent, i, i - w + dx);
                }
            }
        }
    }
}

void InkSegmentation::labelGlyphs(std::vector<int32_t> &parent)
{
    const int w = m_width, h = m_height;
    linkInk(parent, [&](size_t i) { return m_regionOf[i] < 0; });
    // Every pixel's link made to point at its set's root, then, in index order (a root comes
    // before the other members), replaced by its glyph's index: a root's own entry holds the
    // index by the time its members read it. The vector becomes the glyph labels in place.
    for (size_t i = 0; i < parent.size(); ++i)
        if (parent[i] >= 0)
            parent[i] = findRoot(parent, int32_t(i));
    for (int y = 0; y < h; ++y) {
        const int32_t base = int32_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const int32_t i = base + x;
            if (parent[size_t(i)] < 0)
                continue;
            if (parent[size_t(i)] == i) {
                parent[size_t(i)] = int32_t(m_glyphs.size());
                m_glyphs.push_back({QRect(x, y, 1, 1), 0});
            } else {
                parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
            }
            Glyph &glyph = m_glyphs[size_t(parent[size_t(i)])];
            include(glyph.box, x, y);
            ++glyph.pixels;
        }
    }
}

void InkSegmentation::measureGlyphs()
{
    const int w = m_width, h = m_height;
    std::vector<GlyphTally> tallies(m_glyphs.size());
    static constexpr int dx[] = {-1, 1, 0, 0}, dy[] = {0, 0, -1, 1};

    // The background around each glyph: its mean colour and the region touched most.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int glyph = glyphAt(x, y);
            if (glyph < 0)
                continue;
            GlyphTally &tally = tallies[size_t(glyph)];
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
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const int index = glyphAt(x, y);
            if (index < 0 || m_glyphs[size_t(index)].dropped)
                continue;
            Glyph &glyph = m_glyphs[size_t(index)];
            GlyphTally &tally = tallies[size_t(index)];
            const int distance = channelDistance(row[x], glyph.background);
            if (distance > tally.farthest) {
                tally.farthest = distance;
                glyph.ink = row[x];
            }
            tally.topEdge += y <= glyph.box.top() + 1;
            tally.bottomEdge += y >= glyph.box.bottom() - 1;
            if (const int32_t label = m_regionOf[size_t(y) * size_t(w) + size_t(x)]; label <= -2) {
                const EnclosedPatch &patch = m_enclosed[size_t(-2 - label)];
                if (channelDistance(patch.colour, glyph.background) > kMinContrast)
                    tally.solidSquare = std::max(tally.solidSquare, patch.largestSquare);
            }
            for (int k = 0; k < 4; ++k) {
                const int nx = x + dx[k], ny = y + dy[k];
                if (nx >= 0 && ny >= 0 && nx < w && ny < h && regionAt(nx, ny) >= 0 &&
                    channelDistance(pixel(nx, ny), glyph.background) > kMinContrast)
                    ++tally.foreign;
            }
        }
    }
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        Glyph &glyph = m_glyphs[i];
        const GlyphTally &tally = tallies[i];
        if (glyph.dropped)
            continue;
        const int bw = glyph.box.width(), bh = glyph.box.height();
        glyph.dropped = bh > kMaxGlyphHeight || (bh <= 2 && bw > 40) || (bw <= 2 && bh > 60) || tally.farthest < kMinContrast ||
                        float(tally.foreign) > kMaxForeignSurrounding * float(tally.surrounding) ||
                        tally.solidSquare >= kMaxStrokeShare * bh || isFrame(glyph, tally);
    }
}

} // namespace Tellumo::detail
