#include "TellumoCore/internal/TextLines.h"

#include "TellumoCore/internal/UnionFind.h"

#include <algorithm>
#include <limits>
#include <map>
#include <numeric>
#include <unordered_map>

namespace Tellumo::detail {

namespace {

constexpr int kCell = 64;
// Pieces join when the gap between them is at most this share of the taller one's height.
constexpr double kMaxGap = 1.0;
constexpr int kMinLineHeight = 5;
constexpr int kMinLinePixels = 8;
constexpr int kSpeckHeight = 8;
// Whole pieces of one line join across a gap of at most this share of the taller one's height.
constexpr double kMaxFragmentGap = 1.0;
constexpr double kMaxGlyphHeightRatio = 1.5;
// A control's ink is less than this share (in percent) of the contrast of the text beside it.
constexpr int kControlContrastPercent = 45;
// A bullet stands at most this many line heights before its item, in about the item's colour.
constexpr double kBulletIndent = 1.5;
constexpr int kBulletInkDistance = 90;

bool joins(const QRect &a, const QRect &b)
{
    const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
    const int low = std::min(a.height(), b.height()), high = std::max(a.height(), b.height());
    if (overlap * 2 < low)
        return false;
    const int gap = std::max(a.left(), b.left()) - std::min(a.right(), b.right()) - 1;
    return gap <= kMaxGap * high;
}

// A piece that stands apart but inside another line's box (a dot above a character that
// overlaps nothing beside it) belongs to that line.
void absorbContained(std::vector<TextLine *> fragments)
{
    std::sort(fragments.begin(), fragments.end(), [](const TextLine *a, const TextLine *b) { return a->box.height() > b->box.height(); });
    for (size_t small = 0; small < fragments.size(); ++small) {
        for (size_t big = 0; big < small; ++big) {
            TextLine *outer = fragments[big];
            if (outer->glyphs.empty() || !outer->box.contains(fragments[small]->box))
                continue;
            outer->glyphs.insert(outer->glyphs.end(), fragments[small]->glyphs.begin(), fragments[small]->glyphs.end());
            fragments[small]->glyphs.clear();
            break;
        }
    }
}

// Pieces of one line that the glyph gaps kept apart: lower-case words have short glyphs, and the
// space after them (wide in monospaced code) is wider than they are tall. Between whole pieces
// the gap is measured against the piece's height, which spans its ascenders and descenders.
void joinFragments(std::vector<TextLine *> fragments)
{
    fragments.erase(std::remove_if(fragments.begin(), fragments.end(), [](const TextLine *f) { return f->glyphs.empty(); }), fragments.end());
    std::sort(fragments.begin(), fragments.end(), [](const TextLine *a, const TextLine *b) { return a->box.left() < b->box.left(); });
    for (size_t i = 0; i < fragments.size(); ++i) {
        TextLine *left = fragments[i];
        if (left->glyphs.empty())
            continue;
        for (bool joined = true; joined;) {
            joined = false;
            for (size_t j = i + 1; j < fragments.size(); ++j) {
                TextLine *right = fragments[j];
                if (right->glyphs.empty())
                    continue;
                if (right->box.left() > left->box.right() + kMaxFragmentGap * kMaxGlyphHeightRatio * left->box.height())
                    break;
                const QRect &a = left->box, &b = right->box;
                const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
                const int low = std::min(a.height(), b.height()), high = std::max(a.height(), b.height());
                const int gap = b.left() - a.right() - 1;
                if (5 * overlap < 3 * low || 2 * high > 3 * low || gap > kMaxFragmentGap * high)
                    continue;
                left->glyphs.insert(left->glyphs.end(), right->glyphs.begin(), right->glyphs.end());
                left->box |= right->box;
                right->glyphs.clear();
                joined = true;
            }
        }
    }
}

// Pieces one above the other that together are no taller than a line: characters made of
// stacked parts (語言 in a face that leaves a gap between their upper and lower parts) whose
// parts overlap too little in height to join side by side. Two lines of text together are
// twice as tall and stay apart.
void joinStacked(std::vector<TextLine *> fragments)
{
    fragments.erase(std::remove_if(fragments.begin(), fragments.end(), [](const TextLine *f) { return f->glyphs.empty(); }), fragments.end());
    if (fragments.size() < 2)
        return;
    std::vector<int> heights;
    for (const TextLine *f : fragments)
        heights.push_back(f->box.height());
    // The height of a whole line: pieces of split characters are many, so not the median.
    const size_t upper = heights.size() * 3 / 4;
    std::nth_element(heights.begin(), heights.begin() + qsizetype(upper), heights.end());
    const int typical = heights[upper];
    std::sort(fragments.begin(), fragments.end(), [](const TextLine *a, const TextLine *b) { return a->box.top() < b->box.top(); });
    for (size_t i = 0; i < fragments.size(); ++i) {
        TextLine *above = fragments[i];
        if (above->glyphs.empty())
            continue;
        for (size_t j = i + 1; j < fragments.size(); ++j) {
            TextLine *lower = fragments[j];
            if (lower->box.top() > above->box.bottom() + typical)
                break;
            if (lower->glyphs.empty())
                continue;
            const QRect &a = above->box, &b = lower->box;
            const int overlap = std::min(a.right(), b.right()) - std::max(a.left(), b.left()) + 1;
            const int gap = b.top() - a.bottom() - 1;
            const QRect both = a | b;
            if (10 * overlap < 7 * std::min(a.width(), b.width()) || gap > std::max(2, typical / 4) || 4 * both.height() > 5 * typical ||
                4 * std::max(a.width(), b.width()) > 5 * std::min(a.width(), b.width()))
                continue;
            above->glyphs.insert(above->glyphs.end(), lower->glyphs.begin(), lower->glyphs.end());
            above->box = both;
            lower->glyphs.clear();
        }
    }
}

// The row most glyph bottoms rest on; descenders and marks hang below or float above it.
int baselineOf(const TextLine &line, const std::vector<Glyph> &glyphs)
{
    std::map<int, int> bottoms;
    for (int glyph : line.glyphs) {
        const QRect &box = glyphs[size_t(glyph)].box;
        if (2 * box.height() >= line.box.height())
            bottoms[box.bottom()] += box.width();
    }
    if (bottoms.empty())
        return line.box.bottom();
    return std::max_element(bottoms.begin(), bottoms.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
}

int contrast(const Glyph &glyph)
{
    return std::abs(qRed(glyph.ink) - qRed(glyph.background)) + std::abs(qGreen(glyph.ink) - qGreen(glyph.background)) +
           std::abs(qBlue(glyph.ink) - qBlue(glyph.background));
}

// Two thin strokes from corner to corner: nearly all the glyph's ink lies near one of its box's
// diagonals.
bool crossShaped(const InkSegmentation &ink, int index)
{
    const QRect &box = ink.glyphs()[size_t(index)].box;
    if (box.width() < 5 || box.height() < 5)
        return false;
    const double reach = std::max(1.5, 0.15 * box.width());
    int inside = 0, near = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const double along = double(y - box.top()) / (box.height() - 1) * (box.width() - 1);
        for (int x = box.left(); x <= box.right(); ++x) {
            if (ink.glyphAt(x, y) != index)
                continue;
            ++inside;
            near += std::min(std::abs(x - box.left() - along), std::abs(box.right() - along - x)) <= reach;
        }
    }
    return inside > 0 && 10 * near >= 9 * inside;
}

// A control at either end of a line is no text: a check box, a tab's close cross, a small icon.
// It is drawn fainter than the text beside it (a grey outline, a secondary cross) or is a cross
// smaller than the text, about as wide as it is tall, and set apart from the first or last word.
// The engine reads it as the character it resembles (口, x, ®, 人, 如). Glyphs of one piece of ink
// only; the line keeps the rest.
void dropControls(TextLine &line, const InkSegmentation &ink)
{
    const std::vector<Glyph> &glyphs = ink.glyphs();
    for (int side = 0; side < 2 && line.glyphs.size() > 1; ++side) {
        std::sort(line.glyphs.begin(), line.glyphs.end(), [&](int a, int b) { return glyphs[size_t(a)].box.left() < glyphs[size_t(b)].box.left(); });
        const size_t end = side == 0 ? 0 : line.glyphs.size() - 1;
        const Glyph &mark = glyphs[size_t(line.glyphs[end])];
        int strongest = 0, nearest = std::numeric_limits<int>::max(), tallest = 0;
        for (size_t i = 0; i < line.glyphs.size(); ++i) {
            if (i == end)
                continue;
            const Glyph &other = glyphs[size_t(line.glyphs[i])];
            strongest = std::max(strongest, contrast(other));
            tallest = std::max(tallest, other.box.height());
            nearest = std::min(nearest, side == 0 ? other.box.left() - mark.box.right() - 1 : mark.box.left() - other.box.right() - 1);
        }
        const QRect &box = mark.box;
        const bool squarish = 4 * box.width() >= 3 * box.height() && 3 * box.width() <= 4 * box.height();
        const bool faint = 100 * contrast(mark) < kControlContrastPercent * strongest;
        const bool apart = 10 * nearest >= 3 * std::max(box.height(), tallest / 2);
        if (!squarish || !apart || box.height() < 5 || !(faint || (10 * box.height() <= 8 * tallest && crossShaped(ink, line.glyphs[end]))))
            continue;
        line.glyphs.erase(line.glyphs.begin() + qsizetype(end));
        line.box = QRect();
        for (int glyph : line.glyphs)
            line.box |= glyphs[size_t(glyph)].box;
    }
}

// A list's bullet before a line: a small solid dot of the line's ink colour, about the middle
// of a small letter and an indent away from the first word. The ink analysis takes a solid dot
// for a shape (a dot of colour), or it stays a speck of its own; the line takes it back.
void takeBullets(std::vector<TextLine> &lines, const std::vector<Glyph> &glyphs)
{
    std::vector<bool> used(glyphs.size(), false);
    for (const TextLine &line : lines)
        for (int glyph : line.glyphs)
            used[size_t(glyph)] = true;
    std::vector<int> dots;
    for (int i = 0; i < int(glyphs.size()); ++i) {
        const QRect &box = glyphs[size_t(i)].box;
        if (!used[size_t(i)] && box.height() >= 3 && box.height() <= 40 && 10 * box.width() >= 6 * box.height() &&
            10 * box.width() <= 16 * box.height() && contrast(glyphs[size_t(i)]) > 0)
            dots.push_back(i);
    }
    for (TextLine &line : lines) {
        const int height = line.box.height();
        const Glyph &first = glyphs[size_t(line.glyphs.front())];
        for (int dot : dots) {
            const Glyph &candidate = glyphs[size_t(dot)];
            const QRect &box = candidate.box;
            const int gap = line.box.left() - box.right() - 1, middle = box.center().y() - line.box.top();
            const bool sameInk = std::abs(qRed(candidate.ink) - qRed(first.ink)) + std::abs(qGreen(candidate.ink) - qGreen(first.ink)) +
                                     std::abs(qBlue(candidate.ink) - qBlue(first.ink)) <=
                                 kBulletInkDistance;
            if (used[size_t(dot)] || gap < 0 || gap > kBulletIndent * height || box.height() < 0.15 * height || box.height() > 0.5 * height ||
                middle < 0.3 * height || middle > 0.75 * height || !sameInk)
                continue;
            used[size_t(dot)] = true;
            line.glyphs.insert(line.glyphs.begin(), dot);
            line.box |= box;
            break;
        }
    }
}

// Small marks beside the words of a line: the bars of an equals sign, a comma, a dash, that no
// line took, each at most two thirds of the line's height and too far from the words of a
// monospaced face to join them as glyphs do; and a mark that made a line of its own (a quote
// mark or an asterisk in the upper part of the line, a semicolon's tail starting below its
// middle) right beside a word. A mark within the band of a line (it may reach a quarter of the line's height
// above it and a third below), no farther from its end than words join (a mark of its own: than half its height), goes
// into the nearest such line, the one before it when both are as near (a comma belongs to the
// word it follows); so does the next part of the same mark.
void takeMarks(std::vector<TextLine> &lines, const std::vector<Glyph> &glyphs)
{
    struct Mark {
        QRect box;
        int glyph = -1; // a glyph no line took, or
        int line = -1;  // a line of its own, no wider than tall by half
        int target = -1;
    };
    std::vector<bool> used(glyphs.size(), false);
    std::vector<Mark> marks;
    for (int l = 0; l < int(lines.size()); ++l) {
        const TextLine &line = lines[size_t(l)];
        for (int glyph : line.glyphs)
            used[size_t(glyph)] = true;
        if (2 * line.box.width() <= 3 * line.box.height())
            marks.push_back({line.box, -1, l});
    }
    for (int i = 0; i < int(glyphs.size()); ++i)
        if (!used[size_t(i)] && !glyphs[size_t(i)].dropped && contrast(glyphs[size_t(i)]) > 0)
            marks.push_back({glyphs[size_t(i)].box, i, -1});
    if (marks.empty())
        return;
    std::sort(marks.begin(), marks.end(), [](const Mark &a, const Mark &b) { return a.box.left() < b.box.left(); });
    std::vector<int> strongest(lines.size(), 0);
    for (size_t l = 0; l < lines.size(); ++l)
        for (int glyph : lines[l].glyphs)
            strongest[l] = std::max(strongest[l], contrast(glyphs[size_t(glyph)]));
    auto contrastOf = [&](const Mark &mark) {
        if (mark.glyph >= 0)
            return contrast(glyphs[size_t(mark.glyph)]);
        int most = 0;
        for (int glyph : lines[size_t(mark.line)].glyphs)
            most = std::max(most, contrast(glyphs[size_t(glyph)]));
        return most;
    };
    std::vector<bool> taken(lines.size(), false); // lines that go into others as marks
    for (Mark &mark : marks) {
        const QRect &box = mark.box;
        int nearestGap = 0;
        for (int l = 0; l < int(lines.size()); ++l) {
            const QRect &band = lines[size_t(l)].box;
            const int height = band.height();
            const int gap = std::max(0, std::max(box.left() - band.right(), band.left() - box.right()) - 1); // 0: within its span
            // A mark of its own stands in the upper part of the line (a quote mark, an asterisk)
            // or starts below its middle (a tail): a digit or a letter fills the line's height.
            const bool markPlace = mark.line < 0 || 5 * (box.bottom() - band.top()) <= 3 * height || 2 * (box.top() - band.top()) >= height;
            if (l == mark.line || height < kSpeckHeight || !markPlace || 3 * box.height() > 2 * height || 4 * (band.top() - box.top()) > height ||
                3 * (box.bottom() - band.bottom()) > height || gap > (mark.line >= 0 ? 0.5 : kMaxGap) * height ||
                2 * contrastOf(mark) < strongest[size_t(l)])
                continue;
            const bool before = band.right() < box.left();
            if (mark.target < 0 || gap < nearestGap || (gap == nearestGap && before)) {
                mark.target = l;
                nearestGap = gap;
            }
        }
        if (mark.target >= 0 && mark.line >= 0)
            taken[size_t(mark.line)] = true;
    }
    std::vector<bool> changed(lines.size(), false);
    for (const Mark &mark : marks) {
        if (mark.target < 0 || taken[size_t(mark.target)])
            continue;
        TextLine &line = lines[size_t(mark.target)];
        if (mark.glyph >= 0) {
            line.glyphs.push_back(mark.glyph);
        } else {
            line.glyphs.insert(line.glyphs.end(), lines[size_t(mark.line)].glyphs.begin(), lines[size_t(mark.line)].glyphs.end());
            lines[size_t(mark.line)].glyphs.clear();
        }
        line.box |= mark.box;
        changed[size_t(mark.target)] = true;
    }
    for (size_t l = 0; l < lines.size(); ++l)
        if (changed[l])
            std::sort(lines[l].glyphs.begin(), lines[l].glyphs.end(),
                      [&](int a, int b) { return glyphs[size_t(a)].box.left() < glyphs[size_t(b)].box.left(); });
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const TextLine &line) { return line.glyphs.empty(); }), lines.end());
}

