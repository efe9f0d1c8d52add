#pragma once
// The screen source of an X display (see ScreenSource.h for the contract).
//
// - Screens are Qt's (primary first), with their device pixel ratio as backing scale.
// - A screen is frozen with one MIT-SHM xcb_shm_get_image of its native rectangle into a
//   recycled shared-memory segment that the returned image wraps without copying; without
//   shared memory (a remote display) xcb_get_image is used instead.
// - A window image is the window's frame pixmap through XComposite when the window is
//   redirected (a compositing manager runs), read only where the listed frame lies; otherwise
//   it is cut from the frozen screens.
// - Input grabs go through Qt's own connection, because the overlay windows belong to it.
//
// Needs the xcb platform plugin for input grabs and the pointer; everything else works on any
// platform as long as $DISPLAY is reachable.

#include "Platform/ScreenCapture/ScreenSource.h"

#include <memory>

namespace Platform {

class X11ScreenSource final : public ScreenSource {
public:
    X11ScreenSource();
    ~X11ScreenSource() override;

    bool isConnected() const;
    // Whether screens are read through shared memory (false after a refusal, e.g. a remote display).
    bool usesSharedMemory() const;

    QList<CaptureScreen> screens() const override;
    ScreenCoordinates coordinates() const override;
    QPointF pointerLocation() const override;
    QList<ShareableWindow> windows() override;
    QImage freeze(const CaptureScreen &screen) override;
    QImage windowImage(const ShareableWindow &window, double scale, const QList<FrozenScreen> &frozen) override;
    void prepare() override;
    void rest() override;
    bool grabInput(QWindow *window) override;
    void releaseInput() override;

    // Whether a fresh connection to $DISPLAY succeeds.
    static bool displayAnswers();
    // Whether an open connection (Qt's) is still usable.
    static bool connectionUsable(void *xcbConnection);

    // The window's own pixels through XComposite in `area` (root pixels), transparent where the
    // window does not cover it; null when the window is not redirected, lies outside the area,
    // or the area passes the image limits.
    QImage compositeImage(std::uint32_t windowID, const QRect &area);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Platform
