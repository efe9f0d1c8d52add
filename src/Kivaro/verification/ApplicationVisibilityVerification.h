#pragma once
// The activation-policy scenario ("--verify --verify-visibility"): drives the settings, editor,
// recent-shots and text-history windows and checks after each change that the application is
// regular (0) while one of its ordinary windows is open or minimised and an accessory (1)
// otherwise, thirteen checks in all. It leaves "settings-reopened.png" and "summary.json".
//
// Each check reads the policy twice: the application's own value, then the window manager's
// view, regular exactly while _NET_CLIENT_LIST holds a window of this process (polled up to ten
// times 0.1 s apart, as the manager catches up with a window shown or hidden just now). Without
// a window manager the second reading cannot be made and the check fails saying so. The
// minimised-window check also requires the window manager to hold the editor's window iconic:
// Qt keeps a minimised window "visible" and the client list keeps iconic windows, so the policy
// alone reads the same whether or not the window was minimised.

#include "Platform/Async/Task.h"

#include <QString>
#include <QWidget>

#include <optional>

namespace Kivaro {
class EditorController;
}

namespace Kivaro::ApplicationVisibilityVerification {

inline constexpr char passSummary[] =
    "{\"status\":\"passed\",\"environment\":\"native-linux\",\"lastWindowAccessory\":true,\"reopenRegular\":true,"
    "\"historyWindows\":true,\"multipleWindows\":true,\"minimizedWindowRegular\":true,\"processRemainsRunning\":true}";
static_assert(sizeof(passSummary) - 1 == 200, "the summary keeps its fixed length");

// Ends the process: status 0 after the pass summary, 1 after the failure record.
Platform::Task<void> run(EditorController *editor);

// One window as a failure message names it: "<title>: visible=…, mini=…, panel=…, style=…".
QString describeWindow(const QWidget *window);
// Every top-level window of the application, as a quoted list: ["…", "…"].
QString windowList();
// The policy the window manager sees: 0 while _NET_CLIENT_LIST holds a window of this
// process, 1 otherwise; nothing when no window manager keeps that list.
std::optional<int> windowManagerPolicy();

// Whether the window manager holds `window` minimised: ICCCM WM_STATE in the iconic state, or
// EWMH _NET_WM_STATE holding _NET_WM_STATE_HIDDEN, on its X window. Nothing without an X
// connection or a native window.
std::optional<bool> isIconic(const QWidget *window);
// Polls isIconic (up to ten times 0.1 s apart); throws ShotError "Application visibility check
// <number>: the window manager does not show <title> minimised" when it never is.
Platform::Task<void> requireMinimized(const QWidget *window, int number);

} // namespace Kivaro::ApplicationVisibilityVerification
