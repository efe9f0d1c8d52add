#pragma once
// The elements the drawing tools make, as pure functions of markup coordinates.
//
// A shape drag: both points clamped into the canvas bounds; refused when they end up less than
// 6 apart. Arrow and line are a line in a frame grown by 12 on every side (so the pen's width
// and the arrow head stay inside the frame), given in unit coordinates of that frame;
// rectangle and ellipse fill the spanned frame and are refused when it is narrower or lower
// than 6. No fill, opacity 1, default width 5 for the arrow and 3 for the others.
//
// A freehand stroke: one point per input point, in order, unsmoothed, 1/60 s apart, each the
// stroke's width in both directions, full force and opacity, the pen upright.

#include "Kivaro/document/DrawingTool.h"

#include "Platform/Markup/ShapeElement.h"
#include "Platform/Markup/StrokeElement.h"

#include <QList>

#include <optional>

namespace Kivaro::DrawingEdits {

inline constexpr double kMinimumDrag = 6.0;
inline constexpr double kLineInset = 12.0;

// The default line width of a tool when none was chosen.
double defaultWidth(DrawingTool tool);

// `point` moved into `bounds` (its maximum edges included).
QPointF clamped(QPointF point, const QRectF &bounds);

// The shape for a drag of arrow, rectangle, ellipse or line from `from` to `to`; none when the
// drag is refused or the tool makes no shape (step, pen).
std::optional<Platform::ShapeElement> shape(DrawingTool tool, QPointF from, QPointF to, const QRectF &bounds,
                                            std::optional<QColor> color, std::optional<double> width);

// The stroke through `points` (at least two); none for fewer. `creationDate` in seconds since 1970.
std::optional<Platform::StrokeElement> stroke(const QList<QPointF> &points, const QColor &color, double width, double creationDate);

} // namespace Kivaro::DrawingEdits
