// The capture road of the editor: starting a capture, bringing the right window back after it,
// finishing an image capture, and the recent-shots browser.

#include "Kivaro/editor/EditorController.h"

namespace Kivaro {

void EditorController::captureRegion(CaptureIntent, std::optional<CaptureSelectionMode>, std::optional<bool>) {}

void EditorController::captureWithShortcutAction() {}

void EditorController::captureRegionWithShortcutAction() {}

void EditorController::startCapture() {}

void EditorController::showCapturePermission() {}

void EditorController::showRecent() {}

Platform::Task<void> EditorController::finishImageCapture(CaptureCompletionPreferences,
                                                          std::shared_ptr<Platform::Pasteboard>,
                                                          std::optional<CapturePlacement>)
{
    co_return;
}

} // namespace Kivaro
