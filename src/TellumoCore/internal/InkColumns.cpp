#include "TellumoCore/internal/InkColumns.h"

#include <algorithm>

namespace Tellumo::detail {

namespace {

constexpr int kInk = 60; // darker than white by this much is ink
constexpr double kWordGapOfHeight = 0.2;
constexpr int kWordGapOfUsual = 3;

} // namespace

InkColumns::InkColumns(const QImage &picture) : m_ink(size_t(std::max(0, picture.width())), 0), m_top(picture.height())
{
    Q_ASSERT(picture.format() == QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height(); ++y) {
        const uchar *row = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            if (255 - row[x] > kInk) {
                ++m_ink[size_t(x)];
                m_top = std::min(m_top, y);
                m_bottom = std::max(m_bottom, y);
            }
        }
    }
    // The median blank run between the first and the last inked column.
    std::vector<int> gaps;
    int run = 0;
    bool inked = false;
    for (int count : m_ink) {
        if (count > 0) {
            if (inked && run > 0)
                gaps.push_back(run);
            inked = true;
            run = 0;
        } else {
            ++run;
        }
    }
    if (!gaps.empty()) {
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        m_usualGap = gaps[gaps.size() / 2];
    }
}

bool InkColumns::partsWords(int columns) const
{
    return columns > 0 && columns >= kWordGapOfHeight * height() && columns >= kWordGapOfUsual * m_usualGap;
}

int InkColumns::widestBlank(int from, int to) const
{
    from = std::max(0, from);
    to = std::min(width(), to);
    int widest = 0, run = 0;
    for (int x = from; x < to; ++x) {
        run = m_ink[size_t(x)] == 0 ? run + 1 : 0;
        widest = std::max(widest, run);
    }
    return widest;
}

} // namespace Tellumo::detail
