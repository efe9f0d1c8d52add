#include "Platform/Markup/internal/CanvasGeometry.h"

namespace Platform::CanvasGeometry {

std::array<QPointF, kHandleCount> handlePositions(const QRectF &f)
{
    const QRectF r = f.normalized();
    const double cx = r.center().x(), cy = r.center().y();
    return {QPointF(r.left(), r.top()), QPointF(cx, r.top()),      QPointF(r.right(), r.top()), QPointF(r.right(), cy),
            QPointF(r.right(), r.bottom()), QPointF(cx, r.bottom()), QPointF(r.left(), r.bottom()), QPointF(r.left(), cy)};
}

QRectF resizedFrame(const QRectF &frame, int handle, const QPointF &delta, double minimumSide)
{
    QRectF r = frame.normalized();
    double left = r.left(), top = r.top(), right = r.right(), bottom = r.bottom();
    const bool movesLeft = handle == 0 || handle == 6 || handle == 7;
    const bool movesRight = handle == 2 || handle == 3 || handle == 4;
    const bool movesTop = handle == 0 || handle == 1 || handle == 2;
    const bool movesBottom = handle == 4 || handle == 5 || handle == 6;
    if (movesLeft)
        left = qMin(left + delta.x(), right - minimumSide);
    if (movesRight)
        right = qMax(right + delta.x(), left + minimumSide);
    if (movesTop)
        top = qMin(top + delta.y(), bottom - minimumSide);
    if (movesBottom)
        bottom = qMax(bottom + delta.y(), top + minimumSide);
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace Platform::CanvasGeometry
