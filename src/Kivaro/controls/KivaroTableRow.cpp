#include "Kivaro/controls/KivaroTableRow.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroTableRow::KivaroTableRow(QWidget *parent) : QWidget(parent) {}

void KivaroTableRow::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void KivaroTableRow::setFocusRingShown(bool shown)
{
    if (m_focusRing == shown)
        return;
    m_focusRing = shown;
    update();
}

void KivaroTableRow::drawBackground(QPainter &painter, const QRectF &bounds, Appearance appearance)
{
    painter.fillRect(bounds, resolve(DynamicColor::windowBackground, appearance));
    // The separator colour at alpha 0.6, by the kit's one rule for "a colour at alpha a": the
    // alpha is replaced (withAlpha), as everywhere else.
    painter.fillRect(QRectF(bounds.left() + 16, bounds.bottom() - 1, bounds.width() - 32, 1),
                     withAlpha(resolve(DynamicColor::separator, appearance), 0.6));
}

void KivaroTableRow::drawSelection(QPainter &painter, const QRectF &bounds, Appearance appearance)
{
    NativeDrawing::fillRoundedRect(painter, bounds.adjusted(8, 4, -8, -4), 10, withAlpha(resolve(DynamicColor::controlAccent, appearance), 0.12));
}

void KivaroTableRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Appearance appearance = AppearanceManager::shared().effectiveAppearance(this);
    drawBackground(painter, rect(), appearance);
    if (m_selected)
        drawSelection(painter, rect(), appearance);
    if (m_selected && m_focusRing)
        NativeDrawing::strokeFocusRing(painter, QRectF(rect()).adjusted(7, 3, -7, -3), 10, appearance);
}

} // namespace Kivaro
