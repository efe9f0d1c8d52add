#pragma once
// Turns a pointer event into a point in a view's own coordinates (points, origin top-left),
// also for events that belong to another window than the view's (through their global
// position) and for events this process synthesised at the centre of the window's content,
// which stand for "wherever the pointer is now" (the live pointer position is used).
//
// `PointerEvent` is the part of an event this needs, so the mapping is a pure function of the
// event, the view and the live pointer position; `from` fills it from a Qt mouse event.

#include <QPointF>
#include <QPointer>

#include <functional>

class QMouseEvent;
class QWidget;

namespace Kivaro {

struct PointerEvent {
    // In the coordinates of the window the event was delivered to.
    QPointF locationInWindow;
    // Global screen coordinates (Qt's virtual desktop, origin top-left).
    QPointF globalLocation;
    // The top-level window the event belongs to; null for none.
    QPointer<const QWidget> window;
    // False for an event made inside this process without the window system behind it.
    bool fromWindowSystem = true;
    // The process that posted the event when the window system tells it; 0 when unknown.
    qint64 sourceProcess = 0;

    // `receiver` is the widget the event was delivered to.
    static PointerEvent from(const QMouseEvent &event, const QWidget *receiver);
};

namespace PointerCoordinates {

// `livePointer` gives the pointer's current global position (QCursor::pos() by default).
QPointF local(const PointerEvent &event, const QWidget *view, const std::function<QPointF()> &livePointer = {});

} // namespace PointerCoordinates
} // namespace Kivaro
