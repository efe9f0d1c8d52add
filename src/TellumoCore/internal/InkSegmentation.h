#pragma once
// Splits a screenshot into background and ink.
//
// Screens are drawn on flat or smoothly shaded backgrounds: window panes, side bars, buttons,
// selected rows, chat bubbles. A background region is a connected area whose neighbouring
// pixels differ by at most a small tolerance and which holds a 7 × 7 square somewhere, unless it
// is small and antialiased all around one piece of ink (the inside of a round shape or of a
// character's loop). Text strokes are thinner than that up to about 60 pixels a
// character, so they never form a background, while a straight one-pixel rule or an
// antialiased outline is ink. Larger text must be scaled down before. Everything that is not background is ink; its connected
// pieces (8-connected) are glyphs, each with the colour of the background around it and its
// darkest (farthest) ink colour, so that it can be drawn dark on white whatever its polarity.
//
// A piece that is not text is marked dropped: too tall for text, a long thin rule, too faint,
// the antialiased edge between two different backgrounds (the rim of a button, a window
// corner), or a solid shape (an avatar, a coloured dot).
//
// Coordinates are pixels of the analysed image. Memory: two 32-bit words a pixel while
// analysing, one afterwards.

#include "TellumoCore/internal/PixelStrips.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace Tellumo::detail {

struct Glyph {
    QRect box;
    int pixels = 0;
    QRgb background = 0; // mean colour of the background pixels touching it
    QRgb ink = 0;        // its pixel farthest from the background
    int region = -1;     // the background region it touches most
    bool dropped = false;
};

struct BackgroundRegion {
    QRect box;
    qint64 pixels = 0;
};

class InkSegmentation final {
public:
    // `image` must be Format_RGB32 (or ARGB32 with opaque pixels).
    // `strips`: how many horizontal strips the picture is analysed in at once, 0 to choose by its
    // size and the recognition workers; the result does not depend on it.
    explicit InkSegmentation(const QImage &image, int strips = 0);

    int width() const { return m_width; }
    int height() const { return m_height; }
    const QImage &image() const { return m_image; }

    // Per pixel: the glyph it belongs to, or -1 for background.
    int glyphAt(int x, int y) const { return m_glyphOf[size_t(y) * size_t(m_width) + size_t(x)]; }
    const std::vector<Glyph> &glyphs() const { return m_glyphs; }
    const std::vector<BackgroundRegion> &regions() const { return m_regions; }

    // How far `pixel` lies from the glyph's background towards its ink: 0 background, 1 ink.
    static float inkStrength(QRgb pixel, const Glyph &glyph);

private:
    QRgb pixel(int x, int y) const { return reinterpret_cast<const QRgb *>(m_bits + qsizetype(y) * m_stride)[x]; }
    // While analysing, per pixel: the background region it belongs to, or -1 for ink.
    int regionAt(int x, int y) const { return std::max(-1, m_regionOf[size_t(y) * size_t(m_width) + size_t(x)]); }

    void labelRegions(int32_t *parent);
    void labelGlyphs(int32_t *parent);
    // Links the 8-connected pixels for which `isInk` holds; the others get -1.
    template <typename IsInk>
    StripSets linkInk(int32_t *parent, const IsInk &isInk) const;
    void measureGlyphs();

    // A flat patch inside ink: the core of a thick stroke, a counter, the inside of a shape.
    struct EnclosedPatch {
        QRgb colour;
        int largestSquare;
    };

    QImage m_image;
    const uchar *m_bits = nullptr;
    qsizetype m_stride = 0;
    int m_width = 0;
    int m_height = 0;
    // Analysed strip by strip at once; numbers go in the order of first pixels in raster order,
    // whatever the strips.
    PixelStrips m_strips{0, 0, 1};
    std::vector<int32_t> m_firstGlyph;                // per strip, while measuring: its first glyph's number
    std::vector<std::vector<int32_t>> m_carriedGlyphs; // per strip, while measuring: the glyphs above it reaching into it
    std::unique_ptr<int32_t[]> m_regionOf; // -1 ink, -2 - n the enclosed patch n, else the region
    std::vector<EnclosedPatch> m_enclosed;
    std::unique_ptr<int32_t[]> m_glyphOf;
    std::vector<Glyph> m_glyphs;
    std::vector<BackgroundRegion> m_regions;
};

} // namespace Tellumo::detail
