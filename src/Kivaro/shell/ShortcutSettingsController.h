#pragma once
// The settings window ("设置") and the one place where the capture hot keys are registered from
// stored settings: at launch (`configure`), after every change, and around recording.
//
// The window holds one row per capture mode (record, clear and show the hot key), the pop-up
// that chooses what a capture hot key does (image, recognised text, polished text), the
// capture-completion switches, the updater's settings block when there is an updater, a
// message line with the result of the last action, and "恢复默认". It is built on the first
// `show()` and kept when closed.
//
// While any row records, both hot keys are paused, so the chord being pressed starts no
// capture; when the recording ends (a chord, Escape, a click elsewhere, the other row starting,
// a reset, the window closing) the stored settings are registered again. A change is kept only
// when its hot keys registered and its setting was saved; otherwise the old hot keys come back
// and nothing is stored.
//
// The controller implements the editor's ShortcutSettingsController interface, whose name it
// shares (this one lives in Kivaro::Shell). Main thread only.

#include "Kivaro/editor/EditorShell.h"
#include "Kivaro/shell/capture/CaptureIntent.h"
#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/CaptureShortcut.h"
#include "NativeAppAppearance/NativeColor.h"
#include "Platform/Defaults/UserDefaults.h"

#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>

class QMenuBar;

namespace NativeAppAppearance {
class NativePopupButton;
}
namespace NativeAppUpdater {
class NativeUpdater;
}

namespace Kivaro {
class CaptureCompletionSettings;
class CaptureShortcutRow;
class GlobalShortcut;
class KivaroButton;
class KivaroTextLabel;
class KivaroWindow;
} // namespace Kivaro

namespace Kivaro::Shell {

class ShortcutSettingsController final : public QObject, public Kivaro::ShortcutSettingsController {
    Q_OBJECT
public:
    // Without `alternateShortcut` the controller makes its own region hot key with an empty
    // action. Migrates the stored per-mode bindings into `defaults` (errors ignored); builds no
    // window and registers nothing.
    ShortcutSettingsController(GlobalShortcut *shortcut, GlobalShortcut *alternateShortcut,
                               NativeAppUpdater::NativeUpdater *updater, Platform::UserDefaults defaults,
                               std::function<void()> didChange, QObject *parent = nullptr);
    ~ShortcutSettingsController() override;

    GlobalShortcut *shortcut() const { return m_shortcut; }
    GlobalShortcut *regionShortcut() const { return m_regionShortcut; }
    NativeAppUpdater::NativeUpdater *updater() const { return m_updater; }
    const Platform::UserDefaults &defaults() const { return m_defaults; }
    KivaroWindow *settingsWindow() const { return m_window; }
    CaptureCompletionSettings *completionSettings() const { return m_completionSettings; }
    CaptureShortcutRow *windowRow() const { return m_windowRow; }
    CaptureShortcutRow *regionRow() const { return m_regionRow; }
    NativeAppAppearance::NativePopupButton *captureAction() const { return m_captureAction; }
    KivaroTextLabel *message() const { return m_message; }
    KivaroButton *resetButton() const { return m_reset; }

    // Window setting W and region setting R. Throws ShotError "两种截图方式不能使用相同的快捷键。"
    // before anything changes when both are enabled with equal chords; otherwise pauses both
    // hot keys and registers each enabled one (every refusal reported, window first).
    void configure(const CaptureShortcutPreferences &window, const CaptureShortcutPreferences &region);
    // Builds the window on first use, refreshes it, brings it forward and gives it the keyboard.
    void show();
    // Stores the intent under "kivaro.captureIntent", selects it in the pop-up, then didChange.
    // Throws DefaultsWriteError when it cannot be stored (nothing changes then).
    void applyCaptureIntent(CaptureIntent intent);
    // The pop-up's action.
    void changeCaptureAction();
    // The reset button's action: ⌃⌥⌘4 (on) and ⌃⌘5 (off) registered and stored.
    void resetDefault();
    // One mode's new setting, merged with the other mode's stored one and registered; stored,
    // shown and announced only when that succeeded. Otherwise the earlier hot keys come back and
    // the refusal is thrown.
    void apply(const CaptureShortcutPreferences &setting, CaptureSelectionMode mode);
    // Closing the window ends any recording.
    void windowWillClose();
    // The menu bar shown at the top of the window's content (the application's menus).
    void setMenuBar(QMenuBar *menuBar);
    // Shows why a change of the user's failed in the message line, in red: the way every
    // setting of the application reports a value it could not store.
    void showError(std::exception_ptr error);

    // Kivaro::ShortcutSettingsController
    QWidget *window() const override;
    void makeWindow() override;
    void refresh() override;
    void setMessage(const QString &text, const QColor &color) override;

    // The window's width: 460 points for a Chinese interface, else 640.
    static int windowWidth();
    static int windowHeight(bool hasUpdater) { return hasUpdater ? 560 : 400; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitContent();
    void rowChanged(CaptureShortcutRow *row, const CaptureShortcutPreferences &setting);
    void handleRecording(CaptureShortcutRow *row, bool recording);
    void showMessage(const QString &text, NativeAppAppearance::NativeColor color);
    bool anyRecording() const;
    void ensureRows();

    GlobalShortcut *m_shortcut;
    GlobalShortcut *m_regionShortcut;
    NativeAppUpdater::NativeUpdater *m_updater;
    Platform::UserDefaults m_defaults;
    std::function<void()> m_didChange;
    QPointer<KivaroWindow> m_window;
    const QObject *m_windowObject = nullptr;
    CaptureCompletionSettings *m_completionSettings = nullptr;
    CaptureShortcutRow *m_windowRow = nullptr;
    CaptureShortcutRow *m_regionRow = nullptr;
    NativeAppAppearance::NativePopupButton *m_captureAction;
    KivaroTextLabel *m_message;
    KivaroButton *m_reset = nullptr;
    QPointer<QMenuBar> m_menuBar;
};

} // namespace Kivaro::Shell
