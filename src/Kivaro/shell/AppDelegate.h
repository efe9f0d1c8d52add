#pragma once
// The application's delegate: the spine of the running application.
//
// Created in main() before the event loop; `applicationDidFinishLaunching()` builds every
// long-lived object once, in this order: the preference migration (skipped for "--verify" and
// "--ui-session", so no verification run writes the user's preferences), the icon and the
// regular policy, the activation-policy tracker, the editor controller, the main menu, the
// editor window (the controller's, hidden until the editor shows itself), the two global hot
// keys (window capture first, so it takes the lower number), the settings controller, the
// stored bindings registered (a refusal goes to the editor's error display), the settings
// window (the only window shown at launch), the capture menu titles and the tray icon when
// "kivaro.showMenuBar" is true. The delegate owns all of them for the life of the process.
//
// The main menu: "Kivaro" (显示菜单栏图标, 设置… Ctrl+,, 检查更新…, 退出 Kivaro Ctrl+Q),
// "文件", "编辑" and "窗口". Linux has no global menu bar: the settings window shows the menus
// in a menu bar at its top, and their shortcuts work in every window of the application.
// `performKeyEquivalent` is the menu's key-equivalent handling as a callable: it triggers the
// enabled item a key combination names and says whether there was one.
//
// The status item is a tray icon whose click opens the status menu as the kit's popover menu
// (NativeStatusMenu); without a tray host it is simply never seen. Its ink follows the
// application's appearance. "显示菜单栏图标" stores the choice first: when it cannot be
// stored, the icon stays as stored and the settings window shows why.
//
// Quitting (AppDelegateTermination.cpp): `terminate()` asks `applicationShouldTerminate()`,
// which refuses while the editor is busy without a capture, and otherwise cancels a running
// capture, waits until it has unwound, writes the shot into the recent shots and only then
// lets the process end. When that write fails the error is shown once and the quit refused;
// the next quit that fails to write asks once whether to quit without saving the shot.
// `terminateForSignal()` (SIGTERM, SIGINT, the end of the session) always ends the process:
// one attempt to save, bounded in time, and then exit. However the process ends, the folders
// of its shares are removed as it ends.
//
// Main thread only.

#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/EditorShell.h"
#include "KivaroCore/CaptureShortcut.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/shell/ShortcutSettingsController.h"

#include <QMenuBar>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QIcon;
class QKeySequence;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace NativeAppUpdater {
class NativeUpdater;
}
namespace Platform {
class AlertPresenter;
}

namespace Kivaro {

class ApplicationVisibility;
class GlobalShortcut;
class KivaroUpdatePrompts;
class UIVerificationSession;

// The platform's replies to a quit request.
enum class TerminateReply { cancel, now, later };

class AppDelegate final : public QObject, public EditorShell {
    Q_OBJECT
public:
    // How long a quit forced by a signal or the end of the session waits for the shot to be
    // written before the process ends anyway.
    static constexpr std::chrono::milliseconds forcedSaveLimit{3000};

    struct Services {
        EditorController::Services editor; // what the editor controller is built with
        std::shared_ptr<Platform::AlertPresenter> alerts; // the quit question; Qt's message box when empty
    };

