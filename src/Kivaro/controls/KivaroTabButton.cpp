#include "Kivaro/controls/KivaroTabButton.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeButtonKeys.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeSymbols.h"

#include <QPainter>

#include <cmath>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroTabButton::KivaroTabButton(const QString &title, const QString &symbol, QWidget *parent) : QAbstractButton(parent), m_symbol(symbol)
{
    setText(title);
    setFocusPolicy(Qt::TabFocus);
    NativeButtonKeys::install(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KivaroTabButton::setSelected(bool selected)
{
    if (m_style.selected == selected)
        return;
    m_style.selected = selected;
    update();
}

QSize KivaroTabButton::sizeHint() const
{
    const QSizeF size = m_style.sizeFor(text(), NativeSymbols::exists(m_symbol));
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void KivaroTabButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    m_style.paint(painter, size(), text(), m_symbol, isDown(), appearance);
    if (hasFocus())
        NativeDrawing::strokeFocusRing(painter, rect(), 9, appearance);
}

} // namespace Kivaro
