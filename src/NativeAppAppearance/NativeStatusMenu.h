#pragma once
// Lets a tray icon (the application's status item) open its menu as the kit's popover menu
// instead of the platform's context menu. Bindings are kept in a process-wide registry keyed by
// the tray icon, in the order they were made. A binding holds its menu (shared: the menu lives
// at least as long as its binding) and watches its tray icon without keeping it alive: a
// destroyed tray icon takes its binding with it. Destroy the tray icon before the application
// object, so that a menu the binding alone holds goes while widgets still may.
//
// Where no tray host runs, a tray icon is never shown and so never clicked; the bindings still
// work, and nothing else depends on the tray.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;
class QWidget;

namespace NativeAppAppearance {

class NativeStatusMenu final : public QObject {
    Q_OBJECT
public:
    // Binds `trayIcon` to `menu` (a menu without a parent widget: the binding shares its
    // ownership), replacing an earlier binding of the same icon, and takes the icon's own
    // context menu away. A left or right click opens the menu below the icon. Starts
    // remembering the application's active window for the activation at each click.
    static void attach(QSystemTrayIcon *trayIcon, std::shared_ptr<QMenu> menu);
    // Drops the binding (if any) and closes the shared popover menu in any case.
    static void detach(QSystemTrayIcon *trayIcon);
    static QMenu *menu(const QSystemTrayIcon *trayIcon);
    // Opens the first binding's menu anchored to `anchor` without activating anything; false
    // when nothing is bound.
    static bool presentForAudit(QWidget *anchor);

    ~NativeStatusMenu() override;

    // The click on the tray icon: activates the application (ApplicationActivation), then
    // opens the menu below the icon.
    void show();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

private:
    NativeStatusMenu(QSystemTrayIcon *trayIcon, std::shared_ptr<QMenu> menu);

    std::shared_ptr<QMenu> m_menu;
    QPointer<QSystemTrayIcon> m_button;
};

} // namespace NativeAppAppearance
