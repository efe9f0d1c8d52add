#include "TellumoCore/internal/ReadingOrder.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <set>

namespace Tellumo::detail {

namespace {

// Backgrounds this large may hold others even when no line sits on them directly; their pixels
// cover at least a seventh of their bounds.
constexpr qint64 kPanelPixels = 2000;
constexpr qint64 kPanelDensity = 7;

struct Node {
    int region = -1; // -1: the whole image
    QRect box;
    std::vector<int> texts;
    std::vector<int> children;
    QRect content; // the lines in it and below it
    int baseline = 0; // of its only line, when it has one
    std::optional<QStringList> lines;
};

struct Item {
    QRect box;     // where it lies for cutting: a line's box or a background's bounds
    QRect content; // its lines
    int baseline = 0; // of its only line, when it has one
    int text = -1;
    int node = -1;
};

qint64 area(const QRect &r)
{
    return qint64(r.width()) * r.height();
}

// A background that may hold others: large, and filling a fair share of its bounds (not a thin
// frame or rule that happens to run around them).
bool isPanel(const BackgroundRegion &region)
{
    return region.pixels >= kPanelPixels && region.pixels * kPanelDensity >= area(region.box);
}

int verticalOverlap(const QRect &a, const QRect &b)
{
    return std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
}

class Orderer {
public:
    Orderer(const std::vector<PlacedText> &texts, const std::vector<BackgroundRegion> &regions) : m_texts(texts), m_regions(regions)
    {
        buildTree();
    }

    QStringList order() { return linesOf(0); }

private:
    int parentRegion(int region) const
    {
        const QRect &box = m_regions[size_t(region)].box;
        int best = -1;
        for (int candidate : m_candidates) {
            const QRect &outer = m_regions[size_t(candidate)].box;
            if (candidate == region || !outer.contains(box) || area(outer) <= area(box))
                continue;
            if (best < 0 || area(outer) < area(m_regions[size_t(best)].box))
                best = candidate;
        }
        return best;
    }

    int nodeFor(int region)
    {
        if (region < 0)
            return 0;
        if (auto found = m_nodeOfRegion.find(region); found != m_nodeOfRegion.end())
            return found->second;
        const int index = int(m_nodes.size());
        Node node;
        node.region = region;
        node.box = m_regions[size_t(region)].box;
        m_nodes.push_back(std::move(node));
        m_nodeOfRegion[region] = index;
        const int parent = nodeFor(parentRegion(region));
        m_nodes[size_t(parent)].children.push_back(index);
        return index;
    }

    void buildTree()
    {
        m_nodes.push_back({});
        for (const PlacedText &text : m_texts)
            m_nodes[0].box |= text.box;
        for (int i = 0; i < int(m_regions.size()); ++i)
            if (isPanel(m_regions[size_t(i)]))
                m_candidates.push_back(i);
        for (const PlacedText &text : m_texts)
            if (text.region >= 0 && !isPanel(m_regions[size_t(text.region)]))
                m_candidates.push_back(text.region);
        std::sort(m_candidates.begin(), m_candidates.end());
        m_candidates.erase(std::unique(m_candidates.begin(), m_candidates.end()), m_candidates.end());
        for (int i = 0; i < int(m_texts.size()); ++i) {
            const int node = nodeFor(m_texts[size_t(i)].region);
            m_nodes[size_t(node)].texts.push_back(i);
        }
        contentOf(0);
    }

    QRect contentOf(int node)
    {
        QRect content;
        const Node &n = m_nodes[size_t(node)];
        for (int text : n.texts)
            content |= m_texts[size_t(text)].box;
        for (int child : n.children)
            content |= contentOf(child);
        m_nodes[size_t(node)].content = content;
        if (n.texts.size() == 1 && n.children.empty())
            m_nodes[size_t(node)].baseline = m_texts[size_t(n.texts[0])].baseline;
        return content;
    }

