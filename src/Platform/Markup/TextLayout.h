#pragma once
// Lays out a shape's attributed text the way the renderer draws it, so that callers can
// measure text (bubble sizes, line counts) with exactly the drawn result.
//
// Layout is in markup units: a 12-point font is 12 pixels of the picture, whatever the
// screen's resolution, so the same text lays out the same on every machine with the same fonts.
//
// Laying out is the costly part of drawing text, and a canvas draws every text at every
// repaint: measuring and drawing lay a text out once per text, width and user-interface font
// and keep the layouts most recently used, within about kLayoutCacheBytes of memory (a layout
// holds about 20 KB plus 16 bytes per UTF-16 unit: some 1,600 short texts). A font installed
// while the application runs is not noticed by layouts already kept.

#include "Platform/Markup/AttributedText.h"

#include <QRectF>
#include <QSizeF>

#include <memory>

class QPainter;
class QTextDocument;

namespace Platform {

inline constexpr qsizetype kLayoutCacheBytes = 32 * 1024 * 1024;
inline constexpr qsizetype kLayoutBytes = 20'000;
inline constexpr qsizetype kLayoutBytesPerUnit = 16;

// A new text document for `text`, wrapped at `width` (no wrapping when width <= 0); not cached.
std::unique_ptr<QTextDocument> makeTextDocument(const AttributedText &text, double width);

// The laid-out size at `width`.
QSizeF measureText(const AttributedText &text, double width);

// The number of laid-out lines at `width` (0 for an empty text).
int lineCount(const AttributedText &text, double width);

// Draws the text wrapped at the frame's width and centred vertically in it.
void drawText(QPainter &painter, const AttributedText &text, const QRectF &frame);

// How many texts have been laid out for measuring and drawing so far in this process; a
// layout taken from the cache does not count.
qint64 textLayoutCount();

} // namespace Platform
