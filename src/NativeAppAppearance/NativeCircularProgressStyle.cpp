#include "NativeAppAppearance/NativeCircularProgressStyle.h"

#include <QPainter>

namespace NativeAppAppearance {

void NativeCircularProgressStyle::paint(QPainter &painter, qreal rotation, Appearance appearance)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(extent / 2, extent / 2);
    painter.rotate(rotation);
    painter.setPen(QPen(withAlpha(resolve(DynamicColor::label, appearance), 0.75), lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
    // Qt's angles run counter-clockwise from three o'clock, hence the negative start and span.
    painter.drawArc(QRectF(-side / 2, -side / 2, side, side), int(-0.05 * 360 * 16), int(-0.75 * 360 * 16));
    painter.restore();
}

} // namespace NativeAppAppearance
