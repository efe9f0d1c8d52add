#pragma once
// Draws a markup with QPainter: the one drawing routine of the canvas, export, previews and
// tests. Output depends only on the markup (and the installed fonts): never on the palette,
// the light or dark appearance, or the screen. Equal markups give equal pixels.

#include "Platform/Markup/Markup.h"

#include <QImage>

class QPainter;

namespace Platform {

// Draws in markup coordinates: the painter's transform maps them to the device.
void drawMarkup(QPainter &painter, const Markup &markup);
void drawElement(QPainter &painter, const MarkupElement &element);

// A rectangle (markup coordinates) holding every pixel drawElement paints for `element`: its
// frame, rotated; a line's curve through its control point, with caps and arrow heads; a
// stroke's points with its ink; text that overflows its frame. Conservative, never too small.
// Measures texts: cheapest on the application's thread, where layouts are cached.
QRectF drawnBounds(const MarkupElement &element);
QList<QRectF> drawnBounds(const Markup &markup);

// drawMarkup for the part of the markup inside `visible` (markup coordinates): an element
// whose `bounds` (drawnBounds, in the markup's order) miss it is skipped. The output inside
// `visible` equals drawMarkup's. Safe on any thread for a markup no thread changes.
void drawMarkup(QPainter &painter, const Markup &markup, const QList<QRectF> &bounds, const QRectF &visible);

// The markup drawn into a new premultiplied RGBA bitmap of `pixelSize`, the markup's bounds
// scaled to fill it. A null image when the size is empty or the bitmap cannot be allocated.
QImage renderMarkup(const Markup &markup, const QSize &pixelSize);

// The outline the canvas hit-tests and selects: the element's frame, rotated.
QPainterPath elementOutline(const MarkupElement &element);

} // namespace Platform
