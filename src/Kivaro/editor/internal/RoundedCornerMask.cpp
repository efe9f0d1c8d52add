#include "Kivaro/editor/internal/RoundedCornerMask.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPainter>
#include <QPainterPath>

using namespace NativeAppAppearance;

namespace Kivaro::detail {

RoundedCornerMask::RoundedCornerMask(qreal radius, QWidget *parent) : QWidget(parent), m_radius(radius)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void RoundedCornerMask::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(QRectF(rect()));
    outside.addRoundedRect(QRectF(rect()), m_radius, m_radius);
    painter.fillPath(outside, AppearanceManager::shared().color(DynamicColor::windowBackground, this));
}

} // namespace Kivaro::detail
