#pragma once
// The live capture scenario ("--verify --capture-live"): the application's real capture against
// the real screen, steered only through the capture's verification hooks (no physical mouse).
// Over a fixture window of its own that shows the sample picture it checks a window capture, a
// region crop of exactly the dragged size times the backing scale, Option in both directions,
// the placement the in-place editor relies on, Escape in both modes (also with a text field
// focused) and the footer's exit button in both modes. Every capture has its own RegionCapture;
// the editor's is never used.
//
// Evidence: "captured-window.png", "captured-region.png", "cancel-footer-window.png",
// "cancel-footer-region.png", "live-captured-editor.png" and "capture-live.json" (also on
// failure; no "summary.json").
//
// A capture is polled every 0.05 s, at most 100 times, and the polling stops as soon as the
// capture has ended on its own (a permission or screen error is reported at once).

#include "Platform/Async/Task.h"

#include <QByteArray>
#include <QSize>
#include <QStringList>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::CaptureLiveVerification {

const QStringList &checkNames();
// The pass record for captures of these sizes in pixels, byte for byte.
QByteArray passRecord(QSize windowPixels, QSize regionPixels);

// Ends the process: status 0 after the pass record, 1 after the failure record.
Platform::Task<void> run(EditorController *editor);

} // namespace Kivaro::CaptureLiveVerification
