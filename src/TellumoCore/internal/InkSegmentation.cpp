#include "TellumoCore/internal/InkSegmentation.h"

#include "TellumoCore/internal/UnionFind.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace Tellumo::detail {

namespace {

// Neighbouring pixels closer than this (in every channel) belong to one background region: wide
// enough for gradients and dithering, narrow enough that antialiased text edges stand apart.
constexpr int kSimilarity = 3;
// A background region holds a square of this side; text strokes are thinner.
constexpr int kSolidSide = 7;
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
    std::array<std::pair<int, int>, 4> votes{}; // region, count
};

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
    m_glyphOf.assign(count, -1);
    std::vector<int32_t> parent(count);
    labelRegions(parent);
    labelGlyphs(parent);
    measureGlyphs();
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

    // Dense region numbers, and which regions hold a solid square: a pixel ends a run of
    // kSolidSide equal labels in its row, and kSolidSide such pixels stand above each other.
    int regionCount = 0;
    for (size_t i = 0; i < parent.size(); ++i) {
        const int32_t root = findRoot(parent, int32_t(i));
        if (root == int32_t(i))
            m_regionOf[i] = regionCount++;
        else
            m_regionOf[i] = m_regionOf[size_t(root)];
    }
    std::vector<uint8_t> solid(size_t(regionCount), 0);
    std::vector<uint8_t> run(size_t(w), 0), column(size_t(w), 0);
    for (int y = 0; y < h; ++y) {
        const int32_t *labels = m_regionOf.data() + size_t(y) * size_t(w);
        const int32_t *above = y > 0 ? labels - w : nullptr;
        uint8_t horizontal = 0;
        for (int x = 0; x < w; ++x) {
            horizontal = (x > 0 && labels[x] == labels[x - 1]) ? uint8_t(std::min(horizontal + 1, kSolidSide)) : 1;
            const bool wide = horizontal >= kSolidSide;
            column[size_t(x)] = wide ? ((above && run[size_t(x)] && labels[x] == above[x]) ? uint8_t(std::min(column[size_t(x)] + 1, kSolidSide)) : 1) : 0;
            run[size_t(x)] = wide;
            if (column[size_t(x)] >= kSolidSide)
                solid[size_t(labels[x])] = 1;
        }
    }

    std::vector<int32_t> backgroundIndex(size_t(regionCount), -1);
    for (int y = 0; y < h; ++y) {
        int32_t *labels = m_regionOf.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const int32_t region = labels[x];
            if (!solid[size_t(region)]) {
                labels[x] = -1;
                continue;
            }
            int32_t &index = backgroundIndex[size_t(region)];
            if (index < 0) {
                index = int32_t(m_regions.size());
                m_regions.push_back({QRect(x, y, 1, 1), 0});
            }
            BackgroundRegion &background = m_regions[size_t(index)];
            background.box |= QRect(x, y, 1, 1);
            ++background.pixels;
            labels[x] = index;
        }
    }
}

void InkSegmentation::labelGlyphs(std::vector<int32_t> &parent)
{
    const int w = m_width, h = m_height;
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = m_regionOf[i] < 0 ? int32_t(i) : -1;
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
    for (int y = 0; y < h; ++y) {
        const int32_t base = int32_t(y) * w;
        for (int x = 0; x < w; ++x) {
            const int32_t i = base + x;
            if (parent[size_t(i)] < 0)
                continue;
            const int32_t root = findRoot(parent, i);
            if (root == i) {
                m_glyphOf[size_t(i)] = int32_t(m_glyphs.size());
                m_glyphs.push_back({QRect(x, y, 1, 1), 0});
            } else {
                m_glyphOf[size_t(i)] = m_glyphOf[size_t(root)];
            }
            Glyph &glyph = m_glyphs[size_t(m_glyphOf[size_t(i)])];
            glyph.box |= QRect(x, y, 1, 1);
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
                        float(tally.foreign) > kMaxForeignSurrounding * float(tally.surrounding);
    }
}

} // namespace Tellumo::detail
