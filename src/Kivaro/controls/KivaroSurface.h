#pragma once
// A rounded panel: the window background colour inside a separator-coloured outline (one point
// unless set otherwise), corner radius `radius` (default 14). Base class of the editor's dock and
// floating panels.

#include "NativeAppAppearance/Appearance.h"

#include <QWidget>

namespace Kivaro {

class KivaroSurface : public QWidget {
    Q_OBJECT
public:
    explicit KivaroSurface(QWidget *parent = nullptr);

    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);
    // The outline's width in points (default 1). Drawn on whole device pixels, never thinner
    // than one: 0.5 is a hairline at a scale of 2 and one pixel at a scale of 1.
    qreal borderWidth() const { return m_borderWidth; }
    void setBorderWidth(qreal width);

    static void paint(QPainter &painter, const QSizeF &size, qreal radius, NativeAppAppearance::Appearance appearance,
                      qreal borderWidth = 1);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_radius = 14;
    qreal m_borderWidth = 1;
};

} // namespace Kivaro
