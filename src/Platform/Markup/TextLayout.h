#pragma once
// Lays out a shape's attributed text the way the renderer draws it, so that callers can
// measure text (bubble sizes, line counts) with exactly the drawn result.
//
// Layout is in markup units: a 12-point font is 12 pixels of the picture, whatever the
// screen's resolution, so the same text lays out the same on every machine with the same fonts.

#include "Platform/Markup/AttributedText.h"

#include <QRectF>
#include <QSizeF>

#include <memory>

class QPainter;
class QTextDocument;

namespace Platform {

// A text document for `text`, wrapped at `width` (no wrapping when width <= 0).
std::unique_ptr<QTextDocument> makeTextDocument(const AttributedText &text, double width);

// The laid-out size at `width`.
QSizeF measureText(const AttributedText &text, double width);

// The number of laid-out lines at `width` (0 for an empty text).
int lineCount(const AttributedText &text, double width);

// Draws the text wrapped at the frame's width and centred vertically in it.
void drawText(QPainter &painter, const AttributedText &text, const QRectF &frame);

} // namespace Platform
