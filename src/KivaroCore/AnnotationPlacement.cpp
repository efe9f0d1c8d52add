#include "KivaroCore/AnnotationPlacement.h"

#include "KivaroCore/Geometry.h"

#include <cmath>
#include <limits>

namespace Kivaro::AnnotationPlacement {

using namespace Geometry;

std::optional<QPointF> imagePoint(QPointF viewPoint, QSizeF viewSize, QRectF visibleFrame)
{
    if (!(viewSize.width() > 0) || !(viewSize.height() > 0))
        return std::nullopt;
    return QPointF(minX(visibleFrame) + viewPoint.x() / viewSize.width() * visibleFrame.width(),
                   minY(visibleFrame) + viewPoint.y() / viewSize.height() * visibleFrame.height());
}

QRectF bubble(QPointF anchor, QSizeF size, QRectF bounds, const QList<QRectF> &occupied)
{
    const double w = std::min(size.width(), std::max(bounds.width() - 24, 1.0));
    const double h = std::min(size.height(), std::max(bounds.height() - 24, 1.0));
    const QPointF offsets[] = {
        {34, -28 - h}, {-34 - w, -28 - h}, {34, 28}, {-34 - w, 28}, {-w / 2, -56 - h}, {-w / 2, 56},
    };
    const auto score = [&](const QRectF &r) {
        double overlap = 0;
        for (const QRectF &other : occupied)
            overlap += intersectionArea(r, insetBy(other, -12, -12));
        double total = 100 * overlap;
        if (contains(insetBy(r, -16, -16), anchor))
            total += 1'000'000;
        return total + distance(center(r), anchor);
    };
    QRectF best;
    double bestScore = std::numeric_limits<double>::infinity();
    bool first = true;
    for (const QPointF &offset : offsets) {
        // The lower limit is applied last, so it wins when the bounds are too small.
        const double x = std::max(minX(bounds) + 12, std::min(maxX(bounds) - w - 12, anchor.x() + offset.x()));
        const double y = std::max(minY(bounds) + 12, std::min(maxY(bounds) - h - 12, anchor.y() + offset.y()));
        const QRectF candidate(x, y, w, h);
        const double s = score(candidate);
        if (first || s < bestScore) {
            best = candidate;
            bestScore = s;
            first = false;
        }
    }
    return best;
}

QPointF connectorStart(QRectF bubble, QPointF anchor)
{
    const QPointF c = center(bubble);
    const QPointF d = anchor - c;
    if (d.x() == 0 && d.y() == 0)
        return c;
    double t = d.x() != 0 ? (bubble.width() / 2) / std::abs(d.x()) : std::numeric_limits<double>::infinity();
    if (d.y() != 0)
        t = std::min(t, (bubble.height() / 2) / std::abs(d.y()));
    return c + d * t;
}

} // namespace Kivaro::AnnotationPlacement
