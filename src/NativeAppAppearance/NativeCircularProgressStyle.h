#pragma once
// A small indeterminate spinner look: three quarters of a circle (from 0.05 to 0.8 of a turn,
// clockwise from three o'clock) stroked in the label colour at 0.75, width 2 with round caps,
// within 12 × 12 points, turned by `rotation` degrees about its centre. It never shows a
// fraction or a label. NativeCircularProgress turns it once every 0.8 seconds.

#include "NativeAppAppearance/Appearance.h"

class QPainter;

namespace NativeAppAppearance {

struct NativeCircularProgressStyle {
    static constexpr qreal side = 12;
    static constexpr int turnMilliseconds = 800;
    static void paint(QPainter &painter, qreal rotation, Appearance appearance);
};

} // namespace NativeAppAppearance
