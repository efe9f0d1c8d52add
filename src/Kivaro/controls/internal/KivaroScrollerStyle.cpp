#include "Kivaro/controls/internal/KivaroScrollerStyle.h"

#include "Kivaro/controls/KivaroScroller.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStyleOptionSlider>

namespace Kivaro {

KivaroScrollerStyle::KivaroScrollerStyle() : QProxyStyle(static_cast<QStyle *>(nullptr)) {}

KivaroScrollerStyle *KivaroScrollerStyle::instance()
{
    static QPointer<KivaroScrollerStyle> style;
    if (!style) {
        style = new KivaroScrollerStyle();
        if (QCoreApplication::instance())
            style->setParent(QCoreApplication::instance());
    }
    return style;
}

QRect KivaroScrollerStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                                          const QWidget *widget) const
{
    const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (control != CC_ScrollBar || !slider)
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    const QRect bounds = slider->rect;
    const bool vertical = slider->orientation == Qt::Vertical;
    const int length = vertical ? bounds.height() : bounds.width();
    switch (subControl) {
    case SC_ScrollBarGroove:
        return bounds;
    case SC_ScrollBarSlider: {
        if (slider->maximum <= slider->minimum)
            return {};
        const auto [start, size] = KivaroScroller::knobSpan(length, slider->minimum, slider->maximum, slider->pageStep,
                                                            slider->sliderPosition);
        return vertical ? QRect(bounds.x(), bounds.y() + start, bounds.width(), size)
                        : QRect(bounds.x() + start, bounds.y(), size, bounds.height());
    }
    case SC_ScrollBarAddPage:
    case SC_ScrollBarSubPage: {
        const QRect knob = subControlRect(control, option, SC_ScrollBarSlider, widget);
        if (knob.isEmpty())
            return {};
        if (vertical)
            return subControl == SC_ScrollBarSubPage ? QRect(bounds.left(), bounds.top(), bounds.width(), knob.top() - bounds.top())
                                                     : QRect(bounds.left(), knob.bottom() + 1, bounds.width(), bounds.bottom() - knob.bottom());
        return subControl == SC_ScrollBarSubPage ? QRect(bounds.left(), bounds.top(), knob.left() - bounds.left(), bounds.height())
                                                 : QRect(knob.right() + 1, bounds.top(), bounds.right() - knob.right(), bounds.height());
    }
    default:
        return {}; // no arrow buttons, no first/last buttons
    }
}

int KivaroScrollerStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    if (metric == PM_ScrollBarExtent)
        return KivaroScroller::thickness;
    if (metric == PM_ScrollBarSliderMin)
        return 24;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

} // namespace Kivaro