    const QStringList &linesOf(int node)
    {
        Node &n = m_nodes[size_t(node)];
        if (!n.lines) {
            std::vector<Item> items;
            for (int text : n.texts)
                if (!m_taken.count(text))
                    items.push_back({m_texts[size_t(text)].box, m_texts[size_t(text)].box, m_texts[size_t(text)].baseline, text, -1});
            for (int child : n.children) {
                const Node &c = m_nodes[size_t(child)];
                if (c.content.isEmpty())
                    continue;
                // A line of this background inside the child's bounds but clear of its lines (a
                // window's title on a title bar that a lighter frame runs around): the child is
                // placed by its lines, so that the title is read before them.
                const bool holdsOurs = std::any_of(n.texts.begin(), n.texts.end(), [&](int text) {
                    const QRect &box = m_texts[size_t(text)].box;
                    return c.box.intersects(box) && !c.content.intersects(box);
                });
                items.push_back({holdsOurs ? c.content : c.box, c.content, c.baseline, -1, child});
            }
            QStringList lines = cut(std::move(items));
            m_nodes[size_t(node)].lines = std::move(lines);
        }
        return *m_nodes[size_t(node)].lines;
    }

    QStringList expand(const Item &item)
    {
        return item.text >= 0 ? QStringList{m_texts[size_t(item.text)].text} : linesOf(item.node);
    }

    // Every text of an item, its backgrounds' too.
    std::vector<int> textsOf(const Item &item) const
    {
        if (item.text >= 0)
            return {item.text};
        std::vector<int> texts;
        std::vector<int> pending{item.node};
        while (!pending.empty()) {
            const Node &n = m_nodes[size_t(pending.back())];
            pending.pop_back();
            for (int text : n.texts)
                if (!m_taken.count(text))
                    texts.push_back(text);
            pending.insert(pending.end(), n.children.begin(), n.children.end());
        }
        return texts;
    }

    // The texts of an item when it and every background inside it hold one row of text (each
    // shares most of its height with the row's band), else none.
    std::vector<int> rowOfTexts(const Item &item) const
    {
        const std::vector<int> texts = textsOf(item);
        int top = std::numeric_limits<int>::min(), bottom = std::numeric_limits<int>::max();
        for (int text : texts) {
            top = std::max(top, m_texts[size_t(text)].box.top());
            bottom = std::min(bottom, m_texts[size_t(text)].box.bottom());
        }
        for (int text : texts)
            if (2 * (bottom - top + 1) < m_texts[size_t(text)].box.height())
                return {};
        return texts;
    }

    // Items side by side: one line when each holds one, else each item's lines in turn. When
    // they all hold one row, their pieces are read left to right whatever background each sits
    // on: the active tab among the tabs of its strip, a selected cell among its row's.
    QStringList row(std::vector<Item> items)
    {
        std::vector<int> pieces;
        bool oneRow = items.size() > 1;
        for (const Item &item : items) {
            const std::vector<int> texts = oneRow ? rowOfTexts(item) : std::vector<int>();
            oneRow = oneRow && !texts.empty();
            pieces.insert(pieces.end(), texts.begin(), texts.end());
        }
        if (oneRow) {
            std::sort(pieces.begin(), pieces.end(), [&](int a, int b) { return m_texts[size_t(a)].box.left() < m_texts[size_t(b)].box.left(); });
            QStringList words;
            for (int text : pieces)
                words << m_texts[size_t(text)].text;
            return {words.join(QLatin1Char(' '))};
        }
        if (std::optional<QStringList> lines = rowWithItsTopLines(items))
            return *lines;
        std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
            return a.box.left() != b.box.left() ? a.box.left() < b.box.left() : a.box.top() < b.box.top();
        });
        QList<QStringList> parts;
        bool single = true;
        for (const Item &item : items) {
            parts << expand(item);
            single = single && parts.back().size() == 1;
        }
        QStringList lines;
        for (const QStringList &part : std::as_const(parts))
            lines << part;
        if (single)
            return {lines.join(QLatin1Char(' '))};
        return lines;
    }

