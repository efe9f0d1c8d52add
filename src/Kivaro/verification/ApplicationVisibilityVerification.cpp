#include "Kivaro/verification/ApplicationVisibilityVerification.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/shell/AppDelegate.h"
#include "Kivaro/shell/ApplicationVisibility.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <xcb/xcb.h>

namespace Kivaro::ApplicationVisibilityVerification {

using namespace std::chrono_literals;
using PrototypeVerification::StandaloneRun;

namespace {

int checkIndex = 0;

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, uint16_t(qstrlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The 32-bit values of a property, empty when it is missing.
QList<uint32_t> cardinals(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type, bool *present = nullptr)
{
    QList<uint32_t> values;
    if (present)
        *present = false;
    if (property == XCB_ATOM_NONE)
        return values;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, type, 0, 1 << 16), nullptr);
    if (reply && reply->format == 32 && reply->type == type) {
        if (present)
            *present = true;
        const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count; ++i)
            values.append(data[i]);
    }
    std::free(reply);
    return values;
}

int policyValue()
{
    return int(ApplicationActivationPolicy::current());
}

// The application's own policy is settled once the event loop has turned; the window manager
// maps and unmaps on its own time, so its reading gets a bounded number of short polls to agree.
Platform::Task<void> requirePolicy(int expected)
{
    const int number = ++checkIndex;
    if (policyValue() == expected) {
        for (int poll = 0; poll < 10; ++poll) {
            const std::optional<int> seen = windowManagerPolicy();
            if (!seen)
                throw ShotError::message(
                    QStringLiteral("Application visibility check %1 needs a window manager: no _NET_CLIENT_LIST on the root window").arg(number));
            if (*seen == expected)
                co_return;
            co_await Platform::sleep(std::chrono::milliseconds(100));
        }
    }
    throw ShotError::message(QStringLiteral("Application visibility mismatch at check %1: expected %2, got %3, windows=%4")
                                 .arg(number)
                                 .arg(expected)
                                 .arg(policyValue())
                                 .arg(windowList()));
}

void closeWindow(QWidget *window)
{
    if (!window)
        return;
    if (auto *kivaro = qobject_cast<KivaroWindow *>(window))
        kivaro->performClose();
    else
        window->close();
}

const char *truth(bool value)
{
    return value ? "true" : "false";
}

} // namespace

QString describeWindow(const QWidget *window)
{
    const bool panel = window->windowType() == Qt::Tool;
    uint style = uint(window->windowFlags());
    if (const auto *kivaro = qobject_cast<const KivaroWindow *>(window))
        style = uint(kivaro->styleMask());
    return QStringLiteral("%1: visible=%2, mini=%3, panel=%4, style=%5")
        .arg(window->windowTitle(), QLatin1String(truth(window->isVisible() && !window->isMinimized())),
             QLatin1String(truth(window->isVisible() && window->isMinimized())), QLatin1String(truth(panel)))
        .arg(style);
}

QString windowList()
{
    QStringList descriptions;
    for (const QWidget *window : QApplication::topLevelWidgets())
        descriptions.append(describeWindow(window));
    return VerificationSupport::arrayNotation(descriptions);
}

std::optional<int> windowManagerPolicy()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // A window manager names itself on the root; a left-over client list alone is not one.
    bool named = false;
    const QList<uint32_t> check = cardinals(connection, root, internAtom(connection, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, &named);
    if (!named || check.isEmpty())
        return std::nullopt;
    bool listed = false;
    const QList<uint32_t> clients = cardinals(connection, root, internAtom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, &listed);
    if (!listed)
        return std::nullopt;
    const xcb_atom_t pidAtom = internAtom(connection, "_NET_WM_PID");
    const uint32_t self = uint32_t(::getpid());
    for (const uint32_t client : clients) {
        const QList<uint32_t> pid = cardinals(connection, client, pidAtom, XCB_ATOM_CARDINAL);
        if (!pid.isEmpty() && pid.first() == self)
            return 0;
    }
    return 1;
}

