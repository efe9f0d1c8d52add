#include "NativeAppAppearance/NativeDrawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace NativeAppAppearance::NativeDrawing {

void fillRoundedRect(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color)
{
    if (rect.isEmpty() || color.alpha() == 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const qreal r = qMin(radius, qMin(rect.width(), rect.height()) / 2);
    painter.drawRoundedRect(rect, r, r);
    painter.restore();
}

void strokeRoundedRect(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color, qreal width)
{
    if (rect.isEmpty() || color.alpha() == 0 || width <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    const qreal r = qMin(radius, qMin(rect.width(), rect.height()) / 2);
    painter.drawRoundedRect(rect, r, r);
    painter.restore();
}

void fillEllipse(QPainter &painter, const QRectF &rect, const QColor &color)
{
    if (rect.isEmpty() || color.alpha() == 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(rect);
    painter.restore();
}

void strokeFocusRing(QPainter &painter, const QRectF &bounds, qreal radius, Appearance appearance)
{
    strokeRoundedRect(painter, bounds.adjusted(1, 1, -1, -1), radius, withAlpha(resolve(DynamicColor::controlAccent, appearance), 0.6), 2);
}

void drawText(QPainter &painter, const QString &text, const QRectF &rect, const QFont &font, const QColor &color,
              Qt::Alignment horizontal, Qt::TextElideMode elide)
{
    if (text.isEmpty() || rect.width() <= 0)
        return;
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(text, elide, rect.width());
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, int(horizontal | Qt::AlignVCenter | Qt::TextSingleLine), shown);
    painter.restore();
}

qreal textWidth(const QString &text, const QFont &font)
{
    return QFontMetricsF(font).horizontalAdvance(text);
}

} // namespace NativeAppAppearance::NativeDrawing