// Lines that are only thin upright rules taller than the text around them, or a single such
// rule shorter than it: the separators of a tab strip or a toolbar, whole or cut off at the edge
// of a region, which the engine reads as I, l or |.
void dropRules(std::vector<TextLine> &lines, const std::vector<Glyph> &glyphs)
{
    std::vector<int> heights;
    for (const TextLine &line : lines)
        if (line.glyphs.size() >= 3)
            heights.push_back(line.box.height());
    if (heights.empty())
        return;
    std::nth_element(heights.begin(), heights.begin() + qsizetype(heights.size() / 2), heights.end());
    const int usual = heights[heights.size() / 2];
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const TextLine &line) {
                                   const bool taller = 5 * line.box.height() >= 6 * usual;
                                   const bool shorter = line.glyphs.size() == 1 && 5 * line.box.height() <= 4 * usual;
                                   return (taller || shorter) && std::all_of(line.glyphs.begin(), line.glyphs.end(), [&](int glyph) {
                                              const QRect &box = glyphs[size_t(glyph)].box;
                                              return 4 * box.width() <= box.height();
                                          });
                               }),
                lines.end());
}

} // namespace

std::vector<TextLine> findTextLines(const InkSegmentation &ink)
{
    const auto &glyphs = ink.glyphs();
    std::vector<int> kept;
    for (int i = 0; i < int(glyphs.size()); ++i)
        if (!glyphs[size_t(i)].dropped)
            kept.push_back(i);

    // A grid of cells over the glyph boxes finds the neighbours of each glyph.
    std::unordered_map<qint64, std::vector<int>> grid;
    auto key = [](int cx, int cy) { return (qint64(cy) << 32) | quint32(cx); };
    for (int index = 0; index < int(kept.size()); ++index) {
        const QRect &box = glyphs[size_t(kept[size_t(index)])].box;
        for (int cy = box.top() / kCell; cy <= box.bottom() / kCell; ++cy)
            for (int cx = box.left() / kCell; cx <= box.right() / kCell; ++cx)
                grid[key(cx, cy)].push_back(index);
    }
    std::vector<int32_t> parent(kept.size());
    std::iota(parent.begin(), parent.end(), 0);
    for (int index = 0; index < int(kept.size()); ++index) {
        const QRect &box = glyphs[size_t(kept[size_t(index)])].box;
        const int reach = int(kMaxGap * 3 * box.height()) + 1;
        const QRect around = box.adjusted(-reach, 0, reach, 0);
        for (int cy = std::max(0, around.top()) / kCell; cy <= around.bottom() / kCell; ++cy) {
            for (int cx = std::max(0, around.left()) / kCell; cx <= around.right() / kCell; ++cx) {
                auto cell = grid.find(key(cx, cy));
                if (cell == grid.end())
                    continue;
                for (int other : cell->second) {
                    if (other == index)
                        continue;
                    if (joins(box, glyphs[size_t(kept[size_t(other)])].box))
                        uniteSets(parent, index, other);
                }
            }
        }
    }

    std::map<int32_t, TextLine> groups;
    for (int index = 0; index < int(kept.size()); ++index) {
        TextLine &line = groups[findRoot(parent, index)];
        line.glyphs.push_back(kept[size_t(index)]);
        line.box |= glyphs[size_t(kept[size_t(index)])].box;
    }
    std::vector<TextLine *> fragments;
    for (auto &[id, line] : groups)
        fragments.push_back(&line);
    absorbContained(fragments);
    joinFragments(fragments);
    joinStacked(fragments);

    std::vector<TextLine> lines;
    for (auto &[id, line] : groups) {
        if (line.glyphs.empty())
            continue;
        dropControls(line, ink);
        line.baseline = baselineOf(line, glyphs);
        int pixels = 0;
        std::map<int, int> regions;
        for (int glyph : line.glyphs) {
            pixels += glyphs[size_t(glyph)].pixels;
            regions[glyphs[size_t(glyph)].region] += glyphs[size_t(glyph)].pixels;
        }
        // Specks: a dot, a corner, a bit of an icon. Even a short word is wider than it is tall.
        if (line.box.height() < kMinLineHeight || pixels < kMinLinePixels ||
            (line.box.height() < kSpeckHeight && line.box.width() < 2 * line.box.height()))
            continue;
        line.region = std::max_element(regions.begin(), regions.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
        std::sort(line.glyphs.begin(), line.glyphs.end(), [&](int a, int b) { return glyphs[size_t(a)].box.left() < glyphs[size_t(b)].box.left(); });
        lines.push_back(std::move(line));
    }
    takeBullets(lines, glyphs);
    takeMarks(lines, glyphs);
    dropRules(lines, glyphs);
    std::sort(lines.begin(), lines.end(), [](const TextLine &a, const TextLine &b) {
        return a.box.top() != b.box.top() ? a.box.top() < b.box.top() : a.box.left() < b.box.left();
    });
    return lines;
}

} // namespace Tellumo::detail
