#include "Kivaro/controls/KivaroSurface.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroSurface::KivaroSurface(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void KivaroSurface::setRadius(qreal radius)
{
    m_radius = radius;
    update();
}

void KivaroSurface::paint(QPainter &painter, const QSizeF &size, qreal radius, Appearance appearance)
{
    const QRectF shape = QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5);
    NativeDrawing::fillRoundedRect(painter, shape, radius, resolve(DynamicColor::windowBackground, appearance));
    NativeDrawing::strokeRoundedRect(painter, shape, radius, resolve(DynamicColor::separator, appearance), 1);
}

void KivaroSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, size(), m_radius, AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace Kivaro
