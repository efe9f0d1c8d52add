#include "Kivaro/controls/KivaroLinkButton.h"

#include "Kivaro/controls/KivaroLinkStyle.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeButtonKeys.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>

#include <cmath>

namespace Kivaro {

KivaroLinkButton::KivaroLinkButton(const QString &title, QWidget *parent)
    : QAbstractButton(parent), m_pointSize(KivaroLinkStyle::defaultPointSize)
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    NativeAppAppearance::NativeButtonKeys::install(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KivaroLinkButton::setPointSize(qreal points)
{
    m_pointSize = points;
    updateGeometry();
    update();
}

QSize KivaroLinkButton::sizeHint() const
{
    const QSizeF size = KivaroLinkStyle::sizeFor(text(), m_pointSize);
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void KivaroLinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const NativeAppAppearance::Appearance appearance = NativeAppAppearance::AppearanceManager::shared().effectiveAppearance(this);
    KivaroLinkStyle::paint(painter, size(), text(), isDown(), appearance, m_pointSize);
    if (hasFocus())
        NativeAppAppearance::NativeDrawing::strokeFocusRing(painter, rect(), 4, appearance);
}

} // namespace Kivaro
