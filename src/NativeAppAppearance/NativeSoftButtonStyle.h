#pragma once
// A quiet tinted button look: the label in the 13-point medium font and the label colour
// (never the accent), padded 14 × 8, on a rounded rectangle (radius 8) filled with the accent
// at 0.10 (0.16 while pressed) and outlined with the accent at 0.22; the whole at half opacity
// when disabled. NativeSoftButton is the button that wears it.

#include "NativeAppAppearance/Appearance.h"

#include <QColor>
#include <QSizeF>
#include <QString>

class QPainter;

namespace NativeAppAppearance {

struct NativeSoftButtonStyle {
    QColor accent;

    QSizeF sizeFor(const QString &label) const;
    void paint(QPainter &painter, const QSizeF &size, const QString &label, bool pressed, bool enabled, Appearance appearance) const;

    static constexpr qreal horizontalPadding = 14;
    static constexpr qreal verticalPadding = 8;
};

} // namespace NativeAppAppearance
