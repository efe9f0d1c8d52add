#include "NativeAppAppearance/NativeStatusMenu.h"

#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuStyle.h"

#include <QCursor>
#include <QMenu>

#include <memory>
#include <vector>

namespace NativeAppAppearance {

namespace {
struct Binding {
    const QSystemTrayIcon *key;
    std::unique_ptr<NativeStatusMenu, void (*)(NativeStatusMenu *)> binding;
};

std::vector<Binding> &registry()
{
    static std::vector<Binding> bindings;
    return bindings;
}

void destroyLater(NativeStatusMenu *binding)
{
    binding->deleteLater();
}

void removeBinding(const QSystemTrayIcon *trayIcon)
{
    auto &bindings = registry();
    for (auto it = bindings.begin(); it != bindings.end(); ++it) {
        if (it->key == trayIcon) {
            bindings.erase(it);
            return;
        }
    }
}
} // namespace

NativeStatusMenu::NativeStatusMenu(QSystemTrayIcon *trayIcon, QMenu *menu) : m_menu(menu), m_button(trayIcon) {}

void NativeStatusMenu::attach(QSystemTrayIcon *trayIcon, QMenu *menu)
{
    if (!trayIcon)
        return;
    NativeMenuStyle::install();
    removeBinding(trayIcon);
    auto *binding = new NativeStatusMenu(trayIcon, menu);
    registry().push_back({trayIcon, {binding, &destroyLater}});
    trayIcon->setContextMenu(nullptr);
    connect(trayIcon, &QSystemTrayIcon::activated, binding, &NativeStatusMenu::trayActivated);
    // A tray icon that goes away takes its binding with it, so that a new object at the same
    // address is never mistaken for it.
    connect(trayIcon, &QObject::destroyed, binding, [trayIcon] { removeBinding(trayIcon); });
}

void NativeStatusMenu::detach(QSystemTrayIcon *trayIcon)
{
    removeBinding(trayIcon);
    NativeMenu::shared().close();
}

QMenu *NativeStatusMenu::menu(const QSystemTrayIcon *trayIcon)
{
    for (const auto &entry : registry()) {
        if (entry.key == trayIcon)
            return entry.binding->m_menu;
    }
    return nullptr;
}

bool NativeStatusMenu::presentForAudit(QWidget *anchor)
{
    if (registry().empty())
        return false;
    NativeStatusMenu *first = registry().front().binding.get();
    if (!first->m_menu)
        return false;
    NativeMenu::shared().show(first->m_menu, anchor, nullptr, {});
    return true;
}

void NativeStatusMenu::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        show();
}

void NativeStatusMenu::show()
{
    if (!m_button || !m_menu)
        return;
    QRect anchor = m_button->geometry();
    if (!anchor.isValid() || anchor.isEmpty())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    // NativeMenu::show announces aboutToShow, which is where a menu's owner refreshes it.
    NativeMenu::shared().show(m_menu, anchor, nullptr, {});
}

} // namespace NativeAppAppearance
