#pragma once
// The button of a hot-key row that shows the current chord and, while recording, turns the
// next key press in its window into a chord (`CaptureShortcut`): hot-key modifier mask,
// virtual key code and a display name. It does not judge the chord; the settings window does.
//
// While recording, key presses in the recorder's window are taken here and reach no other
// control (an application event filter, which sees them before shortcuts and the focused
// widget). Escape ends recording without a chord; losing the keyboard focus ends it too. The
// owning row starts recording (`recording`, the title "按下组合键…", the focus,
// `recordingChanged(true)`).
//
// Assistive technology knows the recorder by the name its row gives it (the mode) and reads
// what it shows (the chord, "未设置", "按下组合键…") as its value. Qt's Linux bridge (AT-SPI)
// passes no text value of a button on, so the title is its accessible description as well.

#include "Kivaro/controls/KivaroButton.h"
#include "KivaroCore/CaptureShortcut.h"

#include <functional>

class QKeyEvent;

namespace Kivaro {

class ShortcutRecorder final : public KivaroButton {
    Q_OBJECT
public:
    explicit ShortcutRecorder(QWidget *parent = nullptr);
    ~ShortcutRecorder() override;

    CaptureShortcut binding = CaptureShortcut::standard();
    std::function<void(CaptureShortcut)> changed;
    std::function<void(bool)> recordingChanged;
    bool recording = false;

    // Ends recording without a result; the title goes back to the binding's.
    void cancel();
    // Shows `title` and tells assistive technology that the value changed. Titles are set
    // through here, never with setText.
    void setTitle(const QString &title);
    // The chord of a key press: what a recorded press reports.
    static CaptureShortcut chord(const QKeyEvent &event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void record(const QKeyEvent &event);
};

} // namespace Kivaro
