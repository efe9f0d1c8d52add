#pragma once
// The capture completion check of the full verification suite: what a finished capture does
// with its image, as the two settings switches choose it. On a throw-away preference suite, a
// private pasteboard and a settings window of its own it checks
// - the defaults of a fresh suite (copy, do not open the editor);
// - that the two switches change their preference independently;
// - that each of the four combinations survives reopening the suite from its file;
// - that the editor's completion step then shows or hides the editor window as asked, leaves
//   the editor in the select-and-edit mode, and copies exactly the document's PNG, or leaves
//   the pasteboard's earlier text untouched when copying is off.
//
// Evidence in `output`: "capture-completion-settings-light.png", "…-dark.png" and, after every
// check passed, "capture-completion-result.json" (a fixed text of 146 bytes); an earlier result
// of that name is removed first, so a failure never leaves one. The user's preferences and
// clipboard are never touched.
//
// On every way out, in this order: the suite is removed, the pasteboard released, the run's
// window hot key stopped, its settings window closed, the editor brought forward and given its
// earlier mode back. A step that cannot be performed (no editor window, no settings window, no
// completion switches) fails naming what was missing.
//
// Main thread only.

#include "Kivaro/shell/capture/CaptureCompletion.h"
#include "Platform/Async/Task.h"

#include <QString>

#include <functional>
#include <memory>

namespace Platform {
class Pasteboard;
}

namespace Kivaro {
class EditorController;
}

namespace Kivaro::CaptureCompletionVerification {

// The name prefix of the run's preference suite; a UUID follows.
inline constexpr char suitePrefix[] = "kivaro-capture-completion-";

// The bytes of "capture-completion-result.json".
inline constexpr char passResult[] =
    "{\"status\":\"passed\",\"environment\":\"native-linux\",\"fourPreferenceCombinations\":true,"
    "\"persistentSettings\":true,\"disabledCopyPreservesClipboard\":true}";
static_assert(sizeof(passResult) - 1 == 146, "the result keeps its fixed length");

// The step after a capture that the run drives with each combination. The editor's own
// (`EditorController::finishImageCapture` without a placement) unless a caller puts another in
// its place.
using CompletionStep = std::function<Platform::Task<void>(EditorController *editor, CaptureCompletionPreferences preferences,
                                                          std::shared_ptr<Platform::Pasteboard> pasteboard)>;

Platform::Task<void> run(EditorController *editor, QString output);
Platform::Task<void> run(EditorController *editor, QString output, CompletionStep complete);

} // namespace Kivaro::CaptureCompletionVerification
