#include "NativeAppAppearance/NativeStatusMenu.h"

#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuStyle.h"

#include <QCursor>
#include <QMenu>

#include <QCoreApplication>

#include <vector>

namespace NativeAppAppearance {

namespace {
// Bindings belong to the application object, so none outlives it; the registry only points at
// them, in the order they were made.
struct Binding {
    const QSystemTrayIcon *key;
    QPointer<NativeStatusMenu> binding;
};

std::vector<Binding> &registry()
{
    static std::vector<Binding> bindings;
    std::erase_if(bindings, [](const Binding &entry) { return entry.binding.isNull(); });
    return bindings;
}

void removeBinding(const QSystemTrayIcon *trayIcon)
{
    auto &bindings = registry();
    for (auto it = bindings.begin(); it != bindings.end(); ++it) {
        if (it->key == trayIcon) {
            if (it->binding)
                it->binding->deleteLater();
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
    binding->setParent(QCoreApplication::instance());
    registry().push_back({trayIcon, binding});
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
    NativeStatusMenu *first = registry().front().binding;
    if (!first || !first->m_menu)
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
