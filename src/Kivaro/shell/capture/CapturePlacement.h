#pragma once
// Where a capture was taken: the captured screen's frame and the captured area, both in global
// model points, and the frozen image of that whole screen in pixels at its backing scale.

#include <QImage>
#include <QRectF>

namespace Kivaro {

struct CapturePlacement {
    QRectF screen;
    QRectF frame;
    QImage background;
};

} // namespace Kivaro
