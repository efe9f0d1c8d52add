#pragma once
// One entry of the kit's menus: a 34-point row with an optional check mark or icon, the title,
// and on the right either a submenu chevron or the shortcut.
//
// A row stands for a QAction of a QMenu (the menu model throughout the kit: text, enabled,
// checked, icon, shortcut, submenu, visible). It holds the action weakly; once the action is
// gone the row stands for a plain item of its own with the last title and no action.
// Activating the row (a click, `activate()`) calls `choose` with the action, unless the action
// is disabled. `paint` draws a row from a `Look`, and also serves real QMenus (NativeMenuStyle).

#include "NativeAppAppearance/Appearance.h"

#include <QAbstractButton>
#include <QIcon>
#include <QKeySequence>
#include <QPointer>

#include <functional>

class QAction;

namespace NativeAppAppearance {

class NativeMenuRow final : public QAbstractButton {
    Q_OBJECT
public:
    using Choose = std::function<void(QAction *)>;

    struct Look {
        QSizeF size;
        QString title;
        QIcon icon;
        QString shortcut; // display text, empty for none
        bool enabled = true;
        bool checked = false; // selected in a pop-up, or the action's own check
        bool hasSubmenu = false;
        bool highlighted = false;
    };

    NativeMenuRow(QAction *item, bool selected, Choose choose, QWidget *parent = nullptr);

    QAction *item() const;
    bool isSelected() const { return m_selected; }
    bool isMenuHighlighted() const { return m_menuHighlighted; }
    void setMenuHighlighted(bool highlighted);
    // Called when the pointer enters an enabled row.
    void setHoveredCallback(std::function<void()> hovered) { m_hovered = std::move(hovered); }

    void activate();
    void pointerEntered();
    void pointerExited();

    Look look() const;
    static void paint(QPainter &painter, const Look &look, Appearance appearance);
    // The text of an action without mnemonic markers ("&Open" reads "Open", "&&" reads "&") and
    // without a tab-separated shortcut hint; the second form takes such a text itself.
    static QString displayTitle(const QAction *action);
    static QString displayTitle(QString text);
    // How a shortcut reads at the right of a row (Linux naming: "Ctrl+Shift+S").
    static QString shortcutText(const QKeySequence &shortcut);
    // A menu item's text that shows `shortcut` in the shortcut column without owning the key
    // (the title, a tab, the key as the user presses it here: "Ctrl+O").
    static QString withShortcut(const QString &title, const QKeySequence &shortcut);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QPointer<QAction> m_source;
    QString m_lastText;            // the action's text as it last read
    QAction *m_fallback = nullptr; // stands in once the action is gone
    bool m_selected = false;
    Choose m_choose;
    std::function<void()> m_hovered;
    bool m_menuHighlighted = false;
};

} // namespace NativeAppAppearance
