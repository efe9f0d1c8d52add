#pragma once
// The first checks of the capture improvements scenario: the application's main menu takes the
// window keys. Ctrl+, opens the settings window, Ctrl+W closes it, and Ctrl+W on the editor
// hides the editor while the application keeps running. A key counts as routed when the main
// menu reports that an enabled item matched it (AppDelegate::performKeyEquivalent).
//
// Evidence in `output`: "capture-settings.png" (the settings window after Ctrl+,). A failed check
// throws ShotError "验证失败：<check>"; a missing delegate "应用菜单不可用", a missing settings
// window "设置窗口不可用".
//
// Main thread only.

#include "Platform/Async/Task.h"

#include <QKeySequence>
#include <QString>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::ShortcutRoutingVerification {

// The main menu's key for a virtual key code and hot-key modifier mask (Command is Ctrl).
QKeySequence key(std::uint32_t keyCode, std::uint32_t modifiers);

Platform::Task<void> run(EditorController *editor, QString output);

} // namespace Kivaro::ShortcutRoutingVerification
