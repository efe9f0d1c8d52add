#pragma once
// The text-field look of the settings views: a plain field (no platform frame) padded 12 × 9
// inside a rounded rectangle (radius 8) filled with the label colour at 0.04 and outlined with
// it at 0.16. `apply` gives a QLineEdit this look; the line edit keeps doing the editing.

#include "NativeAppAppearance/Appearance.h"

#include <QSizeF>

class QLineEdit;
class QPainter;

namespace Kivaro {

struct KivaroFieldStyle {
    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 9;

    static void apply(QLineEdit *field);
    static void paintBackground(QPainter &painter, const QSizeF &size, NativeAppAppearance::Appearance appearance);
};

} // namespace Kivaro
