#pragma once
// The appearance switching checks of the full verification suite. Both steps switch the
// application's appearance at run time (the desktop's own scheme is never touched) and put the
// application's setting back on every way out.
//
// `empty`: the settings window in the dark appearance ("11-dark-settings.png").
// `content`: the editor, its voice panel recording and failed with the retry choices, and the
// AI settings window in the dark appearance ("12-dark-editor.png" .. "15-dark-ai-settings.png"),
// then the editor back in the light one ("16-light-restored.png"); the PNG export of the shot is
// the same byte for byte before and after. The voice panel is dismissed and the AI settings
// window closed on every way out.
//
// After each switch the editor's root view must draw the window background of the new
// appearance and both it and the markup canvas must have taken the appearance; otherwise the
// step fails with "窗口背景未跟随主题切换".
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QString>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::AppearanceVerification {

Platform::Task<void> empty(EditorController *editor, QString output);
Platform::Task<void> content(EditorController *editor, QString output);

} // namespace Kivaro::AppearanceVerification
