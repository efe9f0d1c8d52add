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

// The markup drawn into a new premultiplied RGBA bitmap of `pixelSize`, the markup's bounds
// scaled to fill it. A null image when the size is empty or the bitmap cannot be allocated.
QImage renderMarkup(const Markup &markup, const QSize &pixelSize);

// The outline the canvas hit-tests and selects: the element's frame, rotated.
QPainterPath elementOutline(const MarkupElement &element);

} // namespace Platform
