#include "TellumoCore/internal/LineSlices.h"

#include "TellumoCore/internal/InkColumns.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Tellumo::detail {

namespace {

struct Cut {
    int at = 0;  // the first column of the next slice
    int gap = 0; // the blank run the cut lies in
};

// The cut near column `ideal`, within [from, to): the widest run of the least inked columns
// there, the nearest to `ideal` of equally wide ones, at the run's middle; `ideal` itself when
// every column there is inked more than a rule.
Cut cutNear(const std::vector<int> &ink, int ideal, int from, int to, int ruleInk)
{
    const int least = *std::min_element(ink.begin() + from, ink.begin() + to);
    if (least > ruleInk)
        return {ideal, 0};
    Cut best{ideal, 0};
    int bestDistance = 0;
    for (int x = from; x < to;) {
        if (ink[size_t(x)] != least) {
            ++x;
            continue;
        }
        int end = x;
        while (end + 1 < to && ink[size_t(end + 1)] == least)
            ++end;
        // A run the window cuts may go on beyond it: its width is the whole run's.
        int first = x, last = end;
        while (first > 0 && ink[size_t(first - 1)] == least)
            --first;
        while (last + 1 < int(ink.size()) && ink[size_t(last + 1)] == least)
            ++last;
        const int at = (x + end + 1) / 2, gap = last - first + 1, distance = std::abs(at - ideal);
        if (gap > best.gap || (gap == best.gap && distance < bestDistance)) {
            best = {at, gap};
            bestDistance = distance;
        }
        x = end + 1;
    }
    return best;
}

// The columns [from, to) of the picture, with `leftPad` copies of its first column before them
// and `rightPad` of its last after them.
QImage slice(const QImage &picture, int from, int to, int leftPad, int rightPad)
{
    QImage cut(to - from + leftPad + rightPad, picture.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *source = picture.constScanLine(y);
        uchar *row = cut.scanLine(y);
        std::memset(row, source[from], size_t(leftPad));
        std::memcpy(row + leftPad, source + from, size_t(to - from));
        std::memset(row + leftPad + (to - from), source[to - 1], size_t(rightPad));
    }
    return cut;
}

} // namespace

std::vector<PictureSlice> pictureSlices(const QImage &picture, int widest)
{
    if (picture.width() <= widest || widest < 3)
        return {{picture, 0, false}};
    const int width = picture.width(), height = picture.height();
    const InkColumns ink(picture);
    // A rule (an underline) crosses a column with a few rows of ink; a letter's stroke with more.
    const int ruleInk = std::max(2, ink.height() / 12);
    const int pad = std::max(6, height / 4);
    // Slices of about equal widths, each cut within a quarter of a slice of its place.
    const int count = (width + widest - 1) / widest;
    const double share = double(width) / count;
    std::vector<PictureSlice> slices;
    int start = 0, leftPad = 0;
    bool wordBreak = false;
    for (int i = 1; i < count; ++i) {
        const int ideal = int(i * share);
        const int from = std::max(start + 1, ideal - int(share / 4)), to = std::min({width - 1, start + widest, ideal + int(share / 4)});
        const Cut cut = from < to ? cutNear(ink.columns(), ideal, from, to, ruleInk) : Cut{std::min(start + widest, width - 1), 0};
        slices.push_back({slice(picture, start, cut.at, leftPad, pad), start - leftPad, wordBreak});
        wordBreak = ink.partsWords(cut.gap);
        start = cut.at;
        leftPad = pad;
    }
    slices.push_back({slice(picture, start, width, leftPad, 0), start - leftPad, wordBreak});
    return slices;
}

} // namespace Tellumo::detail
