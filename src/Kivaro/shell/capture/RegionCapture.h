#pragma once
// One interactive capture at a time: every screen frozen at its backing scale, one overlay per
// screen, and the window or region the user picks turned into an image.
//
// `capture` (a task on the main thread):
// - throws ShotError "请先完成当前截图。" at once while a capture runs (that one goes on);
// - throws the permission error (TellumoError, "Tellumo.Capture" code 1) when the screens
//   cannot be read; nothing changes then;
// - waits 0.18 s (the caller has just hidden its windows), lists the windows (this process's
//   own included), freezes the screens and shows the overlays. A screen that fails to be read
//   ends the capture with ShotError "屏幕“%@”无法截图，请重试。"; ShotError "没有可截图的屏幕。"
//   when the display shows none;
// - returns the picked window captured by itself, or the region cut from the frozen screen,
//   and records `lastPlacement`; returns nothing when the user cancels (Escape, the footer's
//   exit button) or something else closes an overlay;
// - throws ShotError when a picked window or region yields no image: that is a failure, not a
//   cancel;
// - throws CancellationError when its task is cancelled, after closing the overlays.
// Every way out closes the overlays and clears `isRunning`.
//
// While the overlays are up a selection phase is pending (`hasPendingSelection`, the waiting
// continuation), and no application shortcut acts: every key goes to the overlay under the
// pointer, which takes the keyboard as the pointer moves between screens. Each phase has its
// own token: a completion meant for one phase (a click, a key, the task's cancellation) can
// never end another, later one.
//
// The verify* hooks steer a shown overlay from code; they act only when the process arguments
// contain "--verify" exactly, and return whether the overlay has finished.

#include "Kivaro/shell/capture/CapturePlacement.h"
#include "Kivaro/shell/capture/CaptureWindowTarget.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "Platform/Async/Task.h"
#include "Platform/ScreenCapture/ScreenSource.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

namespace Kivaro {

class CaptureOverlayWindow;

class RegionCapture final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds settleDelay{180};
    // Windows smaller than this (points) in either direction are not offered.
    static constexpr double minimumWindowSide = 40;

    // The screen source for the running platform.
    explicit RegionCapture(QObject *parent = nullptr);
    explicit RegionCapture(std::shared_ptr<Platform::ScreenSource> source, QObject *parent = nullptr);
    ~RegionCapture() override;

    bool isRunning() const { return m_isRunning; }
    const std::optional<CapturePlacement> &lastPlacement() const { return m_lastPlacement; }
    // Lets go of the frozen screen behind `lastPlacement` once the caller has what it needs
    // (the inline editor keeps its own copy while it shows it); the frames stay. A whole
    // screen's pixels are the largest thing a capture leaves behind in a resident application.
    void forgetBackground();
    // The overlay windows now shown, one per frozen screen, in creation order.
    const QList<CaptureOverlayWindow *> &overlays() const { return m_overlays; }
    bool hasPendingSelection() const { return m_pendingPhase.has_value(); }
    bool hasEventMonitor() const { return m_monitorInstalled; }
    Platform::ScreenSource &screenSource() const { return *m_source; }

    Platform::Task<std::optional<QImage>> capture(CaptureSelectionMode mode, bool optionHeld);

    // The windows the overlay offers, in the listed (front-to-back) order: those at least
    // 40 x 40 points.
    static QList<CaptureWindowTarget> windowTargets(const QList<Platform::ShareableWindow> &windows);
    // The pixels of a region: the selection (view points, y up) scaled to the image (pixels,
    // y down) and widened to whole pixels.
    static QRect cropRect(QRectF selection, QSize imagePixels, QSizeF screenSize);
    // The region's pixels of a frozen screen. Throws ShotError when nothing is left of it: that
    // is a failure to report, never a cancel.
    static QImage cropRegion(const QImage &frozen, QRectF selection, QSizeF screenSize);

    // A press at `at` (global model points), an optional drag to `dragTo` and a release,
    // handed straight to the view of the first overlay that contains `at`, after setting its
    // Option state to `optionHeld`.
    bool verifyChoose(QPointF at, bool optionHeld, std::optional<QPointF> dragTo = std::nullopt);
    // Cancels the first overlay with its footer's button, or with an Escape key press sent
    // through the application (optionally while a child of the overlay that takes every key,
    // Escape included, has the focus: then only the application's key monitor can cancel).
    bool verifyCancel(bool usingButton, bool focusChild);
    // Writes a PNG of the first overlay's footer as a private file (0600, never through a link);
    // does nothing without an overlay. Throws ShotError when the footer cannot be drawn or
    // encoded, or with the write's error, which names the file.
    Platform::Task<void> verifyFooter(QString path);

Q_SIGNALS:
    // A selection phase ended (its result is stored); resumes the waiting capture.
    void selectionEnded(quint64 phase);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct OverlayResult {
        QRectF selection; // view points of the screen's overlay
        int screenIndex;  // into the frozen screens
        std::optional<Platform::ShareableWindow> window;
    };

    quint64 beginSelection(const QList<Platform::FrozenScreen> &frozen, const QList<CaptureWindowTarget> &targets,
                           CaptureSelectionMode mode, bool optionHeld);
    void complete(quint64 phase, std::optional<OverlayResult> result);
    void dismiss();
    void relayPointer(QPointF global);
    CaptureOverlayWindow *overlayAt(QPointF global) const;
    // Gives the keyboard to `overlay` unless it has it already.
    void giveKeyboard(CaptureOverlayWindow *overlay);
    void applyOption(bool held);
    void grabInput(quint64 phase, int attempt);

    bool m_isRunning = false;
    std::optional<CapturePlacement> m_lastPlacement;
    QList<CaptureOverlayWindow *> m_overlays;
    QPointer<CaptureOverlayWindow> m_keyOverlay;
    bool m_monitorInstalled = false;
    bool m_inputGrabbed = false;
    std::optional<quint64> m_pendingPhase;
    quint64 m_lastPhase = 0;
    std::optional<OverlayResult> m_result;
    std::shared_ptr<Platform::ScreenSource> m_source;
};

} // namespace Kivaro
