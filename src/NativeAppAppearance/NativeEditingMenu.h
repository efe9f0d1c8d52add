#pragma once
// The standard editing menu ("编辑": 撤销, 重做, 剪切, 复制, 粘贴, 全选 on Ctrl+Z, Ctrl+Shift+Z,
// Ctrl+X, Ctrl+C, Ctrl+V, Ctrl+A), titles through `translate`. Each command goes to the widget
// that has the keyboard focus, or the nearest of its ancestors that has a slot of that name
// (undo, redo, cut, copy, paste, selectAll), as text fields and editors do. Installing twice
// adds two menus.

#include <QString>

#include <functional>

class QMenu;
class QMenuBar;
class QWidget;

namespace NativeAppAppearance::NativeEditingMenu {

using Translate = std::function<QString(const QString &)>;

QMenu *install(QMenuBar *menuBar, const Translate &translate);
QMenu *install(QMenu *mainMenu, const Translate &translate);

// Sends `slot` to the focus chain starting at `start`; true when some widget took it.
bool sendToFocusChain(QWidget *start, const char *slot);

} // namespace NativeAppAppearance::NativeEditingMenu
