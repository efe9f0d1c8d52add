#pragma once
// A small indeterminate spinner look: three quarters of a circle (from 0.05 to 0.8 of a turn,
// clockwise from three o'clock) of a circle 12 points across, stroked on that circle in the label
// colour at 0.75, width 2 with round caps, turned by `rotation` degrees about its centre. The
// stroke's outer half lies outside the 12-point frame, so it is painted in a square of `extent`
// points with the circle centred. It never shows a fraction or a label. NativeCircularProgress
// turns it once every 0.8 seconds.

#include "NativeAppAppearance/Appearance.h"

class QPainter;

namespace NativeAppAppearance {

struct NativeCircularProgressStyle {
    static constexpr qreal side = 12;
    static constexpr qreal lineWidth = 2;
    static constexpr qreal extent = side + lineWidth;
    static constexpr int turnMilliseconds = 800;
    static void paint(QPainter &painter, qreal rotation, Appearance appearance);
};

} // namespace NativeAppAppearance
