#include "KivaroCore/RegionSelectionGesture.h"

#include "KivaroCore/Geometry.h"

#include <cmath>

namespace Kivaro {

using namespace Geometry;

namespace {
// Upper limit first, then the lower one: when the range is empty the lower limit wins.
double clamp(double v, double lo, double hi)
{
    double result = v > hi ? hi : v;
    return result < lo ? lo : result;
}
} // namespace

RegionSelectionGesture::RegionSelectionGesture(QPointF start, QRectF bounds)
    : m_bounds(bounds)
    , m_anchor(clamp(start.x(), minX(bounds), maxX(bounds)), clamp(start.y(), minY(bounds), maxY(bounds)))
    , m_endpoint(m_anchor)
    , m_lastPointer(start)
{
}

QRectF RegionSelectionGesture::rect() const
{
    const QPointF a = m_anchor;
    QPointF e = m_endpoint;
    if (m_square) {
        const double dx = e.x() - a.x();
        const double dy = e.y() - a.y();
        const double roomX = dx < 0 ? a.x() - minX(m_bounds) : maxX(m_bounds) - a.x();
        const double roomY = dy < 0 ? a.y() - minY(m_bounds) : maxY(m_bounds) - a.y();
        const double side = std::min({std::max(std::abs(dx), std::abs(dy)), roomX, roomY});
        e = QPointF(dx < 0 ? a.x() - side : a.x() + side, dy < 0 ? a.y() - side : a.y() + side);
    }
    return QRectF(std::min(a.x(), e.x()), std::min(a.y(), e.y()), std::abs(e.x() - a.x()), std::abs(e.y() - a.y()));
}

void RegionSelectionGesture::update(QPointF pointer, bool square, bool moving)
{
    m_square = square;
    if (!moving) {
        m_endpoint = QPointF(clamp(pointer.x() - m_pointerOffset.x(), minX(m_bounds), maxX(m_bounds)),
                             clamp(pointer.y() - m_pointerOffset.y(), minY(m_bounds), maxY(m_bounds)));
    } else {
        const QRectF r = rect();
        QPointF e = m_endpoint;
        if (m_square) {
            e.setX(m_anchor.x() <= e.x() ? m_anchor.x() + r.width() : m_anchor.x() - r.width());
            e.setY(m_anchor.y() <= e.y() ? m_anchor.y() + r.height() : m_anchor.y() - r.height());
        }
        double dx = pointer.x() - m_lastPointer.x();
        dx = std::min(dx, maxX(m_bounds) - maxX(r));
        dx = std::max(dx, minX(m_bounds) - minX(r));
        double dy = pointer.y() - m_lastPointer.y();
        dy = std::min(dy, maxY(m_bounds) - maxY(r));
        dy = std::max(dy, minY(m_bounds) - minY(r));
        m_anchor += QPointF(dx, dy);
        m_endpoint = e + QPointF(dx, dy);
        m_pointerOffset = pointer - m_endpoint;
    }
    m_lastPointer = pointer;
}

} // namespace Kivaro
