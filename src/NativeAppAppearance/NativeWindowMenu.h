#pragma once
// The application's Window menu: "窗口" with "关闭窗口" on Ctrl+W, which closes the active window.
// Titles pass through `translate` (the application hands in its string lookup). The shortcut
// works in every window of the application, like a menu-bar key equivalent.

#include <QString>

#include <functional>

class QMenu;
class QMenuBar;

namespace NativeAppAppearance::NativeWindowMenu {

using Translate = std::function<QString(const QString &)>;

// Appends the Window menu to a menu bar, or to a menu standing for one; returns the new menu.
QMenu *install(QMenuBar *menuBar, const Translate &translate);
QMenu *install(QMenu *mainMenu, const Translate &translate);

} // namespace NativeAppAppearance::NativeWindowMenu
