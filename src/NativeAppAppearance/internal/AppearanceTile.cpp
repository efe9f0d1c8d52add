#include "NativeAppAppearance/internal/AppearanceTile.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeSymbols.h"

#include <QPainter>

namespace NativeAppAppearance {

AppearanceTile::AppearanceTile(NativeAccentPalette palette, QWidget *parent) : QAbstractButton(parent), m_palette(palette)
{
    setFocusPolicy(Qt::TabFocus);
    setFixedHeight(tileHeight);
}

void AppearanceTile::setState(const QString &title, const QImage &icon, bool selected, const QString &accessibleName,
                              const QString &accessibleValue)
{
    m_title = title;
    m_icon = icon;
    m_selected = selected;
    setText(title);
    setAccessibleName(accessibleName);
    setAccessibleDescription(accessibleValue);
    update();
}

void AppearanceTile::paint(QPainter &painter, const QSizeF &size, NativeAccentPalette palette, const QString &title, const QImage &icon,
                           bool selected, Appearance appearance)
{
    const QColor color = palette.color();
    const QRectF shape(QPointF(0, 0), size);
    NativeDrawing::fillRoundedRect(painter, shape, 11, withAlpha(color, selected ? 0.12 : 0.045));
    const qreal stroke = selected ? 1.5 : 1.0;
    NativeDrawing::strokeRoundedRect(painter, shape.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2), 11,
                                     withAlpha(color, selected ? 0.62 : 0.12), stroke);

    const qreal h = size.height();
    const QRectF iconRect(11, (h - 38) / 2, 38, 38);
    if (!icon.isNull()) {
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(iconRect, icon);
        painter.restore();
    }
    const qreal markSide = 16;
    const QRectF mark(size.width() - 11 - markSide, (h - markSide) / 2, markSide, markSide);
    if (selected)
        NativeSymbols::draw(painter, QStringLiteral("checkmark.circle.fill"), mark, color);
    const qreal titleX = iconRect.right() + 10;
    NativeDrawing::drawText(painter, title, QRectF(titleX, 0, mark.left() - 10 - titleX, h),
                            NativeFonts::system(12, selected ? QFont::DemiBold : QFont::Normal), resolve(DynamicColor::label, appearance),
                            Qt::AlignLeft, Qt::ElideRight);
}

void AppearanceTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, size(), m_palette, m_title, m_icon, m_selected, AppearanceManager::shared().effectiveAppearance(this));
}

} // namespace NativeAppAppearance
