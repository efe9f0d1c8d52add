#pragma once
// Numbered-step markers: the number the next marker shows and the marker itself.

#include "Kivaro/document/NumberedStep.h"

#include "Platform/Markup/Markup.h"

#include <optional>

namespace Kivaro::StepMarkers {

inline constexpr double kSide = 44;

// The highest number among the steps whose shape is in `markup`, plus one; 1 when none is.
qint64 nextNumber(const Platform::Markup &markup, const QList<NumberedStep> &steps);

// A 44 × 44 accent disc showing `number`, centred on `point` as far as the canvas allows and
// always wholly inside it; none when the point is outside `bounds` (the right and bottom edges
// count as outside) or the canvas is narrower or lower than the marker. Markup coordinates.
std::optional<Platform::ShapeElement> marker(QPointF point, const QRectF &bounds, qint64 number);

} // namespace Kivaro::StepMarkers
