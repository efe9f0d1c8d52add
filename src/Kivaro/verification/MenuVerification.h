#pragma once
// The menu sub-run: the mosaic grain pop-up and the editor's More menu (its button clicked) open
// in the light and the dark appearance and are photographed, Escape closes a menu, the arrow keys and Return choose a
// grain, and a menu built on the spot (a disabled row, a submenu, a counting target) is driven
// from the keyboard alone. It writes "menu-grain-light.png", "menu-grain-dark.png",
// "menu-tools-light.png", "menu-tools-dark.png" and, last and only on a pass,
// "menus-result.json" into `output`. It returns on a pass and throws ShotError on the first
// failed check; the shared menu is closed and the application's appearance given back on every
// way out. It never ends the process.

#include "Platform/Async/Task.h"

#include <QString>

class QWidget;

namespace Kivaro {

class EditorController;

namespace MenuVerification {

inline constexpr const char passResult[] = "{\"status\":\"passed\",\"environment\":\"native-linux\",\"customMenuKeyboard\":true}";
static_assert(sizeof(passResult) - 1 == 74, "the result keeps its fixed length");

Platform::Task<void> run(EditorController *editor, QString output);

// The first button in `view`'s tree (itself first, then its subviews depth first) that shows
// the More menu, or null.
QWidget *findMore(QWidget *view);

} // namespace MenuVerification
} // namespace Kivaro
