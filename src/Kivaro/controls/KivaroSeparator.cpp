#include "Kivaro/controls/KivaroSeparator.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroSeparator::KivaroSeparator(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void KivaroSeparator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), AppearanceManager::shared().color(DynamicColor::separator, this));
}

} // namespace Kivaro
