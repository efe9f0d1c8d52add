#pragma once
// A text bubble tied to an arrow: both are shapes of the markup; `anchor` is the picture point
// the arrow points at, in markup coordinates.

#include "Platform/Markup/MarkupID.h"

#include <QPointF>

namespace Kivaro {

struct AnnotationLink {
    Platform::MarkupID<Platform::ShapeElement> bubbleID;
    Platform::MarkupID<Platform::ShapeElement> arrowID;
    QPointF anchor;

    // Exact, not QPointF's fuzzy comparison: a change of the anchor is a change of the document.
    friend bool operator==(const AnnotationLink &a, const AnnotationLink &b)
    {
        return a.bubbleID == b.bubbleID && a.arrowID == b.arrowID && a.anchor.x() == b.anchor.x() && a.anchor.y() == b.anchor.y();
    }
};

} // namespace Kivaro
