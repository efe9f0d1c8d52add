#include "NativeAppAppearance/NativeCircularProgressStyle.h"

#include <QPainter>

namespace NativeAppAppearance {

void NativeCircularProgressStyle::paint(QPainter &painter, qreal rotation, Appearance appearance)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(side / 2, side / 2);
    painter.rotate(rotation);
    painter.translate(-side / 2, -side / 2);
    painter.setPen(QPen(withAlpha(resolve(DynamicColor::label, appearance), 0.75), 2, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
    // The stroke is centred on the circle; inset by half its width so it stays within the square.
    // Qt's angles run counter-clockwise from three o'clock, hence the negative start and span.
    painter.drawArc(QRectF(1, 1, side - 2, side - 2), int(-0.05 * 360 * 16), int(-0.75 * 360 * 16));
    painter.restore();
}

} // namespace NativeAppAppearance
