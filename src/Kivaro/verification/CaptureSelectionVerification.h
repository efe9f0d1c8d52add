#pragma once
// The selection overlay scenario ("--verify --verify-selection"): the capture overlay's
// selection surface, driven with synthetic events over the sample picture, without a real
// capture. Two real fixture windows ("Back target" behind "Front target") are the window
// targets; a second surface to the left of the first (negative origin) stands in for a second
// screen. Fifteen rules run in order on the same surface, first the window picks (overlap,
// drag, release hit test, stray release, one outline across screens, clipping, repeated
// switching, exit), then the region gestures (Option resets a press, a fresh drag, Shift
// square, Space move and release, the magnifier at the corner).
//
// Evidence: eight pictures of the host window and "summary.json". The summary says the screen
// layout was synthetic and that no physical mouse was used.

#include "Platform/Async/Task.h"

#include <QStringList>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::CaptureSelectionVerification {

// The rules' names in the order they run, as the summary lists them.
const QStringList &checkNames();
// The pictures in the order they are written, without ".png".
const QStringList &pictureNames();
// The pass record, byte for byte.
QByteArray passSummary();

// Ends the process: status 0 after the pass summary, 1 after the failure record.
Platform::Task<void> run(EditorController *editor);

} // namespace Kivaro::CaptureSelectionVerification
