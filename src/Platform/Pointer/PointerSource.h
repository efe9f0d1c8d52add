#pragma once
// The pointer as the window system knows it right now: which mouse buttons are held and where
// the pointer is. Polling code (a consistency pass that waits for the end of a drag, a hold
// that must notice a release it was never sent) asks here instead of reading Qt's
// `QGuiApplication::mouseButtons()`, which only remembers the last event this process saw:
// when another client grabs the pointer between a press and its release, that state sticks
// on "pressed" for good.
//
// `forPlatform()` gives the X server's answer on the xcb platform and the shared in-process
// source anywhere else (Qt's offscreen platform in tests and verification runs), whose state
// the caller sets. Main thread only.

#include <QPoint>

#include <memory>

namespace Platform {

class PointerSource {
public:
    virtual ~PointerSource() = default;

    // The buttons held at this moment; Qt::NoButton when none or when the system cannot say.
    virtual Qt::MouseButtons pressedButtons() = 0;
    // The pointer's position in global (device-independent) screen coordinates.
    virtual QPoint location() = 0;

    static std::shared_ptr<PointerSource> forPlatform();
};

} // namespace Platform