std::optional<bool> isIconic(const QWidget *window)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || !window || !window->internalWinId())
        return std::nullopt;
    const xcb_window_t id = xcb_window_t(window->internalWinId());
    constexpr uint32_t iconicState = 3; // ICCCM 4.1.3.1
    const xcb_atom_t wmState = internAtom(connection, "WM_STATE");
    const QList<uint32_t> state = cardinals(connection, id, wmState, wmState);
    if (!state.isEmpty() && state.first() == iconicState)
        return true;
    const xcb_atom_t hidden = internAtom(connection, "_NET_WM_STATE_HIDDEN");
    return hidden != XCB_ATOM_NONE && cardinals(connection, id, internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM).contains(hidden);
}

Platform::Task<void> requireMinimized(const QWidget *window, int number)
{
    const QPointer<const QWidget> guarded(window);
    for (int poll = 0; poll < 10; ++poll) {
        if (guarded && isIconic(guarded) == true)
            co_return;
        co_await Platform::sleep(std::chrono::milliseconds(100));
    }
    throw ShotError::message(QStringLiteral("Application visibility check %1: the window manager does not show %2 minimised")
                                 .arg(number)
                                 .arg(guarded ? VerificationSupport::quoted(guarded->windowTitle()) : QStringLiteral("the window")));
}

Platform::Task<void> run(EditorController *editor)
{
    const StandaloneRun standalone(QStringLiteral("Visibility verification failed: "), RunRecords::names(RunRecords::Run::visibility));
    std::unique_ptr<TextHistoryWindow> history;
    try {
        standalone.requireFolder();
        AppDelegate *delegate = AppDelegate::shared();
        if (!delegate || !editor || !delegate->shortcutSettings())
            throw ShotError::message(QStringLiteral("The application has no settings controller or editor to drive"));
        const auto settingsWindow = [&]() -> QWidget * {
            QWidget *window = delegate->shortcutSettings()->window();
            if (!window)
                throw ShotError::message(QStringLiteral("The settings window does not exist"));
            return window;
        };
        const auto wait = [](std::chrono::milliseconds duration) { return Platform::sleep(duration); };

        delegate->showSettings();
        co_await wait(400ms);
        co_await requirePolicy(0); // 1
        PrototypeVerification::snapshot(settingsWindow(), standalone.path(QStringLiteral("settings-reopened.png")));
        closeWindow(settingsWindow());
        co_await wait(400ms);
        co_await requirePolicy(1); // 2: the last window is closed
        delegate->showSettings();
        co_await wait(400ms);
        co_await requirePolicy(0); // 3: reopened
        editor->document()->load(SampleImage::make(), true);
        editor->showEditor();
        co_await wait(400ms);
        co_await requirePolicy(0); // 4
        delegate->showSettings();
        KivaroWindow *editorWindow = editor->window();
        if (!editorWindow)
            throw ShotError::message(QStringLiteral("The editor window does not exist"));
        closeWindow(editorWindow);
        co_await wait(400ms);
        co_await requirePolicy(0); // 5: the settings window is still open
        closeWindow(settingsWindow());
        co_await wait(400ms);
        co_await requirePolicy(1); // 6
        editor->showEditor();
        co_await wait(400ms);
        co_await requirePolicy(0); // 7
        editorWindow->performMiniaturize();
        co_await wait(400ms);
        co_await requirePolicy(0); // 8: a minimised window keeps the policy
        co_await requireMinimized(editorWindow, checkIndex);
        editorWindow->showNormal();
        co_await wait(800ms);
        closeWindow(editorWindow);
        co_await wait(400ms);
        co_await requirePolicy(1); // 9
        if (!editor->recentWindow())
            throw ShotError::message(QStringLiteral("The editor has no recent-shots window"));
        editor->recentWindow()->show({}, {}, [](const RecentShot &) {});
        co_await wait(400ms);
        co_await requirePolicy(0); // 10
        closeWindow(editor->recentWindow()->window());
        co_await wait(400ms);
        co_await requirePolicy(1); // 11
        history = std::make_unique<TextHistoryWindow>();
        history->show({}, [](const RecognizedTextRecord &, QWidget *) {});
        co_await wait(400ms);
        co_await requirePolicy(0); // 12
        closeWindow(history->window());
        co_await wait(400ms);
        co_await requirePolicy(1); // 13: no window is open and the process still runs
    } catch (...) {
        standalone.fail(std::current_exception());
    }
    standalone.pass(QByteArray(passSummary));
}

} // namespace Kivaro::ApplicationVisibilityVerification
