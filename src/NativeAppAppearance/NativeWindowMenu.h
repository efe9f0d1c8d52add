#pragma once
// The application's Window menu: "窗口" with "关闭窗口" on Ctrl+W, which closes the active window,
// and below it the list of the application's open windows. Titles pass through `translate` (the
// application hands in its string lookup). The shortcut works in every window of the
// application, like a menu-bar key equivalent.
//
// The window list is rebuilt each time the menu is about to show: after a separator, one item
// per visible top-level window or dialog that has a title (as its title bar shows it), in the
// order of their titles; tool windows, pop-ups and windows that bypass the window manager are
// left out. The active window's item is checked. Choosing an item brings that window forward
// and gives it the keyboard (restoring it when minimised). Without such windows the menu holds
// its own items only.

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
