#pragma once
// A deterministic 3840 × 2160 picture that compresses like a real screenshot: window chrome
// and flat panels, many lines of small text, and photo-like areas (smooth gradients with
// grain). Needs a QGuiApplication for the text.

#include <QImage>

namespace BenchSupport {

QImage screenshotLikeImage(int width = 3840, int height = 2160);

} // namespace BenchSupport
