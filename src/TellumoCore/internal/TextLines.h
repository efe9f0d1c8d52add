#pragma once
// Groups glyphs into text lines: pieces side by side that share most of their height and stand
// closer than about their own height. Words of a line join; table cells, menu shortcuts and
// the items of a menu bar, farther apart, stay separate lines that the reading order puts
// together again. A control at either end of a line (a check box, a close cross, a small
// icon), drawn fainter than the text and set apart from it, is left out of the line; a list's
// bullet before a line (a small solid dot of the line's colour), which the ink analysis takes
// for a shape or leaves a speck of its own, is taken into it.

#include "TellumoCore/internal/InkSegmentation.h"

#include <QRect>

#include <vector>

namespace Tellumo::detail {

struct TextLine {
    QRect box;
    std::vector<int> glyphs;
    int region = -1;  // the background region most of its ink touches
    int baseline = 0; // the row most of its glyphs stand on
};

std::vector<TextLine> findTextLines(const InkSegmentation &ink);

} // namespace Tellumo::detail
