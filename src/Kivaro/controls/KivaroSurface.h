#pragma once
// A rounded panel: the window background colour inside a one-point separator-coloured outline,
// corner radius `radius` (default 14). Base class of the editor's dock and floating panels.

#include "NativeAppAppearance/Appearance.h"

#include <QWidget>

namespace Kivaro {

class KivaroSurface : public QWidget {
    Q_OBJECT
public:
    explicit KivaroSurface(QWidget *parent = nullptr);

    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);

    static void paint(QPainter &painter, const QSizeF &size, qreal radius, NativeAppAppearance::Appearance appearance);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_radius = 14;
};

} // namespace Kivaro
