#include "Kivaro/controls/KivaroScroller.h"

#include "Kivaro/controls/internal/KivaroScrollerStyle.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>
#include <QStyleOptionSlider>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroScroller::KivaroScroller(Qt::Orientation orientation, QWidget *parent) : QScrollBar(orientation, parent)
{
    setStyle(KivaroScrollerStyle::instance());
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QPair<int, int> KivaroScroller::knobSpan(int length, int minimum, int maximum, int pageStep, int value)
{
    const qint64 range = qint64(maximum) - minimum;
    if (length <= 0 || range <= 0)
        return {0, 0};
    const int minimumKnob = qMin(24, length);
    const qint64 total = range + qMax(0, pageStep);
    int knob = int(qint64(length) * qMax(0, pageStep) / qMax<qint64>(1, total));
    knob = qBound(minimumKnob, knob, length);
    const int travel = length - knob;
    const qint64 offset = qBound<qint64>(0, qint64(value) - minimum, range);
    return {int(travel * offset / range), knob};
}

QRect KivaroScroller::knobRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void KivaroScroller::paintKnob(QPainter &painter, const QRectF &knob, Appearance appearance)
{
    if (knob.isEmpty())
        return;
    NativeDrawing::fillRoundedRect(painter, knob.adjusted(3, 2, -3, -2), 4, withAlpha(resolve(DynamicColor::secondaryLabel, appearance), 0.45));
}

void KivaroScroller::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintKnob(painter, knobRect(), AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace Kivaro
