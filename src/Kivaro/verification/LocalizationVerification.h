#pragma once
// The localisation run ("--verify" "--verify-localization"): the interface started in the
// language the caller chose through the environment (LANGUAGE), the texts built at run time
// follow it, an English interface shows no Han character in any visible window or menu item,
// and the settings window (light and dark) and the AI settings window are photographed. The
// texts of the visible windows are collected in visibleWindows() order; an English check that
// fails lists every offending text quoted (VerificationSupport::arrayNotation).
// "--expected-language" names the language to expect ("en", "zh-Hant", else "zh-Hans"). The
// run never sets the interface language itself. It ends the process: 0 after "summary.json",
// 1 after one line on standard error.

#include "Platform/Async/Task.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;
class QMenu;

namespace Kivaro {

class EditorController;

namespace LocalizationVerification {

Platform::Task<void> run(EditorController *editor);

// The texts of a view and its subviews, depth first: a text field's or label's text, a
// button's title, a pop-up's title followed by its item titles.
QStringList collect(const QWidget *view);
// The titles of the items of every submenu of `mainMenu`, menu by menu.
QStringList menuTitles(const QMenu *mainMenu);
// The texts holding a Han character.
QStringList untranslated(const QStringList &texts);
// The application's visible top-level windows in the application's window order: as the window
// manager stacks them, front-most first; the windows it does not list (pop-ups, menus, or all
// of them without a window manager) follow in Qt's order.
QList<QWidget *> visibleWindows();

} // namespace LocalizationVerification
} // namespace Kivaro
