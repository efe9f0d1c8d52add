#include "NativeAppAppearance/NativePopupButton.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuRow.h"
#include "NativeAppAppearance/NativeSymbols.h"
#include "NativeAppAppearance/internal/MenuAccessibility.h"

#include <QAccessible>
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace NativeAppAppearance {

NativePopupButton::NativePopupButton(QWidget *parent) : QWidget(parent), m_menu(new QMenu())
{
    installMenuAccessibility();
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QString());
}

NativePopupButton::~NativePopupButton()
{
    // The menu is a top-level widget of its own (never shown); it must not outlive the button.
    if (NativeMenu::isShowing(m_menu))
        NativeMenu::shared().close();
    delete m_menu;
}

QAction *NativePopupButton::addItem(const QString &title, const QVariant &tag)
{
    QAction *action = m_menu->addAction(title);
    action->setData(tag);
    if (!m_selected)
        selectItem(action);
    updateGeometry();
    return action;
}

void NativePopupButton::addItems(const QStringList &titles)
{
    for (const QString &title : titles)
        addItem(title);
}

void NativePopupButton::removeAllItems()
{
    m_menu->clear();
    m_selected = nullptr;
    updateGeometry();
    update();
}

int NativePopupButton::numberOfItems() const
{
    return int(m_menu->actions().size());
}

QAction *NativePopupButton::itemAt(int index) const
{
    const auto actions = m_menu->actions();
    return index >= 0 && index < actions.size() ? actions.at(index) : nullptr;
}

QStringList NativePopupButton::itemTitles() const
{
    QStringList titles;
    for (const QAction *action : m_menu->actions())
        titles << NativeMenuRow::displayTitle(action);
    return titles;
}

int NativePopupButton::indexOfSelectedItem() const
{
    return m_selected ? int(m_menu->actions().indexOf(m_selected.data())) : -1;
}

QString NativePopupButton::titleOfSelectedItem() const
{
    return NativeMenuRow::displayTitle(m_selected);
}

void NativePopupButton::selectItem(QAction *item)
{
    if (item && !m_menu->actions().contains(item))
        return;
    m_selected = item;
    updateGeometry();
    update();
}

void NativePopupButton::selectItemAt(int index)
{
    selectItem(itemAt(index));
}

bool NativePopupButton::selectItemWithTag(const QVariant &tag)
{
    for (QAction *action : m_menu->actions()) {
        if (action->data() == tag) {
            selectItem(action);
            return true;
        }
    }
    return false;
}

void NativePopupButton::performClick()
{
    if (!isEnabled() || !m_menu)
        return;
    QPointer<NativePopupButton> self(this);
    for (QAction *action : m_menu->actions()) {
        // The items' own receivers are replaced: while this button owns the menu, choosing an
        // item means choosing it here.
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, this, [this, action] { choose(action); });
    }
    setExpanded(true);
    NativeMenu::shared().show(m_menu, this, m_selected, [self] {
        if (self)
            self->setExpanded(false);
    });
}

bool NativePopupButton::accessibilityPerformPress()
{
    performClick();
    return isEnabled();
}

void NativePopupButton::setExpanded(bool expanded)
{
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    QAccessible::State changed;
    changed.expanded = true;
    changed.collapsed = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void NativePopupButton::choose(QAction *item)
{
    setExpanded(false);
    selectItem(item);
    Q_EMIT activated(indexOfSelectedItem());
}

bool NativePopupButton::opensMenu(int qtKey)
{
    return qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter || qtKey == Qt::Key_Space || qtKey == Qt::Key_Down
        || qtKey == Qt::Key_Up;
}

QSize NativePopupButton::sizeHint() const
{
    const qreal title = NativeDrawing::textWidth(titleOfSelectedItem(), NativeFonts::system(13));
    return {int(std::ceil(qMax(title + 42, 110.0))), 30};
}

NativePopupButton::Look NativePopupButton::look() const
{
    return {QSizeF(size()), titleOfSelectedItem(), isEnabled(), hasFocus()};
}

void NativePopupButton::paint(QPainter &painter, const Look &look, Appearance appearance)
{
    const qreal w = look.size.width();
    const qreal h = look.size.height();
    NativeDrawing::fillRoundedRect(painter, QRectF(QPointF(0, 0), look.size), 8, resolve(DynamicColor::controlBackground, appearance));
    NativeDrawing::drawText(painter, look.title, QRectF(12, (h - 17) / 2, w - 38, 18), NativeFonts::system(13),
                            resolve(look.enabled ? DynamicColor::label : DynamicColor::disabledControlText, appearance), Qt::AlignLeft,
                            Qt::ElideRight);
    NativeSymbols::draw(painter, QStringLiteral("chevron.up.chevron.down"), QRectF(w - 23, (h - 12) / 2, 12, 12),
                        resolve(DynamicColor::secondaryLabel, appearance));
    // Keyboard users need to see where the focus is; the ring matches the buttons'.
    if (look.focused)
        NativeDrawing::strokeFocusRing(painter, QRectF(QPointF(0, 0), look.size), 8, appearance);
}

void NativePopupButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, look(), AppearanceManager::shared().effectiveAppearance(this));
}

void NativePopupButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        performClick();
        return;
    }
    QWidget::mousePressEvent(event);
}

void NativePopupButton::keyPressEvent(QKeyEvent *event)
{
    if (opensMenu(event->key()) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        performClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace NativeAppAppearance
