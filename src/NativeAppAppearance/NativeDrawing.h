#pragma once
// Small drawing helpers shared by every self-drawn view of the kit and the application, so that
// rounded fills, hairlines and elided titles look the same everywhere and can be reproduced on
// a QImage by tests.

#include "NativeAppAppearance/Appearance.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace NativeAppAppearance::NativeDrawing {

void fillRoundedRect(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color);
void strokeRoundedRect(QPainter &painter, const QRectF &rect, qreal radius, const QColor &color, qreal width);
void fillEllipse(QPainter &painter, const QRectF &rect, const QColor &color);

// The keyboard focus ring every focusable control draws over itself: a 2-point line of the
// accent at alpha 0.6, inset 1 point into `bounds` (so it stays inside the control), its
// corners rounded by `radius`.
void strokeFocusRing(QPainter &painter, const QRectF &bounds, qreal radius, Appearance appearance);

// Draws one line of text in `rect`, elided with `elide` when it does not fit, vertically centred.
void drawText(QPainter &painter, const QString &text, const QRectF &rect, const QFont &font, const QColor &color,
              Qt::Alignment horizontal, Qt::TextElideMode elide);

// The advance width of `text` in `font`.
qreal textWidth(const QString &text, const QFont &font);

} // namespace NativeAppAppearance::NativeDrawing
