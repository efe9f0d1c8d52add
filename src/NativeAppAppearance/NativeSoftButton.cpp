#include "NativeAppAppearance/NativeSoftButton.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include <QPainter>

#include <cmath>

namespace NativeAppAppearance {

NativeSoftButton::NativeSoftButton(const QString &title, const QColor &accent, QWidget *parent) : QAbstractButton(parent), m_style{accent}
{
    setText(title);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void NativeSoftButton::setAccent(const QColor &accent)
{
    m_style.accent = accent;
    update();
}

QSize NativeSoftButton::sizeHint() const
{
    const QSizeF size = m_style.sizeFor(text());
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void NativeSoftButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_style.paint(painter, size(), text(), isDown(), isEnabled(), AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace NativeAppAppearance
