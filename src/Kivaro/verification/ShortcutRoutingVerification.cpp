#include "Kivaro/verification/ShortcutRoutingVerification.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/ShortcutSettingsController.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/CaptureShortcut.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Keys/KeyTable.h"

#include <QApplication>
#include <QDir>
#include <QPointer>

#include <chrono>

namespace Kivaro::ShortcutRoutingVerification {

using namespace std::chrono_literals;
using VerificationSupport::check;
using VerificationSupport::verificationFailed;

namespace {

constexpr std::uint32_t comma = 43;
constexpr std::uint32_t w = 13;

// The window manager gives the keyboard to a window some time after it was asked to: the key
// window is awaited (at most 2 seconds), so that Ctrl+W reaches the window the check means.
Platform::Task<void> becomeKey(QPointer<QWidget> window)
{
    for (int look = 0; look < 40 && window && QApplication::activeWindow() != window; ++look)
        co_await Platform::sleep(50ms);
}

bool route(AppDelegate *delegate, std::uint32_t keyCode)
{
    return delegate && delegate->performKeyEquivalent(key(keyCode, HotKeyMask::command));
}

} // namespace

QKeySequence key(std::uint32_t keyCode, std::uint32_t modifiers)
{
    const Platform::KeyInfo *info = Platform::Keys::byKeyCode(keyCode);
    if (!info || info->qtKey == 0)
        return QKeySequence();
    // The menu's Command is Ctrl here (the hot keys' is Super).
    Qt::KeyboardModifiers qt;
    if (modifiers & HotKeyMask::command)
        qt |= Qt::ControlModifier;
    if (modifiers & HotKeyMask::shift)
        qt |= Qt::ShiftModifier;
    if (modifiers & HotKeyMask::option)
        qt |= Qt::AltModifier;
    if (modifiers & HotKeyMask::control)
        qt |= Qt::MetaModifier;
    return QKeySequence(QKeyCombination(qt, Qt::Key(info->qtKey)));
}

Platform::Task<void> run(EditorController *editor, QString output)
{
    co_await Platform::yieldToEventLoop();
    QPointer<AppDelegate> delegate(AppDelegate::shared());
    if (!delegate)
        throw ShotError::message(QStringLiteral("应用菜单不可用"));
    if (editor && editor->inlineEditor())
        editor->inlineEditor()->dismiss();
    Shell::ShortcutSettingsController *settings = delegate->shortcutSettings();
    if (settings)
        settings->show();
    QPointer<QWidget> window = settings ? settings->window() : nullptr;
    if (!window)
        throw ShotError::message(QStringLiteral("设置窗口不可用"));
    window->close();
    co_await Platform::sleep(400ms);

    check(route(delegate, comma), verificationFailed, "command-comma-routed");
    co_await Platform::sleep(400ms);
    check(window && window->isVisible(), verificationFailed, "command-comma-opens-settings");
    auto *kivaroWindow = qobject_cast<KivaroWindow *>(window.data());
    PrototypeVerification::snapshot(kivaroWindow ? kivaroWindow->contentView() : window.data(),
                                    QDir(output).filePath(QStringLiteral("capture-settings.png")));
    window->raise();
    window->activateWindow();
    co_await becomeKey(window);

    check(route(delegate, w), verificationFailed, "command-w-routed");
    co_await Platform::sleep(100ms);
    check(!window || !window->isVisible(), verificationFailed, "command-w-closes-settings");

    if (!editor)
        check(false, verificationFailed, "command-w-editor-routed");
    editor->showEditor();
    QPointer<QWidget> editorWindow = editor->view() ? editor->view()->window() : nullptr;
    co_await becomeKey(editorWindow);
    check(route(delegate, w), verificationFailed, "command-w-editor-routed");
    for (int look = 0; look < 40; ++look) {
        if (!editorWindow || !editorWindow->isVisible())
            break;
        co_await Platform::sleep(50ms);
    }
    check(editorWindow && !editorWindow->isVisible() && delegate && !delegate->hasTerminated(), verificationFailed,
          "command-w-hides-editor-keeps-app-running");
}

} // namespace Kivaro::ShortcutRoutingVerification
