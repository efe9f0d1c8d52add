#include "Kivaro/controls/KivaroLinkButton.h"

#include "Kivaro/controls/KivaroLinkStyle.h"
#include "NativeAppAppearance/AppearanceManager.h"

#include <QPainter>

#include <cmath>

namespace Kivaro {

KivaroLinkButton::KivaroLinkButton(const QString &title, QWidget *parent)
    : QAbstractButton(parent), m_pointSize(KivaroLinkStyle::defaultPointSize)
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
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
    KivaroLinkStyle::paint(painter, size(), text(), isDown(), NativeAppAppearance::AppearanceManager::shared().effectiveAppearance(this), m_pointSize);
}

} // namespace Kivaro
