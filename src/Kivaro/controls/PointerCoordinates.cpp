#include "Kivaro/controls/PointerCoordinates.h"

#include "Kivaro/controls/KivaroWindow.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWidget>

#include <cmath>

namespace Kivaro {

PointerEvent PointerEvent::from(const QMouseEvent &event, const QWidget *receiver)
{
    PointerEvent result;
    result.globalLocation = event.globalPosition();
    result.window = receiver ? receiver->window() : nullptr;
    result.locationInWindow = receiver ? QPointF(receiver->mapTo(receiver->window(), QPoint(0, 0))) + event.position() : event.position();
    result.fromWindowSystem = event.spontaneous();
    return result;
}

namespace PointerCoordinates {

namespace {
// The centre of the window's content, in window coordinates: a KivaroWindow's content view
// sits below its title area; any other window is all content.
QPointF contentCentre(const QWidget *window)
{
    const auto *kivaro = qobject_cast<const KivaroWindow *>(window);
    const QWidget *content = kivaro && kivaro->contentView() ? kivaro->contentView() : window;
    return QPointF(content->mapTo(window, QPoint(0, 0))) + QPointF(content->width() / 2.0, content->height() / 2.0);
}
} // namespace

QPointF local(const PointerEvent &event, const QWidget *view, const std::function<QPointF()> &livePointer)
{
    if (!view)
        return {};
    const QWidget *window = view->window();
    if (!window)
        return {};
    const auto windowToView = [&](QPointF inWindow) { return inWindow - QPointF(view->mapTo(window, QPoint(0, 0))); };

    if (!event.fromWindowSystem)
        return windowToView(event.locationInWindow);

    if (event.window == window) {
        QPointF location = event.locationInWindow;
        const QPointF centre = contentCentre(window);
        const bool ours = event.sourceProcess != 0 && event.sourceProcess == QCoreApplication::applicationPid();
        if (ours && std::abs(location.x() - centre.x()) < 1.0 && std::abs(location.y() - centre.y()) < 1.0) {
            const QPointF live = livePointer ? livePointer() : QPointF(QCursor::pos());
            location = live - QPointF(window->mapToGlobal(QPoint(0, 0)));
        }
        return windowToView(location);
    }

    const QPointF global = event.globalLocation;
    return global - QPointF(view->mapToGlobal(QPoint(0, 0)));
}

} // namespace PointerCoordinates
} // namespace Kivaro
