#pragma once
// One overlay window of a running capture: frameless, above everything, covering one screen,
// with a CaptureSelectionView as its content. On X11 it bypasses the window manager
// (override-redirect), so it appears at once, exactly where it is put, without decorations,
// and is never listed as a window to pick.
//
// The capture closes it and destroys it later (deleteLater); it is never deleted inside one of
// its own event handlers, where a finished or cancelled selection closes it.

#include <QRectF>
#include <QWidget>

#include <functional>

namespace Kivaro {

class CaptureSelectionView;

class CaptureOverlayWindow final : public QWidget {
    Q_OBJECT
public:
    // Takes `view` as its content. `frame` is the screen in global model points, `qtGeometry`
    // the same screen in Qt's desktop coordinates.
    CaptureOverlayWindow(CaptureSelectionView *view, QRectF frame, QRect qtGeometry);

    CaptureSelectionView *contentView() const { return m_view; }
    // The screen this overlay covers, in global model points.
    QRectF frame() const { return m_frame; }

    // Called when the window closes, whoever closes it.
    std::function<void()> closed;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    CaptureSelectionView *m_view;
    QRectF m_frame;
};

} // namespace Kivaro
