#include "NativeAppAppearance/NativeWindowMenu.h"

#include "NativeAppAppearance/internal/MenuInstallation.h"
#include "Platform/Windows/WindowActivation.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWindow>

#include <algorithm>

namespace NativeAppAppearance::NativeWindowMenu {

namespace {

constexpr const char *windowListProperty = "_nativeWindowListItem";

// The title as the window's title bar shows it (the "[*]" placeholder resolved).
QString shownTitle(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle(); handle && !handle->title().isEmpty())
        return handle->title();
    QString title = window->windowTitle();
    return title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
}

bool listed(const QWidget *window)
{
    if (!window->isWindow() || !window->isVisible() || window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
        return false;
    const Qt::WindowType type = window->windowType();
    return (type == Qt::Window || type == Qt::Dialog) && !shownTitle(window).isEmpty();
}

void refreshWindowList(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        if (action->property(windowListProperty).toBool()) {
            menu->removeAction(action);
            delete action;
        }
    }
    QList<QWidget *> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (listed(window))
            windows << window;
    if (windows.isEmpty())
        return;
    std::stable_sort(windows.begin(), windows.end(), [](const QWidget *a, const QWidget *b) {
        return shownTitle(a).localeAwareCompare(shownTitle(b)) < 0;
    });
    QAction *separator = menu->addSeparator();
    separator->setProperty(windowListProperty, true);
    const QWidget *active = QApplication::activeWindow();
    for (QWidget *window : std::as_const(windows)) {
        // Titles are shown as they stand: an '&' is no mnemonic here.
        auto *item = new QAction(shownTitle(window).replace(QLatin1Char('&'), QStringLiteral("&&")), menu);
        item->setProperty(windowListProperty, true);
        item->setCheckable(true);
        item->setChecked(window == active);
        QObject::connect(item, &QAction::triggered, item, [target = QPointer<QWidget>(window)] {
            if (target)
                Platform::bringForward(target);
        });
        menu->addAction(item);
    }
}

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
    // Connected before the menu style's own decoration, which then measures the new titles.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { refreshWindowList(menu); });
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
