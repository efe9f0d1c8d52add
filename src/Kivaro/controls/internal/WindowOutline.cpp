#include "Kivaro/controls/internal/WindowOutline.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

WindowOutline::WindowOutline(QWidget *window) : QWidget(window)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void WindowOutline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool dark = AppearanceManager::shared().effectiveAppearance(this) == Appearance::dark;
    painter.setPen(QPen(dark ? withAlpha(Qt::white, 0.16) : withAlpha(Qt::black, 0.2), 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace Kivaro
