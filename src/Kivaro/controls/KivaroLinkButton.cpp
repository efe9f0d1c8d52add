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
    return {int(std::ceil(size.width() + 2 * focusMargin)), int(std::ceil(size.height() + 2 * focusMargin))};
}

void KivaroLinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const NativeAppAppearance::Appearance appearance = NativeAppAppearance::AppearanceManager::shared().effectiveAppearance(this);
    painter.translate(focusMargin, focusMargin);
    KivaroLinkStyle::paint(painter, QSizeF(size()) - QSizeF(2 * focusMargin, 2 * focusMargin), text(), isDown(), appearance, m_pointSize);
    painter.resetTransform();
    if (hasFocus())
        NativeAppAppearance::NativeDrawing::strokeFocusRing(painter, rect(), 4, appearance);
}

} // namespace Kivaro
