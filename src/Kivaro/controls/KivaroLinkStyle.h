#pragma once
// The link-like button look: the label alone in the system font (12 points unless a place asks
// for another size) and the accent colour, at 0.6 opacity while pressed; no background, border or
// underline.

#include "NativeAppAppearance/Appearance.h"

#include <QSizeF>
#include <QString>

class QPainter;

namespace Kivaro {

struct KivaroLinkStyle {
    static constexpr qreal defaultPointSize = 12;
    static QSizeF sizeFor(const QString &label, qreal pointSize = defaultPointSize);
    static void paint(QPainter &painter, const QSizeF &size, const QString &label, bool pressed, NativeAppAppearance::Appearance appearance,
                      qreal pointSize = defaultPointSize);
};

} // namespace Kivaro
