#pragma once
// The limits a shot's project file lives within, in one place because its writer and its
// reader must agree on them: a file written inside them always opens again, and opening
// refuses anything outside them. The project archive (reader and writer), the document's
// open, the shot renderer, the mosaic background and the defaults of MarkupDataLimits all
// take them from here. Links, masks, mosaics, steps and the grain are the application's side
// tables rather than markup; they are here so that no limit of the file is kept anywhere else.

#include <QRectF>
#include <QtGlobal>

namespace Platform::DocumentLimits {

// A project file; opening refuses a file of this size or more, and nothing that size is written.
inline constexpr qint64 kMaxFileBytes = 150'000'000;
// Each side of any image, and of the canvas, in pixels.
inline constexpr int kMaxSide = 16'000;
// Pixels of any one image, of the canvas and of a rendering.
inline constexpr qint64 kMaxPixels = 40'000'000;
// Pixels of all images of one markup together (the picture and its mosaic patches).
inline constexpr qint64 kMaxTotalPixels = 100'000'000;
// Elements of one markup.
inline constexpr qsizetype kMaxElements = 20'000;
// UTF-16 units of one text, and of all texts of one markup together. Text is laid out to be
// drawn, and a word without a break point costs time in the square of its length (some 0.2 s
// for 8,000 units, over a second for 30,000). The editor's bubbles hold at most 500
// characters; 8,000 units leave sixteen to each, so that emoji sequences fit.
inline constexpr qsizetype kMaxTextLength = 8'000;
inline constexpr qsizetype kMaxTotalTextLength = 100'000;
inline constexpr qsizetype kMaxLinks = 1000;
inline constexpr qsizetype kMaxMasks = 1000;
// A mosaic link pairs a privacy mask with its patch; a step marker is a shape of the markup.
inline constexpr qsizetype kMaxMosaics = kMaxMasks;
inline constexpr qsizetype kMaxSteps = kMaxElements;
// The pixelation grain a file may carry; the editor offers only some values inside it.
inline constexpr qint64 kMinGrain = 1;
inline constexpr qint64 kMaxGrain = 512;

// Whether a canvas of `bounds` (markup coordinates, picture pixels) may be opened.
inline bool canvasFits(const QRectF &bounds)
{
    return bounds.width() > 0 && bounds.height() > 0 && bounds.width() <= kMaxSide && bounds.height() <= kMaxSide
           && bounds.width() * bounds.height() <= double(kMaxPixels);
}

} // namespace Platform::DocumentLimits
