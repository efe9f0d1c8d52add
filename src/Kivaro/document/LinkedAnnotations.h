#pragma once
// The consistency pass every document operation, the renderer, saving and the recent shots run
// over a state before they use it. Pure: takes a state, returns the repaired state.
//
// The canvas knows nothing of the ties between elements; the user moves, resizes or deletes
// either half of a pair on its own. The pass, in this order:
// 1. Linked bubbles, in the order of `links`. A link whose bubble or arrow is gone loses the
//    other half too. Otherwise the bubble is restyled (outline in the link colour, text
//    re-aligned for its width, select/move/resize/style) and the arrow rebuilt from the
//    bubble's current frame to the anchor, both in place in the drawing order. The link colour
//    is the bubble's outline, unless that is the neutral grey (0.82) of an unstyled bubble:
//    then the old arrow's colour, else the accent. An arrow 1.5 wide becomes 3.
// 2. Plain masks (a mask without a mosaic link) become opaque black rectangles on top.
// 3. The mosaic step: each mask's pixelated patch refitted to it, the pairs on top of all.
// 4. Side tables: entries whose elements are gone stay (the canvas's own undo can bring
//    those elements back), but only the most recent ones and never past what a project file
//    may hold (see internal/SideTables.h). Otherwise only the markup changes.

#include "Kivaro/document/ShotState.h"

#include <QColor>

namespace Kivaro::LinkedAnnotations {

// The arrow colour: the annotation accent.
const QColor &accent();

ShotState reconcile(const ShotState &state);

// The arrow of a link: a quadratic curve from where the ray from the bubble's centre toward
// `anchor` leaves `bubble`, bent up to 14 points to one side, ending in an arrow head on
// `anchor`. Accent colour, 3 wide, only selectable. Markup coordinates.
Platform::ShapeElement arrow(const QRectF &bubble, QPointF anchor, const Platform::MarkupID<Platform::ShapeElement> &id);

} // namespace Kivaro::LinkedAnnotations
