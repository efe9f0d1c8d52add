#pragma once
// Small drawing helpers shared by every self-drawn view of the kit and the application, so that
// rounded fills, hairlines and elided titles look the same everywhere and can be reproduced on
// a QImage by tests.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace NativeAppAppearance::NativeDrawing {

void fillRoundedRect(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color);
void strokeRoundedRect(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color, qreal width);
void fillEllipse(QPainter &painter, const QRectF &rect, const QColor &color);

// Draws one line of text in `rect`, elided with `elide` when it does not fit, vertically centred.
void drawText(QPainter &painter, const QString &text, const QRectF &rect, const QFont &font, const QColor &color,
              Qt::Alignment horizontal, Qt::TextElideMode elide);

// The advance width of `text` in `font`.
qreal textWidth(const QString &text, const QFont &font);

} // namespace NativeAppAppearance::NativeDrawing
