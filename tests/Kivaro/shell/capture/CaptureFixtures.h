#pragma once
// Shared scenes of the capture tests: screens made of known pictures on the in-process screen
// source, a granted (or refused) permission, events built from view points.

#include "Kivaro/shell/capture/CaptureOverlayWindow.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Platform/ScreenCapture/InProcessScreenSource.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/TaskTesting.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <memory>

namespace CaptureTesting {

using TestSupport::waitFor;
using TestSupport::waitUntil;

struct Permission final : Tellumo::ScreenRecordingPermission {
    bool granted = true;
    bool isGranted() const override { return granted; }
    void request() override {}
};

// Installs a permission for the test's lifetime.
struct PermissionScope {
    std::shared_ptr<Permission> permission = std::make_shared<Permission>();
    PermissionScope() { Tellumo::ScreenRegionCapture::setPermission(permission); }
    ~PermissionScope() { Tellumo::ScreenRegionCapture::setPermission({}); }
};

inline Platform::InProcessScreenSource::Screen screen(QRectF frame, double scale, int seed)
{
    const Platform::CaptureScreen captureScreen{QStringLiteral("screen-%1").arg(seed), frame, scale};
    return {captureScreen, TestSupport::patternImage(captureScreen.pixelSize(), seed)};
}

inline Platform::ShareableWindow window(std::uint32_t id, QRectF frame)
{
    return {id, frame, 4242};
}

// An event at a point in the view's own coordinates (y up); a move with the button `held` is a
// drag.
inline std::unique_ptr<QMouseEvent> mouse(const Kivaro::CaptureSelectionView &view, QEvent::Type type, QPointF viewPoint,
                                          Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool held = false)
{
    const QPointF local = view.widgetPoint(viewPoint);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = held || type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    return std::make_unique<QMouseEvent>(type, local, local, local, button, buttons, modifiers);
}

// A started capture on a fixture source, waited until its overlays are shown.
struct RunningCapture {
    Platform::TaskHandle<std::optional<QImage>> handle;
    bool shown = false;
};
inline RunningCapture startCapture(Kivaro::RegionCapture &capture, Kivaro::CaptureSelectionMode mode, bool optionHeld = false)
{
    RunningCapture running;
    running.handle = Platform::start(capture.capture(mode, optionHeld));
    running.shown = waitUntil([&] { return capture.hasPendingSelection() || running.handle.isFinished(); }) &&
                    capture.hasPendingSelection();
    return running;
}

} // namespace CaptureTesting
