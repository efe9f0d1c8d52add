#include "Kivaro/controls/KivaroLinkStyle.h"

#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

QSizeF KivaroLinkStyle::sizeFor(const QString &label, qreal pointSize)
{
    const QFontMetricsF metrics(NativeFonts::system(pointSize));
    return {std::ceil(metrics.horizontalAdvance(label)) + 1, std::ceil(metrics.height())};
}

void KivaroLinkStyle::paint(QPainter &painter, const QSizeF &size, const QString &label, bool pressed, Appearance appearance, qreal pointSize)
{
    painter.save();
    painter.setOpacity(painter.opacity() * (pressed ? 0.6 : 1.0));
    NativeDrawing::drawText(painter, label, QRectF(QPointF(0, 0), size), NativeFonts::system(pointSize), resolve(DynamicColor::controlAccent, appearance),
                            Qt::AlignLeft, Qt::ElideRight);
    painter.restore();
}

} // namespace Kivaro
