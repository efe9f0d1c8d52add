#include "NativeAppAppearance/internal/MenuPopover.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Windows/WindowShape.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QWindow>

namespace NativeAppAppearance {

namespace {
// While a popup holds the keyboard, Qt leaves the active window as it was and ignores the
// window system's focus changes. One that really happened meanwhile is lost with it: the click
// on the status item asks for the last window's activation and opens the menu at once, and the
// window manager's answer may arrive while the menu is open. Once the last popup is gone, the
// window that has the keyboard is made the active one, as Qt would have done.
void activateTheFocusedWindow()
{
    if (QApplication::activePopupWidget())
        return;
    QWindow *focused = QGuiApplication::focusWindow();
    while (focused && focused->parent())
        focused = focused->parent();
    if (!focused)
        return;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->windowHandle() != focused)
            continue;
        if (top->isVisible() && top->windowType() != Qt::Popup && QApplication::activeWindow() != top)
            QApplication::setActiveWindow(top);
        return;
    }
}
} // namespace

MenuPopover::MenuPopover() : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    AppearanceManager::shared().adoptPalette(this);
}

void MenuPopover::setContentView(QWidget *view)
{
    if (m_content && m_content != view) {
        m_content->hide();
        m_content->setParent(nullptr);
        m_content->deleteLater();
    }
    m_content = view;
    if (!view)
        return;
    view->setParent(this);
    view->move(0, 0);
    view->show();
    resize(view->size());
    Platform::shapeToRoundedRect(this, 12);
    if (isVisible())
        place();
    view->setFocus(Qt::PopupFocusReason);
}

void MenuPopover::present(const QRect &anchor)
{
    m_anchor = anchor;
    place();
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
    if (m_content)
        m_content->setFocus(Qt::PopupFocusReason);
}

void MenuPopover::place()
{
    QScreen *screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
    move(origin(m_anchor, size(), available));
}

QPoint MenuPopover::origin(const QRect &anchor, const QSize &size, const QRect &screen)
{
    int x = anchor.x() + (anchor.width() - size.width()) / 2;
    x = qMax(screen.left(), qMin(x, screen.right() + 1 - size.width()));
    int y = anchor.bottom() + 1 + gap;
    if (y + size.height() > screen.bottom() + 1 && anchor.top() - gap - size.height() >= screen.top())
        y = anchor.top() - gap - size.height();
    return {x, y};
}

void MenuPopover::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Platform::paintOpaqueBackdrop(painter, this, AppearanceManager::shared().color(DynamicColor::windowBackground, this));
}

void MenuPopover::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    activateTheFocusedWindow();
    if (m_announced)
        return;
    m_announced = true;
    Q_EMIT closed(this);
}

void MenuPopover::mousePressEvent(QMouseEvent *event)
{
    // A press outside closes the popup and is normally replayed to what lies under it; on the
    // anchor that would open the menu again at once, so the anchor's press is swallowed.
    if (!rect().contains(event->position().toPoint()) && m_anchor.contains(event->globalPosition().toPoint()))
        setAttribute(Qt::WA_NoMouseReplay);
    QWidget::mousePressEvent(event);
}

void MenuPopover::keyPressEvent(QKeyEvent *event)
{
    // Keys reach the popup itself only when its content lost the focus; hand them on. A key the
    // content leaves unhandled comes back here (key events go up to the parent): not again.
    if (m_forwardingKey) {
        event->ignore();
        return;
    }
    if (m_content && m_content != focusWidget()) {
        const QScopedValueRollback forwarding(m_forwardingKey, true);
        QCoreApplication::sendEvent(m_content, event);
        if (event->isAccepted())
            return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace NativeAppAppearance
