#pragma once
// One screen's selection surface in the capture overlay: the frozen screen under a dark veil,
// where the user picks a window (window mode) or drags a region (region mode). It reports the
// choice through callbacks and never captures anything itself.
//
// Coordinates. The view's own coordinates are points with the origin at the bottom-left corner
// of its screen, y up: `selection`, `pointer` and the gesture live there. A global point (model
// points, origin at the bottom-left of the first screen) is the view point plus the screen
// frame's origin. Qt's widget coordinates (y down) appear only where events come in and
// painting goes out.
//
// The effective mode is `preferred`, switched to the other mode while Option (Alt) is held.
// The event handlers are public so that a verification run can hand events in directly; the
// widget's own event overrides call them.

#include "Kivaro/shell/capture/CaptureWindowTarget.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/RegionSelectionGesture.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

class QKeyEvent;
class QMouseEvent;

namespace Kivaro {

class CaptureSelectionFooter;

class CaptureSelectionView final : public QWidget {
    Q_OBJECT
public:
    // The pointer in global model points.
    using PointerLocation = std::function<QPointF()>;
    using FinishCallback = std::function<void(QRectF selection, std::optional<Platform::ShareableWindow> window)>;

    // `image` is the frozen screen in pixels; `screenFrame` the screen in global points;
    // `targets` front-most first. Without `pointerLocation` the real cursor is asked.
    CaptureSelectionView(QImage image, QRectF screenFrame, QList<CaptureWindowTarget> targets, CaptureSelectionMode preferred,
                         bool optionHeld, PointerLocation pointerLocation = {}, QWidget *parent = nullptr);
    ~CaptureSelectionView() override;

    // What the view was made with. The frozen image is also what is drawn under the veil
    // (`background`), stretched to the bounds.
    const QImage &image() const { return m_image; }
    const QImage &background() const { return m_image; }
    QRectF screenFrame() const { return m_screenFrame; }
    const QList<CaptureWindowTarget> &targets() const { return m_targets; }
    CaptureSelectionMode preferred() const { return m_preferred; }

    FinishCallback finish;
    std::function<void()> cancel;
    // When set, pointer moves go here (the capture relays them to every screen's view) instead
    // of to this view's updateSelection.
    std::function<void(QPointF)> pointerMoved;

    QRectF selection() const { return m_selection; }
    const std::optional<Platform::ShareableWindow> &selectedWindow() const { return m_selectedWindow; }
    const std::optional<RegionSelectionGesture> &gesture() const { return m_gesture; }
    std::optional<QPointF> pointer() const { return m_pointer; }
    bool spaceHeld() const { return m_spaceHeld; }
    bool shiftHeld() const { return m_shiftHeld; }
    bool pointerDown() const { return m_pointerDown; }
    bool optionHeld() const { return m_optionHeld; }
    CaptureSelectionFooter *footer() const { return m_footer; }

    CaptureSelectionMode effectiveMode() const;
    // (0, 0, screen width, screen height) in view coordinates.
    QRectF bounds() const;
    // The size the label shows, in image pixels.
    QSizeF measuredPixelSize() const;

    void updateSelection(QPointF globalPoint);
    void setOption(bool held);
    void updateFooter();
    void updateRegion(std::optional<QPointF> viewPoint);

    void mouseDown(const QMouseEvent &event);
    void mouseDragged(const QMouseEvent &event);
    void mouseUp(const QMouseEvent &event);
    void mouseMoved(const QMouseEvent &event);
    void mouseEntered(const QMouseEvent &event) { mouseMoved(event); }
    void mouseExited();
    // Return whether the key was taken; other keys go on to the parent.
    bool keyDown(const QKeyEvent &event);
    bool keyUp(const QKeyEvent &event);
    void flagsChanged(Qt::KeyboardModifiers modifiers);
    void cancelOperation();

    // Between an event's widget position (y down) and view coordinates (y up).
    QPointF viewPoint(QPointF widgetPosition) const;
    QPointF widgetPoint(QPointF viewPoint) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QPointF globalPoint(const QMouseEvent &event) const;
    void routePointer(QPointF globalPoint);
    void refresh();
    void updateCursor();

    QImage m_image;
    QRectF m_screenFrame;
    QList<CaptureWindowTarget> m_targets;
    CaptureSelectionMode m_preferred;
    QRectF m_selection;
    std::optional<Platform::ShareableWindow> m_selectedWindow;
    std::optional<RegionSelectionGesture> m_gesture;
    std::optional<QPointF> m_pointer;
    bool m_spaceHeld = false;
    bool m_shiftHeld = false;
    bool m_pointerDown = false;
    CaptureSelectionFooter *m_footer;
    bool m_optionHeld;
    PointerLocation m_pointerLocation;
    QList<QRectF> m_painted; // widget rectangles the last paint decorated
};

} // namespace Kivaro
