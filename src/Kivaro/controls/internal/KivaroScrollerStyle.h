#pragma once
// The geometry of KivaroScroller: the groove is the whole bar, there are no arrow buttons, and
// the knob is proportional to the page with a minimum length.

#include <QProxyStyle>

namespace Kivaro {

class KivaroScrollerStyle final : public QProxyStyle {
    Q_OBJECT
public:
    static KivaroScrollerStyle *instance();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override;

private:
    KivaroScrollerStyle();
};

} // namespace Kivaro
