#pragma once
// The link-like button look: the label alone in the 12-point font and the accent colour, at
// 0.6 opacity while pressed; no background, border or underline.

#include "NativeAppAppearance/Appearance.h"

#include <QSizeF>
#include <QString>

class QPainter;

namespace Kivaro {

struct KivaroLinkStyle {
    static QSizeF sizeFor(const QString &label);
    static void paint(QPainter &painter, const QSizeF &size, const QString &label, bool pressed, NativeAppAppearance::Appearance appearance);
};

} // namespace Kivaro