    // Items side by side of which some hold one row and the others more, where the others' top
    // lines stand in that row: the active tab of a strip shares its background with the toolbar
    // below it. The top lines join the row, read left to right with it, and the rest of the
    // others follows, each in turn.
    std::optional<QStringList> rowWithItsTopLines(std::vector<Item> items)
    {
        std::vector<int> row;
        int top = std::numeric_limits<int>::min(), bottom = std::numeric_limits<int>::max();
        std::vector<const Item *> taller;
        for (const Item &item : items) {
            const std::vector<int> texts = rowOfTexts(item);
            if (texts.empty()) {
                taller.push_back(&item);
                continue;
            }
            row.insert(row.end(), texts.begin(), texts.end());
            for (int text : texts) {
                top = std::max(top, m_texts[size_t(text)].box.top());
                bottom = std::min(bottom, m_texts[size_t(text)].box.bottom());
            }
        }
        if (row.empty() || taller.empty() || top > bottom)
            return std::nullopt;
        std::vector<int> joining;
        for (const Item *item : taller) {
            for (int text : textsOf(*item)) {
                const QRect &box = m_texts[size_t(text)].box;
                const int shared = std::min(bottom, box.bottom()) - std::max(top, box.top()) + 1;
                if (2 * shared >= box.height())
                    joining.push_back(text);
                else if (box.top() <= bottom)
                    return std::nullopt; // a line of it beside the row that is not in it
            }
        }
        if (joining.empty())
            return std::nullopt;
        row.insert(row.end(), joining.begin(), joining.end());
        std::sort(row.begin(), row.end(), [&](int a, int b) { return m_texts[size_t(a)].box.left() < m_texts[size_t(b)].box.left(); });
        QStringList words;
        for (int text : row)
            words << m_texts[size_t(text)].text;
        QStringList lines{words.join(QLatin1Char(' '))};
        m_taken.insert(joining.begin(), joining.end());
        std::sort(taller.begin(), taller.end(), [](const Item *a, const Item *b) { return a->box.left() < b->box.left(); });
        for (const Item *item : taller) {
            forgetLinesOf(*item);
            lines << expand(*item);
        }
        return lines;
    }

    // Drops the lines worked out for an item's backgrounds, after some of their texts were taken.
    void forgetLinesOf(const Item &item)
    {
        if (item.node < 0)
            return;
        std::vector<int> pending{item.node};
        while (!pending.empty()) {
            Node &n = m_nodes[size_t(pending.back())];
            pending.pop_back();
            n.lines.reset();
            pending.insert(pending.end(), n.children.begin(), n.children.end());
        }
    }

    bool singleLine(const Item &item) { return expand(item).size() == 1; }

    // The two sides of a vertical gap are rows of one table: nearly every line of the side with
    // fewer lines has a partner across the gap, and the partners sit at one fixed offset (cells of
    // a row share their baseline; lines of two columns line up only now and then, at offsets
    // that drift).
    bool rowsOfATable(const std::vector<Item> &left, const std::vector<Item> &right)
    {
        std::vector<const Item *> a, b;
        for (const Item &item : left)
            if (singleLine(item))
                a.push_back(&item);
        for (const Item &item : right)
            if (singleLine(item))
                b.push_back(&item);
        if (a.size() > b.size())
            std::swap(a, b);
        if (a.empty() || wrapsAParagraph(a) || wrapsAParagraph(b))
            return false;
        std::vector<double> offsets;
        int height = 0;
        for (const Item *p : a) {
            const QRect &x = p->content;
            std::optional<double> best;
            int pairHeight = 0;
            for (const Item *q : b) {
                const QRect &y = q->content;
                const int low = std::min(x.height(), y.height()), high = std::max(x.height(), y.height());
                if (high > 2 * low || 2 * verticalOverlap(x, y) < low)
                    continue;
                const double offset = p->baseline - q->baseline;
                if (!best || std::abs(offset) < std::abs(*best)) {
                    best = offset;
                    pairHeight = high;
                }
            }
            if (best) {
                offsets.push_back(*best);
                height = std::max(height, pairHeight);
            }
        }
        // Nearly every line: a row may leave one cell empty (a line number beside an empty line
        // of code) however few rows there are.
        if (5 * offsets.size() < 4 * a.size() && !(offsets.size() >= 2 && offsets.size() + 1 >= a.size()))
            return false;
        std::vector<double> sorted = offsets;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double median = sorted[sorted.size() / 2];
        if (std::abs(median) > 0.35 * height)
            return false;
        const double tolerance = std::max(2.0, 0.25 * height);
        const auto steady = std::count_if(offsets.begin(), offsets.end(), [&](double o) { return std::abs(o - median) <= tolerance; });
        return 5 * steady >= 4 * qsizetype(offsets.size());
    }

