#include "NativeAppAppearance/NativeWindowMenu.h"

#include "NativeAppAppearance/internal/MenuInstallation.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace NativeAppAppearance::NativeWindowMenu {

namespace {
QMenu *build(QWidget *parent, const Translate &translate)
{
    const QString title = translate(QStringLiteral("窗口"));
    auto *menu = new QMenu(title, parent);
    QAction *close = menu->addAction(translate(QStringLiteral("关闭窗口")));
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcutContext(Qt::ApplicationShortcut);
    // Goes to whichever window is active when it fires, like an action sent to the key window.
    QObject::connect(close, &QAction::triggered, close, [] {
        if (QWidget *window = QApplication::activeWindow())
            window->close();
    });
    // Qt has no window-list service for menus; the menu holds its one command.
    return menu;
}
} // namespace

QMenu *install(QMenuBar *menuBar, const Translate &translate)
{
    return appendBuiltMenu(menuBar, [&](QWidget *parent) { return build(parent, translate); });
}

QMenu *install(QMenu *mainMenu, const Translate &translate)
{
    return appendBuiltMenu(mainMenu, [&](QWidget *parent) { return build(parent, translate); });
}

} // namespace NativeAppAppearance::NativeWindowMenu
