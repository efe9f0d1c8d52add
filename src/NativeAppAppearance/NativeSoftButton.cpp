#include "NativeAppAppearance/NativeSoftButton.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeButtonKeys.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>

#include <cmath>

namespace NativeAppAppearance {

NativeSoftButton::NativeSoftButton(const QString &title, const QColor &accent, QWidget *parent) : QAbstractButton(parent), m_style{accent}
{
    setText(title);
    setFocusPolicy(Qt::TabFocus);
    NativeButtonKeys::install(this);
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
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    m_style.paint(painter, size(), text(), isDown(), isEnabled(), appearance);
    if (hasFocus())
        NativeDrawing::strokeFocusRing(painter, rect(), 8, appearance);
}

} // namespace NativeAppAppearance
