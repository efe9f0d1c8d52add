#pragma once
// The switch look of the settings views: a 34 × 20 capsule, accent when on and the label colour
// at 0.18 when off, with a white 14-point knob 7 points right of its centre when on and 7 left
// when off; the toggle's own label follows 12 points after it, the two centred vertically.

#include "NativeAppAppearance/Appearance.h"

#include <QSizeF>
#include <QString>

class QPainter;

namespace Kivaro {

struct KivaroToggleStyle {
    static constexpr qreal trackWidth = 34;
    static constexpr qreal trackHeight = 20;
    static constexpr qreal spacing = 12;

    static QSizeF sizeFor(const QString &label);
    // The knob's centre relative to the capsule's centre: +7 on, −7 off.
    static qreal knobOffset(bool on) { return on ? 7 : -7; }
    static void paint(QPainter &painter, const QSizeF &size, const QString &label, bool on, bool enabled,
                      NativeAppAppearance::Appearance appearance);
};

} // namespace Kivaro
