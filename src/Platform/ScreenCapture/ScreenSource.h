#pragma once
// What a capture needs of the window system: the screens, a frozen image of each, the windows a
// user can pick, one window's own image, and the keyboard and pointer while an overlay is up.
//
// Geometry handed out here is in model points (origin at the bottom-left corner of the first
// screen, y up; see ScreenCoordinates). Images are in pixels at the screen's backing scale,
// top row first.
//
// Backends: X11ScreenSource (MIT-SHM screen images, EWMH window list, XComposite window
// images) and InProcessScreenSource (fixtures, for tests on Qt's offscreen platform).
// `makeScreenSource()` picks one for the running platform.
//
// Everything runs on the main thread. The calls that touch the X server block for a round trip
// or two (a few milliseconds per screen): the screens must be read before anything on them
// repaints, so these are not turned into event-loop waits.

#include "Platform/ScreenCapture/ScreenCoordinates.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

class QWindow;

namespace Platform {

struct CaptureScreen {
    QString name;
    QRectF frame;             // model points
    double backingScale = 1.0; // image pixels per point

    // The frozen image's size: the frame times the scale, each truncated to whole pixels.
    QSize pixelSize() const;
    friend bool operator==(const CaptureScreen &, const CaptureScreen &) = default;
};

// A window a capture can pick.
struct ShareableWindow {
    std::uint32_t windowID = 0; // the X window id of the application's (client) window
    QRectF frame;               // model points, window-manager decorations included
    std::int64_t processID = 0; // 0 when the window does not say

    friend bool operator==(const ShareableWindow &, const ShareableWindow &) = default;
};

struct FrozenScreen {
    CaptureScreen screen;
    QImage image;
};

// Reading a screen failed (the display refused the read, or the connection broke). It carries
// the screen's name; the caller words the user's message.
class ScreenCaptureError final : public std::runtime_error {
public:
    explicit ScreenCaptureError(QString screen);
    const QString &screen() const { return m_screen; }

private:
    QString m_screen;
};

class ScreenSource {
public:
    virtual ~ScreenSource();

    // Screens in the platform's order, primary first. Empty when no display is reachable.
    virtual QList<CaptureScreen> screens() const = 0;
    // The conversions for the current screen layout (model, Qt, native).
    virtual ScreenCoordinates coordinates() const = 0;
    // The pointer in model points.
    virtual QPointF pointerLocation() const = 0;

    // Windows that are shown on the current desktop, front-most first, without desktops, docks,
    // menus, tool tips and windows that bypass the window manager (a capture's own overlays).
    // This process's other windows are listed like any other: a caller that does not want them
    // hides them first. Taken fresh on every call.
    virtual QList<ShareableWindow> windows() = 0;

    // The screen's current content at its backing scale, drawable as it is. A null image when
    // the display does not show that screen at all (then the capture leaves it out). Throws
    // ScreenCaptureError when reading the screen fails.
    virtual QImage freeze(const CaptureScreen &screen) = 0;

    // The window by itself at `scale` pixels per point, the whole window even where other
    // windows cover it, when the window system keeps window contents (XComposite). Otherwise
    // the window is cut out of `frozen`: what covered it stays, what lay off every screen is
    // transparent. Null when the window lies on no frozen screen, or when its image would pass
    // the image limits (see windowPixelSize).
    virtual QImage windowImage(const ShareableWindow &window, double scale, const QList<FrozenScreen> &frozen) = 0;

    // Makes the next freeze cheap (allocates and touches buffers). Optional.
    virtual void prepare() {}
    // A capture has ended: buffers kept for the next one go back to the system, and so does
    // each frozen image's buffer once the last copy of the image is gone. Optional.
    virtual void rest() {}

    // Takes the keyboard and pointer for an overlay window (top-level, shown). Returns false
    // when another client holds them right now; the caller may try again shortly.
    virtual bool grabInput(QWindow *window) = 0;
    virtual void releaseInput() = 0;
};

// The backend for the running platform: X11 under the xcb platform with a reachable display,
// otherwise an in-process source with no screens.
std::shared_ptr<ScreenSource> makeScreenSource();

// True when an X display answers: Qt's own connection when Qt runs on xcb, else a fresh
// connection to $DISPLAY (opened and closed again).
bool displayReachable();

// The pixels of an image of `frame` (model points) at `scale`, each side truncated to whole
// pixels. Empty when the frame is empty or the image would pass the image limits the documents
// keep (16,000 pixels a side, 40,000,000 pixels): nothing that size is made.
QSize windowPixelSize(const QRectF &frame, double scale);

// Cuts `frame` (model points) out of the frozen screens at `scale`: each part from the screen
// that shows it, transparent only where no screen does. Null when no screen overlaps it or
// windowPixelSize refuses the size.
QImage cutFromFrozenScreens(const QRectF &frame, double scale, const QList<FrozenScreen> &frozen);

} // namespace Platform
