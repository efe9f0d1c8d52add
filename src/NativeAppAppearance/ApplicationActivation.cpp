#include "NativeAppAppearance/ApplicationActivation.h"

#include "Platform/Windows/WindowActivation.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace NativeAppAppearance::ApplicationActivation {

namespace {

QPointer<QWidget> &lastActive()
{
    static QPointer<QWidget> window;
    return window;
}

bool activatable(const QWidget *window)
{
    if (!window || !window->isWindow() || !window->isVisible() || window->isMinimized())
        return false;
    if (window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
        return false;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

} // namespace

void trackActiveWindows()
{
    // The connection's context belongs to the application object, so a new application (a test
    // making another) is tracked again.
    static QPointer<QObject> context;
    if (context || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    context = new QObject(QCoreApplication::instance());
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, context, [](QWindow *focused) {
        if (!focused)
            return;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->windowHandle() == focused && activatable(top)) {
                lastActive() = top;
                return;
            }
        }
    });
}

QWidget *activate()
{
    trackActiveWindows();
    QWidget *target = QApplication::activeWindow();
    if (!activatable(target))
        target = lastActive();
    if (!activatable(target)) {
        target = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (activatable(top)) {
                target = top;
                break;
            }
        }
    }
    if (!target)
        return nullptr;
    Platform::bringForward(target);
    return target;
}

} // namespace NativeAppAppearance::ApplicationActivation
