#pragma once
// Row preparation of the PNG encoder: pixels in PNG byte order and the per-row filter choice.

#include <QImage>

#include <cstdint>
#include <vector>

namespace Platform::PngInternal {

// Source formats the row reader handles directly; callers convert anything else first.
bool isDirectFormat(QImage::Format format);

// True when every pixel of a direct-format image is opaque.
bool isOpaque(const QImage &image);

// Writes row `y` of `image` as PNG samples (RGB or RGBA, 8 bits, not premultiplied).
void readRow(const QImage &image, int y, int channels, std::uint8_t *out);

// Filters `row` against `previous` (null for the first row of the image) with the filter of
// the smallest sum of absolute values, writing the filter byte and the filtered bytes to `out`
// (length + 1 bytes). An `independent` row uses only None or Sub, so that it can be
// unfiltered without the row above (the first row of a band).
void filterRow(const std::uint8_t *row, const std::uint8_t *previous, int length, int bytesPerPixel, std::uint8_t *out,
               bool independent = false);

// Reverses filterRow in place: `row` holds the filter byte and `length` filtered bytes;
// returns false for an unknown filter type.
bool unfilterRow(std::uint8_t *row, const std::uint8_t *previousRaw, int length, int bytesPerPixel);

} // namespace Platform::PngInternal
