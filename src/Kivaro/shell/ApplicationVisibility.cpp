#include "Kivaro/shell/ApplicationVisibility.h"

#include "Kivaro/controls/KivaroWindow.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace Kivaro {

namespace {
ActivationPolicy g_policy = ActivationPolicy::regular;
}

ActivationPolicy ApplicationActivationPolicy::current()
{
    return g_policy;
}

bool ApplicationActivationPolicy::set(ActivationPolicy policy)
{
    g_policy = policy;
    return true;
}

ApplicationVisibility::ApplicationVisibility(QObject *parent) : QObject(parent) {}

ApplicationVisibility::~ApplicationVisibility()
{
    if (m_observing && qApp)
        qApp->removeEventFilter(this);
}

void ApplicationVisibility::start()
{
    if (m_observing)
        return;
    m_observing = true;
    qApp->installEventFilter(this);
}

bool ApplicationVisibility::isOrdinaryOpenWindow(const QWidget *window)
{
    if (!window || !window->isWindow())
        return false;
    const Qt::WindowType type = window->windowType();
    if (type != Qt::Window && type != Qt::Dialog)
        return false; // tool windows (panels), pop-ups, splash screens
    const Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::BypassWindowManagerHint) || flags.testFlag(Qt::X11BypassWindowManagerHint))
        return false;
    if (const auto *kivaro = qobject_cast<const KivaroWindow *>(window)) {
        if (!kivaro->styleMask().testFlag(KivaroWindow::Titled))
            return false;
    } else if (flags.testFlag(Qt::FramelessWindowHint)) {
        return false;
    }
    // Qt counts a minimised window as visible, and keeps the minimised state of a window that
    // was closed while minimised: visibility alone says whether it is open.
    return window->isVisible();
}

void ApplicationVisibility::refresh()
{
    bool ordinary = false;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows)
        if (isOrdinaryOpenWindow(window)) {
            ordinary = true;
            break;
        }
    const ActivationPolicy wanted = ordinary ? ActivationPolicy::regular : ActivationPolicy::accessory;
    if (ApplicationActivationPolicy::current() == wanted)
        return;
    QList<QPointer<QWidget>> hidden;
    for (QWidget *window : windows)
        if (!window->isVisible())
            hidden.append(window);
    ApplicationActivationPolicy::set(wanted);
    if (wanted == ActivationPolicy::regular)
        for (const QPointer<QWidget> &window : std::as_const(hidden))
            if (window && window->isVisible())
                window->hide();
}

void ApplicationVisibility::scheduleRefresh()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    QPointer<ApplicationVisibility> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self)
            return;
        self->m_scheduled = false;
        self->refresh();
    });
}

bool ApplicationVisibility::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Close:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::WindowStateChange:
        if (const auto *widget = qobject_cast<QWidget *>(watched); widget && widget->isWindow())
            scheduleRefresh();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Kivaro
