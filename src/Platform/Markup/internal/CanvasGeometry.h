#pragma once
// Geometry of the canvas's selection handles and of moving and resizing, in markup coordinates.

#include <QPointF>
#include <QRectF>

#include <array>

namespace Platform::CanvasGeometry {

// Handles in the order: top-left, top, top-right, right, bottom-right, bottom, bottom-left, left.
inline constexpr int kHandleCount = 8;
std::array<QPointF, kHandleCount> handlePositions(const QRectF &frame);

// The frame after dragging handle `handle` by `delta`; edges never cross (a side stays at
// least `minimumSide` long).
QRectF resizedFrame(const QRectF &frame, int handle, const QPointF &delta, double minimumSide = 1.0);

} // namespace Platform::CanvasGeometry
