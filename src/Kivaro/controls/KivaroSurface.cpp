#include "Kivaro/controls/KivaroSurface.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPaintEngine>
#include <QPainter>

#include <cmath>

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

void KivaroSurface::setBorderWidth(qreal width)
{
    m_borderWidth = width;
    update();
}

void KivaroSurface::paint(QPainter &painter, const QSizeF &size, qreal radius, Appearance appearance, qreal borderWidth)
{
    // Whole device pixels, centred on the outline's path, so the line stays sharp. The scale is
    // the one of the device painted on (an image when the widget renders into one).
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : painter.device();
    const qreal scale = device ? device->devicePixelRatioF() : 1.0;
    const qreal width = qMax(1.0, std::round(borderWidth * scale)) / scale;
    const QRectF shape = QRectF(QPointF(0, 0), size).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    NativeDrawing::fillRoundedRect(painter, shape, radius, resolve(DynamicColor::windowBackground, appearance));
    NativeDrawing::strokeRoundedRect(painter, shape, radius, resolve(DynamicColor::separator, appearance), width);
}

void KivaroSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, size(), m_radius, AppearanceManager::shared().effectiveAppearance(this), m_borderWidth);
}

} // namespace Kivaro