    // Wrapped prose: two lines or more that are long (twelve times their height) and start and end
    // at the same edges, the width of the column they fill. Table cells are not wrapped text,
    // and long lines of code rarely share both edges.
    static bool wrapsAParagraph(const std::vector<const Item *> &lines)
    {
        int right = 0, widest = 0;
        for (const Item *line : lines) {
            right = std::max(right, line->content.right());
            widest = std::max(widest, line->content.width());
        }
        std::vector<QRect> filling; // long lines that reach the right edge
        for (const Item *line : lines) {
            const QRect &box = line->content;
            if (box.width() < 12 * box.height() || 100 * (right - box.right()) > 8 * widest)
                continue;
            for (const QRect &other : filling)
                if (2 * std::abs(other.left() - box.left()) <= box.height())
                    return true;
            filling.push_back(box);
        }
        return false;
    }

    // The two sides of a vertical gap take turns down the page instead of running side by side.
    static bool takeTurns(const std::vector<Item> &left, const std::vector<Item> &right)
    {
        auto cover = [](const std::vector<Item> &items) {
            std::vector<std::pair<int, int>> spans;
            for (const Item &item : items)
                spans.push_back({item.box.top(), item.box.bottom()});
            std::sort(spans.begin(), spans.end());
            std::vector<std::pair<int, int>> merged;
            for (auto span : spans) {
                if (!merged.empty() && span.first <= merged.back().second + 1)
                    merged.back().second = std::max(merged.back().second, span.second);
                else
                    merged.push_back(span);
            }
            return merged;
        };
        auto length = [](const std::vector<std::pair<int, int>> &spans) {
            qint64 total = 0;
            for (auto &span : spans)
                total += span.second - span.first + 1;
            return total;
        };
        const auto a = cover(left), b = cover(right);
        qint64 shared = 0;
        for (auto &x : a)
            for (auto &y : b)
                shared += std::max(0, std::min(x.second, y.second) - std::max(x.first, y.first) + 1);
        return 4 * shared < std::min(length(a), length(b));
    }

    struct Gap {
        int width = -1;
        int after = -1; // items [0, after] of the sorted list lie before the gap
    };

    template <typename Start, typename End>
    static std::vector<Gap> gaps(std::vector<Item> &items, Start start, End end)
    {
        std::sort(items.begin(), items.end(), [&](const Item &a, const Item &b) { return start(a) < start(b); });
        std::vector<Gap> found;
        int reach = end(items[0]);
        for (int i = 1; i < int(items.size()); ++i) {
            if (start(items[size_t(i)]) > reach)
                found.push_back({start(items[size_t(i)]) - reach - 1, i - 1});
            reach = std::max(reach, end(items[size_t(i)]));
        }
        return found;
    }

    // The columns a vertical gap leaves free, first to last.
    struct Span {
        int from = 0, to = -1;
        bool overlaps(const Span &other) const { return from <= other.to && other.from <= to; }
    };

    static Span spanOf(const std::vector<Item> &byX, const Gap &gap)
    {
        int reach = std::numeric_limits<int>::min();
        for (int i = 0; i <= gap.after; ++i)
            reach = std::max(reach, byX[size_t(i)].box.right());
        return {reach + 1, byX[size_t(gap.after + 1)].box.left() - 1};
    }

