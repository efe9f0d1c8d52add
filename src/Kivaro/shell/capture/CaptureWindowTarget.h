#pragma once
// A window the capture overlay offers: the window as the screen source lists it, and its frame
// in global model points (origin at the bottom-left of the first screen, y up).

#include "Platform/ScreenCapture/ScreenSource.h"

#include <QRectF>

namespace Kivaro {

struct CaptureWindowTarget {
    Platform::ShareableWindow window;
    QRectF frame;

    friend bool operator==(const CaptureWindowTarget &, const CaptureWindowTarget &) = default;
};

} // namespace Kivaro
