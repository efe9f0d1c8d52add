#include "NativeAppAppearance/NativeSoftButtonStyle.h"

#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace NativeAppAppearance {

namespace {
QFont labelFont()
{
    return NativeFonts::system(13, QFont::Medium);
}
} // namespace

QSizeF NativeSoftButtonStyle::sizeFor(const QString &label) const
{
    const QFontMetricsF metrics(labelFont());
    return {std::ceil(metrics.horizontalAdvance(label)) + 2 * horizontalPadding, std::ceil(metrics.height()) + 2 * verticalPadding};
}

void NativeSoftButtonStyle::paint(QPainter &painter, const QSizeF &size, const QString &label, bool pressed, bool enabled,
                                  Appearance appearance) const
{
    painter.save();
    painter.setOpacity(painter.opacity() * (enabled ? 1.0 : 0.5));
    const QRectF shape(QPointF(0, 0), size);
    NativeDrawing::fillRoundedRect(painter, shape, 8, withAlpha(accent, pressed ? 0.16 : 0.10));
    NativeDrawing::strokeRoundedRect(painter, shape.adjusted(0.5, 0.5, -0.5, -0.5), 8, withAlpha(accent, 0.22), 1);
    NativeDrawing::drawText(painter, label, shape.adjusted(horizontalPadding, 0, -horizontalPadding, 0), labelFont(),
                            resolve(DynamicColor::label, appearance), Qt::AlignHCenter, Qt::ElideRight);
    painter.restore();
}

} // namespace NativeAppAppearance
