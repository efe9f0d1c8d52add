#include "Platform/Windows/WindowsAbove.h"

#include "Platform/Windows/internal/X11Connection.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace Platform {

namespace {

QPointer<WindowsAbove> &current()
{
    static QPointer<WindowsAbove> instance;
    return instance;
}

// The window manager reads WM_TRANSIENT_FOR when it starts managing a window and follows its
// changes afterwards.
void writeTransientFor(QWindow *window, QWindow *owner)
{
    xcb_connection_t *connection = detail::x11Connection();
    if (!connection)
        return;
    const auto ownerID = static_cast<xcb_window_t>(owner->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()), XCB_ATOM_WM_TRANSIENT_FOR,
                        XCB_ATOM_WINDOW, 32, 1, &ownerID);
    xcb_flush(connection);
}

} // namespace

WindowsAbove::WindowsAbove(QWidget *owner) : QObject(owner), m_owner(owner ? owner->window() : nullptr), m_previous(current())
{
    current() = this;
    qApp->installEventFilter(this);
}

WindowsAbove::~WindowsAbove()
{
    if (current() == this)
        current() = m_previous;
}

QWidget *WindowsAbove::owner()
{
    return current() ? current()->m_owner.data() : nullptr;
}

void WindowsAbove::adopt(QWidget *widget)
{
    QWidget *owner = WindowsAbove::owner();
    if (!owner || !owner->isVisible() || !widget)
        return;
    QWidget *window = widget->window();
    const Qt::WindowType type = window->windowType();
    if (window == owner || type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop || type == Qt::SplashScreen ||
        window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
        return;
    QWindow *handle = window->windowHandle();
    QWindow *ownerHandle = owner->windowHandle();
    if (!handle || !ownerHandle)
        return;
    QWindow *parent = handle->transientParent();
    if (parent == ownerHandle || (parent && parent->isVisible()))
        return;
    handle->setTransientParent(ownerHandle);
    writeTransientFor(handle, ownerHandle);
    // Qt 6.4 writes WM_TRANSIENT_FOR only for dialogs, tools and pop-ups, and clears it for an
    // ordinary window when it maps it: written again once Qt is done showing the window.
    QMetaObject::invokeMethod(
        handle,
        [handle, owner = QPointer<QWindow>(ownerHandle)] {
            if (owner && handle->transientParent() == owner)
                writeTransientFor(handle, owner);
        },
        Qt::QueuedConnection);
}

bool WindowsAbove::eventFilter(QObject *watched, QEvent *event)
{
    // The show event comes after the native window was made and before it is mapped, so the
    // window manager learns whom the window belongs to when it first manages it.
    if (event->type() == QEvent::Show && current() == this && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow())
            adopt(widget);
    }
    return false;
}

} // namespace Platform
