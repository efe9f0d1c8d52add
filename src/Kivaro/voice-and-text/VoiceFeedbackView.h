#pragma once
// The voice panel over the bottom of the editor canvas: a level meter, a bold headline with a
// grey detail line, and on the right the speech-language pop-up and the retry, type-instead and
// cancel buttons.
//
// It holds no voice logic. Its owner chooses the phase and the texts (`present`), starts the
// recording clock (`recording`), shows the controls a phase needs after `present` (which hides
// all four), connects them, and places the panel. What the panel does itself: the phase
// bookkeeping, the recording clock (whole seconds in the headline, a warning from 55 seconds
// on) and the meter's animation while preparing or processing, which the desktop's reduced-motion
// setting (AppearanceManager::reducesMotion, read at each `present`) leaves out: the ring and
// its dot then stand still.
//
// Both timers tick every 0.1 s on the main thread and belong to the view: they stop with the
// next `present` or `dismiss`, and with the view.

#include "Kivaro/controls/KivaroSurface.h"

#include <chrono>
#include <cstdint>
#include <functional>

class QTimer;

namespace NativeAppAppearance {
class NativePopupButton;
}

namespace Kivaro {

class KivaroButton;
class KivaroTextLabel;
class VoiceWaveform;

class VoiceFeedbackView final : public KivaroSurface {
    Q_OBJECT
public:
    enum class Phase : std::uint8_t { hidden, ready, preparing, recording, processing, failed, success };

    // Milliseconds of a monotonic clock; tests give their own.
    using Clock = std::function<std::chrono::milliseconds()>;

    explicit VoiceFeedbackView(QWidget *parent = nullptr);
    ~VoiceFeedbackView() override;

    // Shows the panel in `phase` with a headline and a detail text (both shown as given; the
    // caller localises them) and hides the four controls. Stops the running timer.
    void present(Phase phase, const QString &title, const QString &subtitle);
    // Shows the recording phase with the cancel button and runs the recording clock; each tick
    // reads the meter level (0...1) from `level`.
    void recording(std::function<double()> level);
    // Hides the panel and stops the running timer.
    void dismiss();

    Phase phase() const { return m_phase; }

    KivaroButton *retryButton() const { return m_retryButton; }
    KivaroButton *textButton() const { return m_textButton; }
    KivaroButton *cancelButton() const { return m_cancelButton; }
    // Items "普通话" (index 0) and "English" (index 1).
    NativeAppAppearance::NativePopupButton *language() const { return m_language; }
    // The headline (13-point semibold, one line) and the detail (12-point secondary, at most two
    // lines); Kivaro/controls/KivaroTextLabel.h and internal/VoiceWaveform.h declare their types.
    KivaroTextLabel *headline() const { return m_headline; }
    KivaroTextLabel *detail() const { return m_detail; }
    VoiceWaveform *meter() const { return m_meter; }

    // True while the recording clock or the meter animation runs.
    bool isTimerRunning() const;

    void setClock(Clock clock);

    // The texts of the recording clock for a number of whole seconds.
    static QString recordingHeadline(long long seconds);
    static QString recordingDetail(long long seconds);

Q_SIGNALS:
    // The panel left the screen: dismissed, or its window hidden or closed.
    void hidden();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void stopTimer();
    void tickRecording();
    void tickAnimation();

    Phase m_phase = Phase::hidden;
    KivaroButton *m_retryButton;
    KivaroButton *m_textButton;
    KivaroButton *m_cancelButton;
    NativeAppAppearance::NativePopupButton *m_language;
    KivaroTextLabel *m_headline;
    KivaroTextLabel *m_detail;
    VoiceWaveform *m_meter;
    QTimer *m_timer = nullptr;

    Clock m_clock;
    std::chrono::milliseconds m_recordingStart{0};
    std::function<double()> m_level;
};

} // namespace Kivaro
