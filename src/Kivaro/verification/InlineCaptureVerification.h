#pragma once
// The in-place editing of a fresh capture ("--verify --verify-inline"), without the overlay, a
// real screen capture or the mouse: a synthetic capture of the sample picture (its 640 × 360
// crop at x 160, y 100) on a made-up 960 × 600 screen is handed to
// EditorController::finishImageCapture, and the real editor objects are checked row by row:
// the inline window over the screen with the borrowed canvas and dock, the canvas exactly over
// the captured rectangle at one pixel per point, annotation, mask, undo and redo there, an
// export of the capture only, the text panel as a child of the inline window, Escape ending a
// voice gesture and the inline editing, the shot in the recent shots, and the completion
// preferences (no copy when copying is off; a copy and no inline editor with the defaults).
//
// It uses a private pasteboard of its own and passes the preferences as values; the general
// clipboard and the stored preferences are never touched. Evidence: "inline-before.png",
// "inline-export.png", "inline-annotated.png", "inline-text-panel.png" and "summary.json".

#include "Platform/Async/Task.h"

#include <QStringList>

namespace Kivaro {
class EditorController;
class RecentShots;
}

namespace Kivaro::InlineCaptureVerification {

// The passed checks as "summary.json" lists them, in order.
const QStringList &checkTexts();

// Whether the newest entry of `store`, read back from its project file, holds exactly `links`
// linked notes and `masks` masks: the shot as it was annotated, not as it was captured (the
// capture is archived before the inline editor shows).
bool newestHolds(const RecentShots &store, qsizetype links, qsizetype masks);

// Ends the process: status 0 after the pass summary, 1 after the failure record.
Platform::Task<void> run(EditorController *editor);

} // namespace Kivaro::InlineCaptureVerification
