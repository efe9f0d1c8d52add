#pragma once
// The markup's data representation: a binary property list
//   { "format": "app.kivaro.markup", "version": 1, "bounds": [x, y, w, h],
//     "background": [r, g, b, a] (absent when clear), "elements": [ element, ... ] }
// Elements are dictionaries with "kind" "shape", "image" or "stroke", their identity under "id"
// and their fields by name. Colours are four reals (sRGB, straight alpha); image pixels are
// PNG data; stroke points are packed little-endian doubles, nine to a point.

#include "Platform/Markup/Markup.h"

#include <QVariantMap>

namespace Platform::MarkupCoding {

inline constexpr char kFormat[] = "app.kivaro.markup";
inline constexpr int kVersion = 1;
inline constexpr int kDoublesPerStrokePoint = 9;

QVariantMap encode(const Markup &markup);
Markup decode(const QVariant &root, const MarkupDataLimits &limits);

} // namespace Platform::MarkupCoding