    explicit AppDelegate(Services services = {}, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The application's delegate, as other parts reach it; null before main() made one.
    static AppDelegate *shared();

    // ---- the fields ---------------------------------------------------------------------------
    ApplicationVisibility *visibility() const { return m_visibility; }
    // The updater's presenter and the updater: wired by the updater's own start-up; empty
    // until then (the settings window then shows no update block).
    KivaroUpdatePrompts *updatePrompts() const { return m_updatePrompts; }
    NativeAppUpdater::NativeUpdater *updater() const { return m_updater; }
    void setUpdater(NativeAppUpdater::NativeUpdater *updater, KivaroUpdatePrompts *prompts);
    // What the updater calls to end the application for an update: the quit item's `terminate`
    // while the delegate exists (refused while the editor is busy), nothing once it is gone.
    std::function<void()> terminationRequest();
    KivaroWindow *window() const { return m_window; }
    EditorController *editor() const { return m_editor; }
    GlobalShortcut *shortcut() const { return m_shortcut; }
    GlobalShortcut *alternateShortcut() const { return m_alternateShortcut; }
    QSystemTrayIcon *statusItem() const { return m_statusItem; }
    QMenu *statusMenu() const { return m_statusMenu.get(); }
    QAction *menuBarPreference() const { return m_menuBarPreference; }
    UIVerificationSession *uiSession() const { return m_uiSession; }
    // Set once by the launch's verification start ("--ui-session"); the session is a child of
    // the delegate.
    void setUiSession(UIVerificationSession *session) { m_uiSession = session; }
    Shell::ShortcutSettingsController *shortcutSettings() const override { return m_shortcutSettings; }
    QAction *regionCaptureMenuItem() const { return m_regionCaptureMenuItem; }
    QAction *captureMenuItem() const { return m_captureMenuItem; }
    // The menu standing for the menu bar, and the bar the settings window shows.
    QMenu *mainMenu() const { return m_mainMenu.get(); }
    QMenuBar *menuBar() const { return m_menuBar; }

    // ---- launch and menus ---------------------------------------------------------------------
    void applicationDidFinishLaunching();
    void installMenu();
    // Appends `menu` as the last item of the main menu and of the menu bar; its shortcuts work
    // in every window of the application, as the other menus' do.
    void appendMainMenu(QMenu *menu);
    void refreshShortcutTitles();
    void updateMenuBar();
    // True when an enabled item of the main menu has `key` as its shortcut; that item was
    // triggered.
    bool performKeyEquivalent(const QKeySequence &key);
    // "撤销" / "重做": the focused control's undo or redo, else the undo manager of the active
    // window's markup canvas, unless the editor is busy with it. True when something was
    // undone or redone.
    bool undoInActiveWindow(bool redo);

    // ---- menu actions -------------------------------------------------------------------------
    void captureRegion();
    void captureDrawRegion();
    void showRecent();
    void showSettings() override;
    void checkUpdates();
    void toggleMenuBar();
    void showStatusMenu();
    // The quit item's action ("terminate:").
    void terminate();

    // ---- application events (AppDelegateTermination.cpp) -------------------------------------
    TerminateReply applicationShouldTerminate();
    // The answer to a `later`: true ends the process.
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void applicationDidResignActive();
    // SIGTERM, SIGINT and the end of the session: ends the process after at most one attempt
    // to save, bounded by forcedSaveLimit. A second call while it waits ends it at once.
    void terminateForSignal();

    // A quit is waiting for its reply.
    bool isTerminationPending() const { return m_terminationPending; }
    // The process is ending (the event loop was told to quit).
    bool hasTerminated() const { return m_terminated; }

    // The hot keys' handlers, with the Option key as the keyboard holds it now.
    void windowHotKeyPressed();
    void regionHotKeyPressed();
    // What a hot key of `mode` does, given whether Option is held on the keyboard.
    void hotKeyPressed(CaptureSelectionMode mode, bool keyboardOptionHeld);
    // A binding that holds Option itself never switches the mode; one without Option does
    // when Option is held on the keyboard.
    static bool optionHeldFor(const CaptureShortcutPreferences &binding, bool keyboardOptionHeld);

Q_SIGNALS:
    // The process is about to end; main() leaves its event loop.
    void terminated();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMainMenu();
    QMenu *buildStatusMenu();
    // The tray icon's symbol, inked for the application's effective appearance.
    static QIcon statusIcon();
    void attachMenuShortcuts(QWidget *window);
    void finishTermination();
    static Platform::Task<void> quitting(QPointer<AppDelegate> self, Platform::TaskHandle<void> capture);
    static Platform::Task<void> forcedQuitting(QPointer<AppDelegate> self, Platform::TaskHandle<void> capture);
    void stopForTermination();

    Services m_services;
    ApplicationVisibility *m_visibility;
    KivaroUpdatePrompts *m_updatePrompts = nullptr;
    NativeAppUpdater::NativeUpdater *m_updater = nullptr;
    QPointer<KivaroWindow> m_window;
    EditorController *m_editor = nullptr;
    GlobalShortcut *m_shortcut = nullptr;
    GlobalShortcut *m_alternateShortcut = nullptr;
    QSystemTrayIcon *m_statusItem = nullptr;
    std::shared_ptr<QMenu> m_statusMenu;
    QAction *m_menuBarPreference = nullptr;
    UIVerificationSession *m_uiSession = nullptr;
    Shell::ShortcutSettingsController *m_shortcutSettings = nullptr;
    QAction *m_regionCaptureMenuItem = nullptr;
    QAction *m_captureMenuItem = nullptr;
    std::unique_ptr<QMenu> m_mainMenu;
    QPointer<QMenuBar> m_menuBar;
    QAction *m_checkUpdatesItem = nullptr;

    bool m_terminationPending = false;
    bool m_terminated = false;
    bool m_forcedQuit = false;
    // The status the process ends with after a quit (1 when the quit-during-capture run failed).
    int m_exitStatus = 0;
    // A quit failed to write the shot and showed why; the next failing quit asks instead.
    bool m_quitWriteFailureShown = false;
    Platform::TaskHandle<void> m_quitTask;
};

} // namespace Kivaro
