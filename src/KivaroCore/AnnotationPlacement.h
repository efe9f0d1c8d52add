#pragma once
// Where text bubbles go: view-to-image mapping, the placement of a new bubble near the point
// it annotates (inside the canvas, clear of other bubbles, off its own anchor) and the point
// where its connector leaves the bubble. Pure functions over one coordinate space.

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace Kivaro::AnnotationPlacement {

std::optional<QPointF> imagePoint(QPointF viewPoint, QSizeF viewSize, QRectF visibleFrame);
QRectF bubble(QPointF anchor, QSizeF size, QRectF bounds, const QList<QRectF> &occupied);
QPointF connectorStart(QRectF bubble, QPointF anchor);

} // namespace Kivaro::AnnotationPlacement
