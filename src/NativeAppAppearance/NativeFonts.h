#pragma once
// The kit's user-interface font: the application's sans-serif family at a size in points
// (layout units, which are device-independent pixels here), with a CJK face as fallback so
// Chinese titles never render as boxes.

#include <QFont>

namespace NativeAppAppearance::NativeFonts {

QFont system(qreal size, QFont::Weight weight = QFont::Normal);

} // namespace NativeAppAppearance::NativeFonts
