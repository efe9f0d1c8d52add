#pragma once
// One hot-key row of the settings window: the mode's title at the left; at the right the
// recorder (155 points) showing the chord, 8 points left of the clear button (20 x 24, an
// "xmark.circle.fill" symbol only). A click on the recorder starts recording; a recorded chord
// is reported through `changed` as an enabled setting; the clear button reports the current
// chord switched off (the chord itself stays stored). The row holds the setting it shows; the
// controller decides what is registered and stored.

#include "Kivaro/shell/capture/ShortcutRecorder.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/CaptureShortcut.h"

#include <QWidget>

#include <functional>

namespace Kivaro {

class KivaroButton;

class CaptureShortcutRow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int rowHeight = 32;
    static constexpr int recorderWidth = 155;

    CaptureShortcutRow(CaptureSelectionMode mode, CaptureShortcutPreferences preferences,
                       std::function<void(bool)> recordingChanged, QWidget *parent = nullptr);

    ShortcutRecorder *recorder() const { return m_recorder; }
    KivaroButton *clear() const { return m_clear; }
    CaptureSelectionMode mode() const { return m_mode; }
    const CaptureShortcutPreferences &preferences() const { return m_preferences; }

    // Set by the controller: a new setting for this row's mode.
    std::function<void(CaptureShortcutPreferences)> changed;

    // Shows `preferences` (the title stays "按下组合键…" while recording).
    void refresh(const CaptureShortcutPreferences &preferences);
    // The recorder's click: starts recording when the recorder is enabled.
    void record();
    // The clear button: ends a recording, then reports the chord switched off.
    void removeBinding();

    QSize sizeHint() const override;

private:
    ShortcutRecorder *m_recorder;
    KivaroButton *m_clear;
    CaptureSelectionMode m_mode;
    CaptureShortcutPreferences m_preferences;
};

} // namespace Kivaro
