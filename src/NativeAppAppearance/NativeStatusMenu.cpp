#include "NativeAppAppearance/NativeStatusMenu.h"

#include "NativeAppAppearance/ApplicationActivation.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuStyle.h"

#include <QCursor>
#include <QMenu>

#include <vector>

namespace NativeAppAppearance {

namespace {
// Each binding is a child of its tray icon, so none outlives it; the registry only points at
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
            it->binding->deleteLater();
            bindings.erase(it);
            return;
        }
    }
}
} // namespace

NativeStatusMenu::NativeStatusMenu(QSystemTrayIcon *trayIcon, std::shared_ptr<QMenu> menu)
    : QObject(trayIcon), m_menu(std::move(menu)), m_button(trayIcon)
{
}

NativeStatusMenu::~NativeStatusMenu()
{
    // The menu may go with this binding; the popover must not keep showing it.
    if (NativeMenu::isShowing(m_menu.get()))
        NativeMenu::shared().close();
}

void NativeStatusMenu::attach(QSystemTrayIcon *trayIcon, std::shared_ptr<QMenu> menu)
{
    if (!trayIcon)
        return;
    NativeMenuStyle::install();
    ApplicationActivation::trackActiveWindows();
    removeBinding(trayIcon);
    auto *binding = new NativeStatusMenu(trayIcon, std::move(menu));
    registry().push_back({trayIcon, binding});
    trayIcon->setContextMenu(nullptr);
    connect(trayIcon, &QSystemTrayIcon::activated, binding, &NativeStatusMenu::trayActivated);
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
            return entry.binding->m_menu.get();
    }
    return nullptr;
}

bool NativeStatusMenu::presentForAudit(QWidget *anchor)
{
    if (registry().empty())
        return false;
    NativeStatusMenu *first = registry().front().binding;
    if (!first->m_menu)
        return false;
    NativeMenu::shared().show(first->m_menu.get(), anchor, nullptr, {});
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
    ApplicationActivation::activate();
    QRect anchor = m_button->geometry();
    if (!anchor.isValid() || anchor.isEmpty())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    // NativeMenu::show announces aboutToShow, which is where a menu's owner refreshes it.
    NativeMenu::shared().show(m_menu.get(), anchor, nullptr, {});
}

} // namespace NativeAppAppearance