    QStringList split(std::vector<Item> items, int after, const std::vector<Span> &tableGaps)
    {
        std::vector<Item> first(items.begin(), items.begin() + after + 1), second(items.begin() + after + 1, items.end());
        QStringList lines = cut(std::move(first), tableGaps);
        lines << cut(std::move(second), tableGaps);
        return lines;
    }

    // `tableGaps`: the columns between the cells of a table that holds these items, as an
    // enclosing cut across it found them. A part of a table cut across keeps reading its rows
    // whole, also when the part is too small to tell a table by itself (a few rows, an empty
    // line); the sides of a cut along a gap are no longer one table.
    QStringList cut(std::vector<Item> items, std::vector<Span> tableGaps = {})
    {
        if (items.empty())
            return {};
        if (items.size() == 1)
            return expand(items[0]);
        int top = items[0].box.top(), bottom = items[0].box.bottom();
        for (const Item &item : items) {
            top = std::max(top, item.box.top());
            bottom = std::min(bottom, item.box.bottom());
        }
        if (top <= bottom)
            return row(std::move(items));

        std::vector<Item> byX = items;
        Gap vertical;
        for (const Gap &gap : gaps(byX, [](const Item &i) { return i.box.left(); }, [](const Item &i) { return i.box.right(); })) {
            if (gap.width <= vertical.width)
                continue;
            const Span span = spanOf(byX, gap);
            const bool knownTable = std::any_of(tableGaps.begin(), tableGaps.end(), [&](const Span &known) { return known.overlaps(span); });
            const std::vector<Item> left(byX.begin(), byX.begin() + gap.after + 1), right(byX.begin() + gap.after + 1, byX.end());
            if (knownTable || rowsOfATable(left, right))
                tableGaps.push_back(span);
            else if (!takeTurns(left, right))
                vertical = gap;
        }
        std::vector<Item> byY = items;
        Gap horizontal;
        for (const Gap &gap : gaps(byY, [](const Item &i) { return i.box.top(); }, [](const Item &i) { return i.box.bottom(); }))
            if (gap.width > horizontal.width)
                horizontal = gap;

        if (vertical.after >= 0 && vertical.width > horizontal.width)
            return split(std::move(byX), vertical.after, {});
        if (horizontal.after >= 0)
            return split(std::move(byY), horizontal.after, tableGaps);
        return rows(std::move(items));
    }

    // No gap at all: rows of items that share most of their height, top to bottom.
    QStringList rows(std::vector<Item> items)
    {
        std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.box.center().y() < b.box.center().y(); });
        QStringList lines;
        std::vector<Item> current;
        QRect band;
        for (const Item &item : items) {
            if (!current.empty() && 2 * verticalOverlap(band, item.box) < std::min(band.height(), item.box.height())) {
                lines << row(std::move(current));
                current.clear();
                band = QRect();
            }
            current.push_back(item);
            band |= item.box;
        }
        lines << row(std::move(current));
        return lines;
    }

    const std::vector<PlacedText> &m_texts;
    const std::vector<BackgroundRegion> &m_regions;
    std::vector<int> m_candidates;
    std::vector<Node> m_nodes;
    std::map<int, int> m_nodeOfRegion;
    std::set<int> m_taken; // texts read in a row of other backgrounds (rowWithItsTopLines)
};

} // namespace

QStringList readingOrder(const std::vector<PlacedText> &texts, const std::vector<BackgroundRegion> &regions)
{
    if (texts.empty())
        return {};
    return Orderer(texts, regions).order();
}

QStringList topToBottom(std::vector<PlacedText> texts)
{
    std::sort(texts.begin(), texts.end(), [](const PlacedText &a, const PlacedText &b) {
        return a.box.top() != b.box.top() ? a.box.top() < b.box.top() : a.box.left() < b.box.left();
    });
    QStringList lines;
    for (const PlacedText &text : texts)
        lines << text.text;
    return lines;
}

} // namespace Tellumo::detail
