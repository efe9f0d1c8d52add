#pragma once
// The tab-button look of the settings views: the label (and an optional leading symbol) in the
// 13-point medium font, accent-coloured when `selected`, secondary otherwise; padded 14 × 9 on
// a rounded rectangle (radius 9) filled with the accent at 0.13 when selected, 0.08 while an
// unselected tab is pressed, nothing otherwise, and outlined with the accent at 0.25 only when
// selected.

#include "NativeAppAppearance/Appearance.h"

#include <QSizeF>
#include <QString>

class QPainter;

namespace Kivaro {

struct KivaroTabStyle {
    bool selected = false;

    QSizeF sizeFor(const QString &label, bool hasSymbol) const;
    void paint(QPainter &painter, const QSizeF &size, const QString &label, const QString &symbol, bool pressed,
               NativeAppAppearance::Appearance appearance) const;
};

} // namespace Kivaro
