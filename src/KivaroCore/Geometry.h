#pragma once
// Rectangle helpers with the semantics the model's geometry is written in: a rectangle is an
// origin (its minimum corner) and a size, in whichever space the caller works in (y up for
// screen points, y down for image pixels), so "min" and "max" never mean "top" or "bottom".
// QRectF's own top()/bottom() name a y-down world and are not used on model geometry.

#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace Kivaro::Geometry {

inline double minX(const QRectF &r) { return std::min(r.x(), r.x() + r.width()); }
inline double maxX(const QRectF &r) { return std::max(r.x(), r.x() + r.width()); }
inline double minY(const QRectF &r) { return std::min(r.y(), r.y() + r.height()); }
inline double maxY(const QRectF &r) { return std::max(r.y(), r.y() + r.height()); }
inline double midX(const QRectF &r) { return r.x() + r.width() / 2; }
inline double midY(const QRectF &r) { return r.y() + r.height() / 2; }
inline QPointF center(const QRectF &r) { return {midX(r), midY(r)}; }

// Half-open containment: the minimum edges belong to the rectangle, the maximum edges do not.
inline bool contains(const QRectF &r, const QPointF &p)
{
    return r.width() > 0 && r.height() > 0 && p.x() >= minX(r) && p.x() < maxX(r) && p.y() >= minY(r) && p.y() < maxY(r);
}

// Grows (negative d) or shrinks (positive d) the rectangle on every side.
inline QRectF insetBy(const QRectF &r, double dx, double dy)
{
    return QRectF(r.x() + dx, r.y() + dy, r.width() - 2 * dx, r.height() - 2 * dy);
}

// The area two rectangles share; 0 when they do not overlap.
inline double intersectionArea(const QRectF &a, const QRectF &b)
{
    const double w = std::min(maxX(a), maxX(b)) - std::max(minX(a), minX(b));
    const double h = std::min(maxY(a), maxY(b)) - std::max(minY(a), minY(b));
    return w > 0 && h > 0 ? w * h : 0.0;
}

inline double distance(const QPointF &a, const QPointF &b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace Kivaro::Geometry
