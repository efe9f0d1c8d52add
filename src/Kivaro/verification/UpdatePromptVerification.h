#pragma once
// The update prompt scenario, a sub-run of the full suite: the application's own update prompt
// window in the light and the dark appearance shows Markdown release notes, its confirm button
// answers true and its later button false, and each closes the window without leaving a modal
// window behind. Nothing is downloaded or installed: the updater is never involved. Writes
// "custom-update-prompt-light.png", "custom-update-prompt-dark.png" and, after both variants
// passed, "custom-update-prompt-result.json" (resultText). The application's appearance is put
// back on every way out. Fails by throwing ShotError.
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QString>

namespace Kivaro::UpdatePromptVerification {

inline constexpr char resultText[] =
    "{\"status\":\"passed\",\"environment\":\"native-linux\",\"acceptAndCancel\":true,\"markdownNotes\":true,\"noDownloadOrInstall\":true}";
inline constexpr char releaseNotes[] =
    "## What's new\n\n- Clear voice annotation guidance.\n- Custom controls in light and dark appearance.";
static_assert(sizeof(resultText) - 1 == 119, "the result keeps its fixed length");
static_assert(sizeof(releaseNotes) - 1 == 97, "the notes keep their fixed length");

Platform::Task<void> run(QString output);

} // namespace Kivaro::UpdatePromptVerification
