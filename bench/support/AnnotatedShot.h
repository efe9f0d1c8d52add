#pragma once
// The benchmarks' annotated shot: 500 annotations over a loaded picture (rectangles, ellipses,
// arrows, text bubbles with their links, pen strokes, numbered steps and privacy masks with
// their patches), placed deterministically.

#include "Kivaro/document/ShotState.h"

namespace BenchSupport {

Kivaro::ShotState annotated(const Kivaro::ShotState &loaded);

} // namespace BenchSupport
