#pragma once
// The pictures handed to the engine: ink drawn dark on white, each glyph against its own
// background (so light text on a dark pane, a blue button or a green bubble reads like print),
// scaled up so that small text reaches the height the engine reads best, with a white margin.

#include "TellumoCore/internal/InkSegmentation.h"
#include "TellumoCore/internal/TextLines.h"

#include <QImage>

#include <vector>

namespace Tellumo::detail {

// The height, in pixels, that line boxes are scaled up to; taller lines keep their size.
constexpr int kReadingHeight = 40;

struct LineImageOptions {
    bool normalizePolarity = true; // else the line's own pixels in grey, whatever their colours
    bool upscale = true;
};

// One line: only its own glyphs (normalised) or the grey picture under its box (not normalised).
QImage lineImage(const InkSegmentation &ink, const TextLine &line, const std::vector<int> &lineOfGlyph, int lineIndex,
                 const LineImageOptions &options);

// The whole page with every text glyph normalised, for reading it as one page.
QImage normalizedPage(const InkSegmentation &ink);

// The median height of the lines, or 0 without lines.
int medianLineHeight(const std::vector<TextLine> &lines);

} // namespace Tellumo::detail
