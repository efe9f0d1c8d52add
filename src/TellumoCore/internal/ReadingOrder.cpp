#include "TellumoCore/internal/ReadingOrder.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>

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
                items.push_back({m_texts[size_t(text)].box, m_texts[size_t(text)].box, m_texts[size_t(text)].baseline, text, -1});
            for (int child : n.children) {
                const Node &c = m_nodes[size_t(child)];
                if (!c.content.isEmpty())
                    items.push_back({c.box, c.content, c.baseline, -1, child});
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

    // The texts of an item when it and every background inside it hold one row of text (each
    // shares most of its height with the row's band), else none.
    std::vector<int> rowOfTexts(const Item &item) const
    {
        if (item.text >= 0)
            return {item.text};
        std::vector<int> texts;
        std::vector<int> pending{item.node};
        while (!pending.empty()) {
            const Node &n = m_nodes[size_t(pending.back())];
            pending.pop_back();
            texts.insert(texts.end(), n.texts.begin(), n.texts.end());
            pending.insert(pending.end(), n.children.begin(), n.children.end());
        }
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
        if (5 * offsets.size() < 4 * a.size())
            return false;
        std::vector<double> sorted = offsets;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double median = sorted[sorted.size() / 2];
        if (std::abs(median) > 0.35 * height)
            return false;
        const double tolerance = std::max(2.0, 0.25 * height);
        const auto steady = std::count_if(offsets.begin(), offsets.end(), [&](double o) { return std::abs(o - median) <= tolerance; });
        return 5 * steady >= 4 * qsizetype(a.size());
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

    QStringList split(std::vector<Item> items, int after)
    {
        std::vector<Item> first(items.begin(), items.begin() + after + 1), second(items.begin() + after + 1, items.end());
        QStringList lines = cut(std::move(first));
        lines << cut(std::move(second));
        return lines;
    }

    QStringList cut(std::vector<Item> items)
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
            const std::vector<Item> left(byX.begin(), byX.begin() + gap.after + 1), right(byX.begin() + gap.after + 1, byX.end());
            if (!rowsOfATable(left, right) && !takeTurns(left, right))
                vertical = gap;
        }
        std::vector<Item> byY = items;
        Gap horizontal;
        for (const Gap &gap : gaps(byY, [](const Item &i) { return i.box.top(); }, [](const Item &i) { return i.box.bottom(); }))
            if (gap.width > horizontal.width)
                horizontal = gap;

        if (vertical.after >= 0 && vertical.width > horizontal.width)
            return split(std::move(byX), vertical.after);
        if (horizontal.after >= 0)
            return split(std::move(byY), horizontal.after);
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
