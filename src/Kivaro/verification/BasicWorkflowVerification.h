#pragma once
// Two standalone scenarios of everyday use.
//
// `run` ("--verify --verify-basics"): in one process and against the real editor, checks that
// an error shown with only the settings window open stays there, that the editor refuses canvas
// edits while busy, that broken and oversized project files leave the open shot alone, that a
// privacy mask dragged past the canvas edge is clipped, that Escape and an early cancellation
// end a capture cleanly, and that the recent shots keep 20 entries, add none on resuming one,
// and leave other files alone. Evidence: "settings-error.png", "broken.kivaro",
// "oversized.kivaro", "edge-mosaic.png", the folder "retention" and "summary.json".
//
// `quitDuringCapture` ("--verify --verify-quit-capture"): loads the sample, starts a capture,
// waits for its overlay (at most 100 polls 0.05 s apart) and posts the main menu's Ctrl+Q to the
// end of the event queue (postQuitKey). The application's ordinary quit then unwinds the capture
// and AppDelegate::applicationWillTerminate() writes the result; when the process still runs
// 10 s later the run fails.

#include "Platform/Async/Task.h"

#include <QStringList>

#include <functional>

namespace Kivaro {
class AppDelegate;
class EditorController;
}

namespace Kivaro::BasicWorkflowVerification {

// The check texts, one per phase, in order.
const QStringList &checkTexts();
// The limitation the summary names. No nearby-transfer service exists here: what is not
// verified is another application receiving a shared file.
inline constexpr char limitation[] = "跨 app 接收、真实远端 AI、真人语音、多显示器没有在本套件中验证";
static_assert(sizeof(limitation) - 1 == 89, "the limitation keeps its fixed length");

Platform::Task<void> run(EditorController *editor);
Platform::Task<void> quitDuringCapture(EditorController *editor);

// Posts the main menu's Ctrl+Q to the end of the event queue. Once an enabled item took the
// key, the quit is noted as the scenario's own (PrototypeVerification::
// noteQuitPostedDuringCapture), so that the termination writes its pass; a quit from anywhere
// else before then is not the scenario's. `refused` runs when no enabled item took the key.
void postQuitKey(AppDelegate *delegate, std::function<void()> refused);

} // namespace Kivaro::BasicWorkflowVerification
