#pragma once
// Renders a (reconciled) shot state into a bitmap: the markup at a scale, then every privacy
// mask over it, as its pixelated patch or, for text recognition and masks without a patch, as
// a solid black box. The document's PNG rendering, previews and exports all go through here.

#include "Kivaro/document/ShotState.h"

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QImage>

#include <optional>

namespace Kivaro::ShotRenderer {

// The pixel size for `bounds` with the largest side at most `maxDimension` (never enlarged),
// each side truncated toward zero but never below one pixel (a side of zero stays zero).
QSize pixelSize(const QSizeF &bounds, std::optional<int> maxDimension);

// Throws ShotError "图片太大，导出最多支持 4000 万像素。" for an empty rendering, one over
// 40,000,000 pixels, or when the bitmap cannot be allocated.
QImage render(const ShotState &state, std::optional<int> maxDimension, bool forRecognition);

// render() as PNG: rendered now, on the calling (main) thread, throwing as render() does, and
// encoded on a worker; ShotError "图片导出失败。" when the encoding fails.
Platform::Task<QByteArray> png(const ShotState &state, std::optional<int> maxDimension, bool forRecognition);

} // namespace Kivaro::ShotRenderer
