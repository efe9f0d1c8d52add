#pragma once
// A screen source fed by fixtures: screens with their images, windows and their own images, a
// pointer location. It records what it was asked, so tests can check that a capture froze each
// screen once and asked for a window image only when a window was picked.
//
// The first fixture screen's model frame is placed at Qt (0, 0), like a primary screen.

#include "Platform/ScreenCapture/ScreenSource.h"

#include <QHash>

namespace Platform {

class InProcessScreenSource final : public ScreenSource {
public:
    struct Screen {
        CaptureScreen screen;
        QImage image;            // null: the display does not show this screen (freeze gives null)
        bool unreadable = false; // reading it fails (freeze throws ScreenCaptureError)
    };

    InProcessScreenSource() = default;

    void setScreens(QList<Screen> screens) { m_screens = std::move(screens); }
    // Front-most first; the source hands them out as they are.
    void setWindows(QList<ShareableWindow> windows) { m_windows = std::move(windows); }
    // The image a window gives by itself; without one the window is cut from the frozen screens.
    void setWindowImage(std::uint32_t windowID, QImage image) { m_windowImages.insert(windowID, std::move(image)); }
    void setPointerLocation(QPointF location) { m_pointer = location; }
    void setGrabSucceeds(bool succeeds) { m_grabSucceeds = succeeds; }

    int freezeCount() const { return m_freezeCount; }
    int windowListCount() const { return m_windowListCount; }
    // (window, scale) of each window-image request.
    const QList<std::pair<std::uint32_t, double>> &windowImageRequests() const { return m_windowImageRequests; }
    bool inputGrabbed() const { return m_grabbed; }

    QList<CaptureScreen> screens() const override;
    ScreenCoordinates coordinates() const override;
    QPointF pointerLocation() const override { return m_pointer; }
    QList<ShareableWindow> windows() override;
    QImage freeze(const CaptureScreen &screen) override;
    QImage windowImage(const ShareableWindow &window, double scale, const QList<FrozenScreen> &frozen) override;
    bool grabInput(QWindow *window) override;
    void releaseInput() override { m_grabbed = false; }

private:
    QList<Screen> m_screens;
    QList<ShareableWindow> m_windows;
    QHash<std::uint32_t, QImage> m_windowImages;
    QPointF m_pointer{-1e6, -1e6};
    bool m_grabSucceeds = true;
    bool m_grabbed = false;
    int m_freezeCount = 0;
    int m_windowListCount = 0;
    QList<std::pair<std::uint32_t, double>> m_windowImageRequests;
};

} // namespace Platform
