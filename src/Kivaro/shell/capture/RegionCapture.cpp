#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/shell/capture/internal/ModifierKeys.h"

#include "Kivaro/shell/capture/CaptureOverlayWindow.h"
#include "Kivaro/shell/capture/CaptureSelectionView.h"
#include "KivaroCore/Geometry.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Keys/KeyTable.h"
#include "TellumoCore/ScreenRegionCapture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QTimer>

#include <cmath>

namespace Kivaro {

using Platform::CaptureScreen;
using Platform::FrozenScreen;
using Platform::ShareableWindow;

namespace {

bool isEscape(const QKeyEvent &event)
{
    if (event.key() == Qt::Key_Escape)
        return true;
    const Platform::KeyInfo *key = Platform::Keys::fromEvent(event);
    return key && key->keyCode == Platform::Keys::escape;
}


// Pending input grabs are retried this often while another client (usually our own hot-key
// grab, active until the chord's keys are released) holds the keyboard.
constexpr int grabRetryMs = 15;
constexpr int grabAttempts = 200;

} // namespace

RegionCapture::RegionCapture(QObject *parent) : RegionCapture(Platform::makeScreenSource(), parent)
{
}

RegionCapture::RegionCapture(std::shared_ptr<Platform::ScreenSource> source, QObject *parent)
    : QObject(parent), m_source(std::move(source))
{
}

RegionCapture::~RegionCapture()
{
    m_pendingPhase.reset();
    dismiss();
}

QList<CaptureWindowTarget> RegionCapture::windowTargets(const QList<ShareableWindow> &windows)
{
    QList<CaptureWindowTarget> targets;
    for (const ShareableWindow &window : windows)
        if (window.frame.width() >= minimumWindowSide && window.frame.height() >= minimumWindowSide)
            targets.append({window, window.frame});
    return targets;
}

QRect RegionCapture::cropRect(QRectF selection, QSize imagePixels, QSizeF screenSize)
{
    const double sx = screenSize.width() > 0 ? imagePixels.width() / screenSize.width() : 1.0;
    const double sy = screenSize.height() > 0 ? imagePixels.height() / screenSize.height() : 1.0;
    const double x = Geometry::minX(selection) * sx;
    const double y = imagePixels.height() - Geometry::maxY(selection) * sy;
    const double w = selection.width() * sx;
    const double h = selection.height() * sy;
    // The smallest whole-pixel rectangle that holds the crop; the tolerance keeps a value like
    // 200.00000000003 (floating-point noise of an exact product) from growing a pixel.
    constexpr double noise = 1e-9;
    const double left = std::floor(x + noise);
    const double top = std::floor(y + noise);
    const double right = std::ceil(x + w - noise);
    const double bottom = std::ceil(y + h - noise);
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

Platform::Task<std::optional<QImage>> RegionCapture::capture(CaptureSelectionMode mode, bool optionHeld)
{
    if (m_isRunning)
        throw ShotError::message(kivaroCopy("请先完成当前截图。"));
    if (!Tellumo::ScreenRegionCapture::permissionGranted())
        throw Tellumo::ScreenRegionCapture::permissionError();
    m_isRunning = true;
    m_lastPlacement.reset();
    QPointer<RegionCapture> self(this);
    // The source stays alive with the task even if this object goes.
    const std::shared_ptr<Platform::ScreenSource> source = m_source;
    const auto cleanup = qScopeGuard([self, source] {
        if (self) {
            self->dismiss();
            self->m_isRunning = false;
        }
        // Buffers kept warm for this capture go back to the system; the frozen screens' own
        // go as soon as nothing shows them any more.
        source->rest();
    });

    // Buffers for the frozen screens are made ready inside the settle delay, not after it.
    QElapsedTimer settling;
    settling.start();
    source->prepare();
    co_await Platform::sleep(std::max(std::chrono::milliseconds(0), settleDelay - std::chrono::milliseconds(settling.elapsed())));
    if (!self)
        throw Platform::CancellationError();

    const QList<CaptureWindowTarget> targets = windowTargets(source->windows());
    QList<FrozenScreen> frozen;
    for (const CaptureScreen &screen : source->screens()) {
        // A screen the display does not show is left out; one that fails to be read ends the
        // capture: it never goes on without an overlay on a screen the user sees.
        QImage image;
        try {
            image = source->freeze(screen);
        } catch (const Platform::ScreenCaptureError &error) {
            throw ShotError::message(kivaroFormat("屏幕“%@”无法截图，请重试。", error.screen()));
        }
        if (!image.isNull())
            frozen.append({screen, std::move(image)});
    }
    if (frozen.isEmpty())
        throw ShotError::message(kivaroCopy("没有可截图的屏幕。"));
    co_await Platform::checkCancellation();

    const quint64 phase = beginSelection(frozen, targets, mode, optionHeld);
    // Cancelling the task ends this phase, and only this one, before the wait throws. The
    // awaiter is a named local: GCC 12 destroys a lambda written inside a co_await expression
    // twice, and this one holds a QPointer.
    auto selectionEnded = Platform::signal(this, &RegionCapture::selectionEnded, [self, phase] {
        if (self)
            self->complete(phase, std::nullopt);
    });
    co_await selectionEnded;
    if (!self)
        throw Platform::CancellationError();
    co_await Platform::checkCancellation();
    const std::optional<OverlayResult> result = std::exchange(m_result, std::nullopt);
    if (!result)
        co_return std::nullopt;

    const FrozenScreen &entry = frozen.at(result->screenIndex);
    const QRectF placed = result->window ? result->window->frame : result->selection.translated(entry.screen.frame.topLeft());
    m_lastPlacement = CapturePlacement{entry.screen.frame, placed, entry.image};

    if (result->window) {
        double scale = 2.0;
        const QPointF mouse = source->pointerLocation();
        for (const CaptureScreen &screen : source->screens())
            if (Geometry::contains(screen.frame, mouse)) {
                scale = screen.backingScale;
                break;
            }
        QImage image = source->windowImage(*result->window, scale, frozen);
        if (image.isNull())
            throw ShotError::message(kivaroCopy("所选窗口无法截图，请重试。"));
        co_return image;
    }
    co_return cropRegion(entry.image, result->selection, entry.screen.frame.size());
}

void RegionCapture::forgetBackground()
{
    if (m_lastPlacement)
        m_lastPlacement->background = QImage();
}

QImage RegionCapture::cropRegion(const QImage &frozen, QRectF selection, QSizeF screenSize)
{
    const QRect crop = cropRect(selection, frozen.size(), screenSize).intersected(frozen.rect());
    QImage image = crop.isEmpty() ? QImage() : frozen.copy(crop);
    if (image.isNull())
        throw ShotError::message(kivaroCopy("所选区域无法截图，请重试。"));
    return image;
}

quint64 RegionCapture::beginSelection(const QList<FrozenScreen> &frozen, const QList<CaptureWindowTarget> &targets,
                                      CaptureSelectionMode mode, bool optionHeld)
{
    const quint64 phase = ++m_lastPhase;
    m_pendingPhase = phase;
    m_result.reset();
    qApp->installEventFilter(this);
    m_monitorInstalled = true;

    const Platform::ScreenCoordinates coordinates = m_source->coordinates();
    const std::shared_ptr<Platform::ScreenSource> source = m_source;
    const auto pointerLocation = [source] { return source->pointerLocation(); };
    QPointer<RegionCapture> self(this);
    for (int index = 0; index < frozen.size(); ++index) {
        const FrozenScreen &entry = frozen.at(index);
        auto *view = new CaptureSelectionView(entry.image, entry.screen.frame, targets, mode, optionHeld, pointerLocation);
        view->finish = [self, phase, index](QRectF selection, std::optional<ShareableWindow> window) {
            if (self)
                self->complete(phase, OverlayResult{selection, index, std::move(window)});
        };
        view->cancel = [self, phase] {
            if (self)
                self->complete(phase, std::nullopt);
        };
        view->pointerMoved = [self](QPointF global) {
            if (self)
                self->relayPointer(global);
        };
        auto *overlay = new CaptureOverlayWindow(view, entry.screen.frame, coordinates.toQt(entry.screen.frame).toAlignedRect());
        // Closed by anything but the capture itself (the capture's own close comes after the
        // phase ended): a cancel, so the capture does not stay running without an overlay.
        overlay->closed = [self, phase] {
            if (self)
                self->complete(phase, std::nullopt);
        };
        m_overlays.append(overlay);
        // Mapped last, above everything (override-redirect windows go on top of the stack).
        overlay->show();
    }

    CaptureOverlayWindow *under = overlayAt(m_source->pointerLocation());
    giveKeyboard(under ? under : m_overlays.first());
    grabInput(phase, 0);
    return phase;
}

CaptureOverlayWindow *RegionCapture::overlayAt(QPointF global) const
{
    for (CaptureOverlayWindow *overlay : m_overlays)
        if (Geometry::contains(overlay->frame(), global))
            return overlay;
    return nullptr;
}

void RegionCapture::giveKeyboard(CaptureOverlayWindow *overlay)
{
    if (overlay == m_keyOverlay)
        return;
    m_keyOverlay = overlay;
    // The overlays bypass the window manager, so nothing else ever moves the keyboard between
    // them. Activating one sets the X input focus on it; the input grab (owner events) then
    // lets key events go to it wherever the grab was made.
    overlay->activateWindow();
    overlay->contentView()->setFocus(Qt::OtherFocusReason);
}

void RegionCapture::grabInput(quint64 phase, int attempt)
{
    if (m_pendingPhase != phase || !m_keyOverlay || m_inputGrabbed)
        return;
    if (m_source->grabInput(m_keyOverlay->windowHandle())) {
        m_inputGrabbed = true;
        return;
    }
    if (attempt + 1 >= grabAttempts)
        return;
    QPointer<RegionCapture> self(this);
    QTimer::singleShot(grabRetryMs, this, [self, phase, attempt] {
        if (self)
            self->grabInput(phase, attempt + 1);
    });
}

void RegionCapture::complete(quint64 phase, std::optional<OverlayResult> result)
{
    // Only the pending phase can end: a completion of an earlier phase (a late cancellation, a
    // second click on a closing overlay) must not touch a capture that has begun since.
    if (m_pendingPhase != phase)
        return;
    m_pendingPhase.reset();
    m_result = std::move(result);
    dismiss();
    Q_EMIT selectionEnded(phase);
}

void RegionCapture::dismiss()
{
    m_pendingPhase.reset();
    if (m_monitorInstalled) {
        qApp->removeEventFilter(this);
        m_monitorInstalled = false;
    }
    if (m_inputGrabbed) {
        m_source->releaseInput();
        m_inputGrabbed = false;
    }
    // Often called from inside an overlay's own event handler (a release that finished the
    // selection, the footer's button): close now, destroy once that handler has returned.
    const QList<CaptureOverlayWindow *> overlays = std::exchange(m_overlays, {});
    for (CaptureOverlayWindow *overlay : overlays) {
        overlay->hide();
        overlay->close();
        overlay->deleteLater();
    }
    m_keyOverlay.clear();
}

void RegionCapture::relayPointer(QPointF global)
{
    for (CaptureOverlayWindow *overlay : std::as_const(m_overlays))
        overlay->contentView()->updateSelection(global);
    // The keyboard follows the pointer: Space and Shift act on the screen the user works on.
    if (CaptureOverlayWindow *under = overlayAt(global))
        giveKeyboard(under);
}

void RegionCapture::applyOption(bool held)
{
    for (CaptureOverlayWindow *overlay : std::as_const(m_overlays))
        if (overlay->contentView()->optionHeld() != held)
            overlay->contentView()->setOption(held);
}

bool RegionCapture::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_pendingPhase)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Every key stays a key press for the overlay: no shortcut of the application's windows
        // (the window menu's "close", Escape) acts while a selection is pending.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Escape cancels whatever holds the keyboard focus, and goes no further.
        if (isEscape(*key)) {
            complete(*m_pendingPhase, std::nullopt);
            return true;
        }
        if (detail::isModifierKey(key->key()))
            applyOption(key->modifiers().testFlag(Qt::AltModifier));
        break;
    }
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (detail::isModifierKey(key->key()))
            applyOption(key->modifiers().testFlag(Qt::AltModifier));
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Kivaro
