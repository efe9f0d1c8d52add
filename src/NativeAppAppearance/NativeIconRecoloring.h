#pragma once
// Makes a palette-coloured copy of an application icon: pixels whose hue lies within 0.24 of a
// turn of the icon's dominant hue move to the target colour's hue (keeping their spread around
// it, shrunk to 0.18, and their brightness); transparent, grey, weakly coloured pixels and
// other hues stay as they are. The source is stretched to a `size` × `size` square.
//
// Whenever the work cannot be done (no pixels, a size that cannot be allocated) the source image
// itself comes back, sharing its data.

#include <QColor>
#include <QImage>

namespace NativeAppAppearance::NativeIconRecoloring {

QImage replacingDominantHue(const QImage &source, double baseHue, const QColor &target, int size);

struct HueSaturation {
    double hue;        // 0...1 of a turn
    double saturation; // 0...1
};
HueSaturation rgbToHSV(double red, double green, double blue);

// The largest output side accepted (4 × side × side bytes must stay allocatable).
constexpr int maximumSize = 8192;

} // namespace NativeAppAppearance::NativeIconRecoloring
