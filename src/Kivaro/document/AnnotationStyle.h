#pragma once
// The look of text bubbles and the application's annotation accent colour.
//
// `prepare` turns a bubble's text into a styled label sized for the canvas it goes on: a font
// of a 56th of the canvas width (18 to 22 points), lines wrapped at word boundaries inside a
// bubble at most 0.32 × the canvas width (160 to 320 points) wide, 16 points of room on
// either side and 13 above and below, a bubble at least 120 × 48. `aligned` centres a
// bubble's text when it fits on one line and sets it flush left when it wraps.
//
// Sizes are canvas points, which are picture pixels. Text is set in DejaVu Sans with the
// system's CJK fallback for Chinese (WenQuanYi Micro Hei among the application's
// dependencies): named faces rather than the desktop's interface font, so a bubble measured
// on one machine still fits its text when the project is opened on another.
//
// The colours are made once, on first use, from any thread.

#include "Platform/Markup/AttributedText.h"

#include <QColor>
#include <QRectF>
#include <QSizeF>

namespace Kivaro::AnnotationStyle {

// sRGB (0.2, 0.43, 0.94), opaque: numbered steps, linked arrows, bubble borders, drawing tools.
const QColor &accent();
// The bubble fill: white at alpha 0.98.
const QColor &surface();
// The bubble outline: the accent.
const QColor &border();
// The face of bubble texts and step numbers.
QString fontFamily();

struct Label {
    Platform::AttributedText text;
    QSizeF size;
};

// `text` styled and measured for a canvas of `bounds`.
Label prepare(const QString &text, const QRectF &bounds);

// `text` with every run's paragraph alignment set: centred when it lays out on exactly one
// line in a bubble `width` wide, left otherwise. Other paragraph settings are kept; an empty
// text comes back unchanged.
Platform::AttributedText aligned(const Platform::AttributedText &text, double width);

} // namespace Kivaro::AnnotationStyle
