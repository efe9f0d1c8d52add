#pragma once
// What the capture overlay draws over the veiled screen: a label with the selection's size in
// pixels and, while a region is being chosen, a magnifier with the pixels under the pointer
// enlarged and a crosshair.
//
// Geometry is in the overlay view's coordinates: points, origin at the bottom-left corner of
// the screen, y up. `draw` paints on a painter in widget coordinates (y down) of a view whose
// bounds are `bounds`; `toWidget` is the flip between the two.

#include "NativeAppAppearance/Appearance.h"

#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

namespace Kivaro::CaptureSelectionFeedback {

constexpr double magnifierSide = 112;
constexpr double magnifierInset = 7;
constexpr double magnifiedPixels = 15;

// "1280 × 720 px": each side rounded to the nearest whole number, halves away from zero.
QString sizeText(QSizeF pixelSize);
QFont labelFont();
// The label's rounded box for a text `textWidth` wide: above the selection when there is room
// below the top edge, else below it, never lower than 8 points, and ending at least 24 points
// before the right edge.
QRectF labelFrame(QRectF bounds, QRectF selection, double textWidth);

// The magnifier panel: up and to the right of the pointer, flipped to the other side near the
// right or top edge, kept 8 points inside the bounds.
QRectF magnifierFrame(QRectF bounds, QPointF pointer);

struct MagnifierSource {
    QRectF source;      // view points: 15 image pixels around the pointer, cut to the bounds
    QRectF destination; // view points: the matching part of the inner square, not stretched
};
// `scale` is image pixels per point.
MagnifierSource magnifierSource(QRectF bounds, QPointF pointer, double scale);

// The rectangles `draw` may paint, in widget coordinates; for partial repaints.
QList<QRectF> paintedAreas(QRectF bounds, QRectF selection, std::optional<QPointF> pointer, QSizeF pixelSize, bool region);

// `image` is the frozen screen, sized like `bounds` times its scale.
void draw(QPainter &painter, const QImage &image, QRectF bounds, QRectF selection, std::optional<QPointF> pointer,
          QSizeF pixelSize, double scale, bool region, NativeAppAppearance::Appearance appearance);

inline QRectF toWidget(const QRectF &rect, double viewHeight)
{
    return QRectF(rect.x(), viewHeight - rect.y() - rect.height(), rect.width(), rect.height());
}
inline QPointF toWidget(const QPointF &point, double viewHeight)
{
    return QPointF(point.x(), viewHeight - point.y());
}

} // namespace Kivaro::CaptureSelectionFeedback
