#include "TellumoCore/internal/PixelStrips.h"

namespace Tellumo::detail {

PixelStrips::PixelStrips(int width, int height, int count) : m_width(width)
{
    count = std::clamp(count, 1, std::max(1, height));
    for (int k = 0; k < count; ++k)
        m_strips.push_back({int(qint64(height) * k / count), int(qint64(height) * (k + 1) / count)});
}

size_t PixelStrips::stripOf(int32_t index) const
{
    const int y = index / m_width;
    return size_t(std::upper_bound(m_strips.begin(), m_strips.end(), y, [](int row, const Strip &strip) { return row < strip.bottom; }) -
                  m_strips.begin());
}

} // namespace Tellumo::detail
