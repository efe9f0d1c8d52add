#pragma once
// The region a drag selects on the capture overlay, always inside the overlay's bounds.
// Shift makes it a square; Space moves the whole rectangle instead of resizing it, and resizing
// resumes afterwards without the corner jumping to the pointer. Points in the overlay view's
// coordinates (origin bottom left, y up).

#include <QPointF>
#include <QRectF>

namespace Kivaro {

class RegionSelectionGesture final {
public:
    RegionSelectionGesture(QPointF start, QRectF bounds);

    QRectF bounds() const { return m_bounds; }
    QPointF anchor() const { return m_anchor; }
    QPointF endpoint() const { return m_endpoint; }
    QPointF lastPointer() const { return m_lastPointer; }
    QPointF pointerOffset() const { return m_pointerOffset; }
    bool square() const { return m_square; }

    QRectF rect() const;
    void update(QPointF pointer, bool square, bool moving);

private:
    QRectF m_bounds;
    QPointF m_anchor;
    QPointF m_endpoint;
    QPointF m_lastPointer;
    QPointF m_pointerOffset;
    bool m_square = false;
};

} // namespace Kivaro
