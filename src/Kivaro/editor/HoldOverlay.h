#pragma once
// The transparent view over the editor canvas that turns one press, hold and release of the
// primary button into one gesture: a voice point, a shape drag for the armed tool, a freehand
// stroke, or a privacy-mask rectangle. The editor sets its mode (`active`, `drawingTool`,
// `rectangleMode`), the live-preview ink and the callbacks, and decides what each gesture makes.
//
// | drawingTool                      | rectangleMode | gesture   | at release                      |
// | pen                              | any           | freehand  | completedFreehand(strokePoints) |
// | arrow, rectangle, ellipse, step, line | any      | drag      | completedDrag(press, release)   |
// | none                             | true          | rectangle | completedRectangle(spanned)     |
// | none                             | false         | voice     | ended()                         |
//
// A release is never missed: the overlay takes the press itself, so X's implicit grab and Qt's
// mouse grab send it the moves and the release even outside the window, and a 1/60 s poll of
// the pointer source (the X server's button state through xcb_query_pointer) ends a hold whose
// release no window was sent. Whichever path sees the release first finishes the gesture; the
// others then find no hold.
//
// A hold starts only on the overlay itself, that is on the canvas it covers: views in front of
// it (the dock, the status line, the voice panel, the inline editor's exit button) keep their
// clicks, wherever they lie over the canvas. No application-wide filter is involved, so no
// other gesture's filter and no installation order decides who owns a press.
//
// While `active` is false the overlay lets every click through to the canvas below it (where the
// linked-bubble drag may take it). Points are the overlay's own coordinates (origin top left).
// Main thread only; every callback runs synchronously inside the event or timer that caused it.

#include "Kivaro/document/DrawingTool.h"

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QMouseEvent;

namespace Platform {
class PointerSource;
}

namespace Kivaro {

class HoldOverlay final : public QWidget {
    Q_OBJECT
public:
    explicit HoldOverlay(QWidget *parent = nullptr);
    ~HoldOverlay() override;

    bool active() const { return m_active; }
    void setActive(bool active);

    // Where the poll asks for the held buttons and the pointer; the platform's when unset.
    void setPointerSource(std::shared_ptr<Platform::PointerSource> pointer);

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
    const std::optional<QPointF> &point() const { return m_point; }
    const std::optional<QPointF> &currentPoint() const { return m_currentPoint; }
    // The points of the current (or last) pen stroke; kept until the next press.
    const QList<QPointF> &strokePoints() const { return m_strokePoints; }
    bool isPolling() const { return m_releaseTimer.isActive(); }

    // Ends a hold without a result and calls `cancelled`.
    void cancel();

    // The gesture steps, in overlay coordinates; the event handlers and the poll call them.
    // `timestamp` is the event's time in milliseconds.
    void press(QPointF point, qint64 timestamp);
    void dragTo(QPointF point);
    // A release event: ignored while it carries the press's own timestamp and the button is
    // still reported held (not a real release).
    void release(QPointF point, qint64 timestamp);
    // One tick of the poll.
    void checkHeldButton();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void finish(QPointF releasePoint);
    // What the live feedback covers now, in overlay coordinates.
    QRect previewBounds() const;
    void holdBackdrop();
    void dropBackdrop();
    void trace(const QMouseEvent &event, int type);
    Platform::PointerSource &pointer();

    bool m_active = true;
    bool m_holding = false;
    std::optional<QPointF> m_point;
    std::optional<QPointF> m_currentPoint;
    QList<QPointF> m_strokePoints;
    std::optional<qint64> m_pressedTimestamp;
    QTimer m_releaseTimer;
    std::shared_ptr<Platform::PointerSource> m_pointer;
    std::optional<QString> m_traceFolder;
    // What lies beneath the overlay, rendered at the press; empty outside a hold.
    QPixmap m_backdrop;
};

} // namespace Kivaro
