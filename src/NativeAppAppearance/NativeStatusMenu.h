#pragma once
// Lets a tray icon (the application's status item) open its menu as the kit's popover menu
// instead of the platform's context menu. Bindings are kept in a process-wide registry keyed by
// the tray icon, in the order they were made; a binding holds its menu and watches its tray
// icon without keeping it alive (a destroyed tray icon drops its binding).
//
// Where no tray host runs, a tray icon is never shown and so never clicked; the bindings still
// work, and nothing else depends on the tray.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSystemTrayIcon>

class QMenu;
class QWidget;

namespace NativeAppAppearance {

class NativeStatusMenu final : public QObject {
    Q_OBJECT
public:
    // Binds `trayIcon` to `menu`, replacing an earlier binding of the same icon, and takes the
    // icon's own context menu away. A left or right click opens the menu below the icon.
    static void attach(QSystemTrayIcon *trayIcon, QMenu *menu);
    // Drops the binding (if any) and closes the shared popover menu in any case.
    static void detach(QSystemTrayIcon *trayIcon);
    static QMenu *menu(const QSystemTrayIcon *trayIcon);
    // Opens the first binding's menu anchored to `anchor` without activating anything; false
    // when nothing is bound.
    static bool presentForAudit(QWidget *anchor);

    // The click on the tray icon.
    void show();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

private:
    NativeStatusMenu(QSystemTrayIcon *trayIcon, QMenu *menu);

    QPointer<QMenu> m_menu;
    QPointer<QSystemTrayIcon> m_button;
};

} // namespace NativeAppAppearance
