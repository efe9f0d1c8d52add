#include "Kivaro/editor/CanvasBackgroundView.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPaintEvent>
#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

CanvasBackgroundView::CanvasBackgroundView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CanvasBackgroundView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), AppearanceManager::shared().color(DynamicColor::windowBackground, this));
}

} // namespace Kivaro
