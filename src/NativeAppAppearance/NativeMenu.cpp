#include "NativeAppAppearance/NativeMenu.h"

#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/internal/MenuPopover.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace NativeAppAppearance {

namespace {
QPointer<NativeMenu> &sharedInstance()
{
    static QPointer<NativeMenu> shared;
    return shared;
}
} // namespace

bool NativeMenu::isShowing(const QMenu *menu)
{
    return sharedInstance() && menu && sharedInstance()->menuStack().contains(const_cast<QMenu *>(menu));
}

NativeMenu &NativeMenu::shared()
{
    QPointer<NativeMenu> &instance = sharedInstance();
    if (!instance) {
        instance = new NativeMenu();
        if (QCoreApplication::instance())
            instance->setParent(QCoreApplication::instance());
    }
    return *instance;
}

void NativeMenu::show(QMenu *menu, QWidget *anchor, QAction *selected, std::function<void()> onDismiss)
{
    QRect rect;
    if (anchor)
        rect = QRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    else
        rect = QRect(QCursor::pos(), QSize(1, 1));
    show(menu, rect, selected, std::move(onDismiss));
}

void NativeMenu::show(QMenu *menu, const QRect &globalAnchor, QAction *selected, std::function<void()> onDismiss)
{
    close();
    if (!menu)
        return;
    // Lets the menu's owner refresh its items first, as it would before a real menu opens.
    Q_EMIT menu->aboutToShow();
    m_menuStack = {menu};
    auto *popover = new MenuPopover();
    connect(popover, &MenuPopover::closed, this, &NativeMenu::popoverDidClose);
    popover->setContentView(makeContent(menu, selected));
    m_popover = popover;
    m_dismissed = std::move(onDismiss);
    popover->present(globalAnchor.isValid() ? globalAnchor : QRect(QCursor::pos(), QSize(1, 1)));
}

MenuContentView *NativeMenu::makeContent(QMenu *menu, QAction *selected)
{
    QPointer<NativeMenu> self(this);
    return new MenuContentView(
        menu, selected,
        [self] {
            if (self)
                self->back();
        },
        [self](QAction *item) {
            if (self)
                self->choose(item);
        });
}

void NativeMenu::choose(QAction *item)
{
    if (!item)
        return;
    if (QMenu *submenu = item->menu()) {
        replace(submenu, true);
        return;
    }
    m_dismissed = nullptr;
    QPointer<QAction> action(item);
    close();
    if (action)
        action->trigger();
}

void NativeMenu::back()
{
    if (m_menuStack.size() < 2) {
        close();
        return;
    }
    m_menuStack.removeLast();
    QMenu *previous = m_menuStack.isEmpty() ? nullptr : m_menuStack.last().data();
    if (previous)
        replace(previous, false);
    else
        close();
}

void NativeMenu::replace(QMenu *menu, bool append)
{
    if (!m_popover || !menu)
        return;
    if (append)
        m_menuStack.append(menu);
    static_cast<MenuPopover *>(m_popover.data())->setContentView(makeContent(menu, nullptr));
}

void NativeMenu::close()
{
    QPointer<QWidget> popover = m_popover;
    m_popover = nullptr;
    m_menuStack.clear();
    auto dismissed = std::move(m_dismissed);
    m_dismissed = nullptr;
    if (popover) {
        popover->hide();
        popover->deleteLater();
    }
    if (dismissed)
        dismissed();
}

QWidget *NativeMenu::popover() const
{
    return m_popover;
}

MenuContentView *NativeMenu::contentView() const
{
    return m_popover ? qobject_cast<MenuContentView *>(static_cast<MenuPopover *>(m_popover.data())->contentView()) : nullptr;
}

QList<QMenu *> NativeMenu::menuStack() const
{
    QList<QMenu *> result;
    for (const auto &menu : m_menuStack)
        result << menu.data();
    return result;
}

void NativeMenu::popoverDidClose(MenuPopover *popover)
{
    if (popover && popover == m_popover.data())
        close();
}

} // namespace NativeAppAppearance
