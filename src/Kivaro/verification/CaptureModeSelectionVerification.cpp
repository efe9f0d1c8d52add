// The capture-mode stretch of the capture improvements sub-run: the overlay's selection view
// over a known picture and this process's first window as its target, shown in a test window
// of its own and driven with calls and mouse events handed straight to the view.

#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "Kivaro/verification/CaptureImprovementsVerification.h"
#include "Kivaro/verification/CaptureVerificationSupport.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/ScreenCapture/ScreenSource.h"

#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <chrono>
#include <unistd.h>

namespace Kivaro::CaptureImprovementsVerification {

using namespace std::chrono_literals;
using namespace CaptureVerificationSupport;
using VerificationSupport::check;
using VerificationSupport::verificationFailed;

namespace {

// Puts the pointer on `qtPoint` and waits (at most 1 s) until the server reports it there.
Platform::Task<bool> warpPointer(QPoint qtPoint)
{
    QCursor::setPos(qtPoint);
    for (int poll = 0; poll < 20; ++poll) {
        if (QCursor::pos() == qtPoint)
            co_return true;
        co_await Platform::sleep(50ms);
    }
    co_return QCursor::pos() == qtPoint;
}

} // namespace

Platform::Task<void> selection(EditorController *, QString output, QImage image)
{
    const QRectF screen(0, 0, 960, 600);
    const QRectF targetFrame(50, 80, 800, 450);
    const std::shared_ptr<Platform::ScreenSource> source = Platform::makeScreenSource();
    std::optional<Platform::ShareableWindow> own;
    for (const Platform::ShareableWindow &window : source->windows())
        if (window.processID == ::getpid()) {
            own = window;
            break;
        }
    if (!own)
        throw ShotError::message(QStringLiteral("验证目标窗口不可用"));

    // The window highlight follows the pointer: put it inside the target first. The test window
    // is centred on the screen's centre, and its view's centre lies inside the target frame,
    // whatever the size of the real screen.
    QScreen *primary = QGuiApplication::primaryScreen();
    const QPoint centre = primary ? primary->geometry().center() : QPoint();
    if (!primary || !targetFrame.contains(screen.center()) || !co_await warpPointer(centre))
        throw ShotError::message(QStringLiteral("the pointer could not be put inside the capture target"));

    WindowList windows;
    auto *window = windows.add(new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint));
    window->setWindowTitle(QStringLiteral("截图方式验证"));
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *view = new CaptureSelectionView(image, screen, {{*own, targetFrame}}, CaptureSelectionMode::window, false);
    layout->addWidget(view);
    window->setFixedSize(960, 600);
    window->move(centre - QPoint(480, 300));
    if (!co_await showAtFront(window))
        throw ShotError::message(QStringLiteral("找不到当前应用窗口"));
    co_await Platform::sleep(400ms);

    check(view->selectedWindow() && view->selectedWindow()->windowID == own->windowID && view->selection().width() == 800, verificationFailed,
          "auto-window-highlight");
    PrototypeVerification::snapshot(view, QDir(output).filePath(QStringLiteral("capture-window-mode.png")));

    view->setOption(true);
    check(view->effectiveMode() == CaptureSelectionMode::region, verificationFailed, "option-window-to-region");

    view->mouseDown(*mouseEvent(*view, Mouse::down, {120, 100}));
    view->mouseDragged(*mouseEvent(*view, Mouse::dragged, {640, 350}));
    check(view->selection().width() == 520 && view->selection().height() == 250, verificationFailed, "manual-drag-selection");
    PrototypeVerification::snapshot(view, QDir(output).filePath(QStringLiteral("capture-region-mode.png")));

    view->setOption(false);
    check(view->effectiveMode() == CaptureSelectionMode::window, verificationFailed, "option-release-restores-default");

    CaptureSelectionView second(image, screen, {}, CaptureSelectionMode::region, false);
    second.setOption(true);
    check(second.effectiveMode() == CaptureSelectionMode::window, verificationFailed, "option-region-to-window");
}

} // namespace Kivaro::CaptureImprovementsVerification
