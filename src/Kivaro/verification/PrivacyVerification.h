#pragma once
// The privacy run ("--verify" "--verify-privacy"): a mask drawn by a mouse drag that goes
// through the window's own event dispatch in the privacy-mosaic mode, pixelation of detailed
// pixels under it, the transparent border and partial alpha of the image kept by the PNG
// export and by a mask over translucent pixels, and a project saved and opened again. It ends
// the process: 0 after "summary.json", 1 after one line on standard error.

#include "Platform/Async/Task.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

namespace Kivaro {

class EditorController;

namespace PrivacyVerification {

// The pass record, byte for byte.
inline constexpr const char passSummary[] = "{\"status\":\"passed\",\"postedMouseDrag\":true,\"transparentPNG\":true}";
static_assert(sizeof(passSummary) - 1 == 64, "the record keeps its fixed length");

Platform::Task<void> run(EditorController *editor);

// The 640 × 420 fixture: a 3-pixel orange and blue checkerboard on a transparent ground with a
// half-transparent purple band copied over its lower-left corner.
QImage fixture();

// "[(x, y, w, h), ...]" with every number written with at least one decimal.
QString frameList(const QList<QRectF> &frames);

} // namespace PrivacyVerification
} // namespace Kivaro
