#include "Kivaro/controls/KivaroToggleStyle.h"

#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

namespace {
QFont labelFont()
{
    return NativeFonts::system(13);
}
} // namespace

QSizeF KivaroToggleStyle::sizeFor(const QString &label)
{
    const QFontMetricsF metrics(labelFont());
    const qreal text = label.isEmpty() ? 0 : spacing + std::ceil(metrics.horizontalAdvance(label));
    return {trackWidth + text, std::ceil(qMax(trackHeight, metrics.height()))};
}

void KivaroToggleStyle::paint(QPainter &painter, const QSizeF &size, const QString &label, bool on, bool enabled, Appearance appearance)
{
    const qreal top = (size.height() - trackHeight) / 2;
    const QColor track = on ? resolve(DynamicColor::controlAccent, appearance) : withAlpha(resolve(DynamicColor::label, appearance), 0.18);
    NativeDrawing::fillRoundedRect(painter, QRectF(0, top, trackWidth, trackHeight), trackHeight / 2, track);
    const qreal centreX = trackWidth / 2 + knobOffset(on);
    NativeDrawing::fillEllipse(painter, QRectF(centreX - 7, top + trackHeight / 2 - 7, 14, 14), Qt::white);
    const QColor text = resolve(enabled ? DynamicColor::label : DynamicColor::disabledControlText, appearance);
    NativeDrawing::drawText(painter, label, QRectF(trackWidth + spacing, 0, size.width() - trackWidth - spacing, size.height()),
                            labelFont(), text, Qt::AlignLeft, Qt::ElideRight);
}

} // namespace Kivaro
