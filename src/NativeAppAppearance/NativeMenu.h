#pragma once
// The popover menu: every menu that opens from a control (pop-up buttons, the status item,
// the editor's "more" and share menus) is a QMenu listed as custom-drawn rows inside a
// transient popup anchored below the control. A submenu replaces the list in place and Left
// goes back. There is one shared instance, so at most one such menu is open at a time.
//
// `show` returns with the menu open: `contentView()` is readable and has the keyboard focus.
// The dismiss callback runs exactly once when the menu goes away without a choice (Escape,
// a click outside, Left at the root, `close()`, another `show`); choosing a leaf item closes
// the menu without it and then triggers the item's action.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace NativeAppAppearance {

class MenuContentView;
class MenuPopover;

class NativeMenu final : public QObject {
    Q_OBJECT
public:
    static NativeMenu &shared();
    // True when `menu` is on the open menu's stack; never creates the shared instance.
    static bool isShowing(const QMenu *menu);

    void show(QMenu *menu, QWidget *anchor, QAction *selected = nullptr, std::function<void()> onDismiss = {});
    // Anchored to a rectangle in global coordinates (a tray icon's geometry).
    void show(QMenu *menu, const QRect &globalAnchor, QAction *selected = nullptr, std::function<void()> onDismiss = {});
    void close();

    bool isOpen() const { return m_popover != nullptr; }
    // The popup window, null when closed.
    QWidget *popover() const;
    MenuContentView *contentView() const;
    QList<QMenu *> menuStack() const;

    // The window system closed `popover` (a click outside it).
    void popoverDidClose(MenuPopover *popover);

private:
    NativeMenu() = default;
    void back();
    void replace(QMenu *menu, bool append);
    void choose(QAction *item);
    MenuContentView *makeContent(QMenu *menu, QAction *selected);

    QPointer<QWidget> m_popover; // a MenuPopover
    std::function<void()> m_dismissed;
    QList<QPointer<QMenu>> m_menuStack;
};

} // namespace NativeAppAppearance
