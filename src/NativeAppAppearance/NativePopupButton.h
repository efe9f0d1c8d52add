#pragma once
// The application's only pop-up control: a menu of items with one selected item, drawn by
// itself and opened as the shared popover menu with the selected row marked and focused.
//
// The items are QActions of `menu()` (title, `data()` as the item's tag). While the menu is
// open every item's `triggered` is pointed at the button's own choice; choosing an item selects
// it, redraws, and emits `activated` with its index. A click, Return, Space, Down or Up opens
// the menu; a disabled button ignores them all. `sizeHint` is the intrinsic size:
// max(title width in the 13-point font + 42, 110) × 30.

#include "NativeAppAppearance/Appearance.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QMenu;

namespace NativeAppAppearance {

class NativePopupButton final : public QWidget {
    Q_OBJECT
public:
    explicit NativePopupButton(QWidget *parent = nullptr);
    ~NativePopupButton() override;

    QMenu *menu() const { return m_menu; }
    // Adds an item; the first item added becomes the selected one.
    QAction *addItem(const QString &title, const QVariant &tag = {});
    void addItems(const QStringList &titles);
    void removeAllItems();
    int numberOfItems() const;
    QAction *itemAt(int index) const;
    QStringList itemTitles() const;

    QAction *selectedItem() const { return m_selected; }
    int indexOfSelectedItem() const;
    QString titleOfSelectedItem() const;
    void selectItem(QAction *item);
    void selectItemAt(int index);
    // Selects the first item whose data equals `tag`; false when none does.
    bool selectItemWithTag(const QVariant &tag);

    bool isExpanded() const { return m_expanded; }

    // Opens the menu; nothing when disabled. While the menu is open the button reads as
    // expanded to assistive technologies.
    void performClick();
    // The accessibility press action: opens the menu as a click does; true when the button is
    // enabled (and so the press was taken).
    bool accessibilityPerformPress();
    // The keys that open the menu (Qt keys).
    static bool opensMenu(int qtKey);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    struct Look {
        QSizeF size;
        QString title;
        bool enabled = true;
        bool focused = false;
    };
    Look look() const;
    static void paint(QPainter &painter, const Look &look, Appearance appearance);

Q_SIGNALS:
    // The user chose an item (also when it was already selected).
    void activated(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void choose(QAction *item);
    void setExpanded(bool expanded);

    QMenu *m_menu;
    QPointer<QAction> m_selected;
    bool m_expanded = false;
};

} // namespace NativeAppAppearance
