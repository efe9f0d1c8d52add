#pragma once
// The built-in demonstration picture: a mock notes page ("FIELD NOTES / 01") with two painted
// landscapes and a colour palette, 960 × 600 pixels. Deterministic: every call draws the same
// pixels. Its texts are part of the picture and are not translated.

#include <QImage>

namespace Kivaro::SampleImage {

QImage make();

} // namespace Kivaro::SampleImage
