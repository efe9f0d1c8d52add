#pragma once
// The transparent view over the editor canvas that turns one press, hold and release of the
// primary button into one gesture: a voice point, a shape drag for the armed tool, a freehand
// stroke, or a privacy-mask rectangle. The editor sets its mode (`active`, `drawingTool`,
// `rectangleMode`), the live-preview ink and the callbacks, and decides what each gesture makes.
//
// What exists so far is that configuration and `cancel()`. While `active` is false the overlay
// lets every click through to the canvas below it; while it is true it takes them. Turning
// presses into gestures (with the X server's button state for releases it is never sent) comes
// with the drawing tools; until then an active overlay swallows clicks without a result.
//
// Points are the overlay's own coordinates (origin top left). Main thread only.

#include "Kivaro/editor/DrawingTool.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace Kivaro {

class HoldOverlay final : public QWidget {
    Q_OBJECT
public:
    explicit HoldOverlay(QWidget *parent = nullptr);

    bool active() const { return m_active; }
    void setActive(bool active);

    // A view over the canvas whose own clicks must not start a hold (the voice panel).
    QPointer<QWidget> excludedView;
    // Called at every press with the press point.
    std::function<void(QPointF)> began;
    // A release in voice mode.
    std::function<void()> ended;
    // The hold was cancelled (also called when none was in progress).
    std::function<void()> cancelled;
    // The shape tool; nothing means voice mode or, with `rectangleMode`, rectangle mode.
    std::optional<DrawingTool> drawingTool;
    // Colour and line width of the live shape preview.
    QColor inkColor;
    qreal inkWidth = 3.0;
    // A drag with a shape tool other than the pen finished: start and end points.
    std::function<void(QPointF, QPointF)> completedDrag;
    // A pen stroke finished.
    std::function<void(const QList<QPointF> &)> completedFreehand;
    // Without a tool: the gesture is a rectangle, not a voice point.
    bool rectangleMode = false;
    // A rectangle finished (positive size).
    std::function<void(QRectF)> completedRectangle;

    bool holding() const { return m_holding; }
    // Ends a hold without a result and calls `cancelled`.
    void cancel();

private:
    bool m_active = true;
    bool m_holding = false;
};

} // namespace Kivaro
