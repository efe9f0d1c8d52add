#include "NativeAppAppearance/internal/MenuAccessibility.h"

#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenuRow.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QMenu>

namespace NativeAppAppearance {

namespace {

class PopupButtonAccessible final : public QAccessibleWidget {
public:
    explicit PopupButtonAccessible(NativePopupButton *button) : QAccessibleWidget(button, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return button()->titleOfSelectedItem();
        const QString text = QAccessibleWidget::text(kind);
        // Without a name of its own the button is known by what it shows.
        if (kind == QAccessible::Name && text.isEmpty())
            return button()->titleOfSelectedItem();
        return text;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.hasPopup = true;
        state.expandable = true;
        state.expanded = button()->isExpanded();
        state.collapsed = !button()->isExpanded();
        return state;
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction(), showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() || name == showMenuAction())
            button()->accessibilityPerformPress();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    NativePopupButton *button() const { return static_cast<NativePopupButton *>(widget()); }
};

class MenuRowAccessible final : public QAccessibleWidget {
public:
    explicit MenuRowAccessible(NativeMenuRow *row) : QAccessibleWidget(row, QAccessible::MenuItem) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return NativeMenuRow::displayTitle(row()->item());
        if (kind == QAccessible::Accelerator && row()->item())
            return NativeMenuRow::shortcutText(row()->item()->shortcut());
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const QAction *item = row()->item();
        const bool checked = row()->isSelected() || (item && item->isChecked());
        state.checkable = row()->isSelected() || (item && item->isCheckable());
        state.checked = checked;
        state.selectable = true;
        state.selected = row()->isSelected();
        state.focused = row()->isMenuHighlighted();
        state.hasPopup = item && item->menu();
        state.disabled = !item || !item->isEnabled();
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            row()->activate();
    }

private:
    NativeMenuRow *row() const { return static_cast<NativeMenuRow *>(widget()); }
};

QAccessibleInterface *menuAccessible(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String(NativePopupButton::staticMetaObject.className()))
        return new PopupButtonAccessible(static_cast<NativePopupButton *>(object));
    if (className == QLatin1String(NativeMenuRow::staticMetaObject.className()))
        return new MenuRowAccessible(static_cast<NativeMenuRow *>(object));
    if (className == QLatin1String(MenuContentView::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::PopupMenu);
    return nullptr;
}

} // namespace

void installMenuAccessibility()
{
    static const bool installed = (QAccessible::installFactory(menuAccessible), true);
    Q_UNUSED(installed);
}

} // namespace NativeAppAppearance
