// The windows the editor opens, on a real X server with a window manager (openbox): asked for
// again after the user minimised them, they come back in front and active; opened from the
// in-place editor, they open above its full-screen window. What counts is what the window
// manager says: WM_STATE, _NET_ACTIVE_WINDOW and _NET_CLIENT_LIST_STACKING on the root.

#include "EditorFixtures.h"

#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/controls/KivaroListWindow.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"

#include <QGuiApplication>

#include <cstring>

using namespace Kivaro;
using namespace EditorTesting;
using TestSupport::X11TestDisplay;

namespace {

class EditorWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        services.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        editor = std::make_unique<EditorController>(services);
    }
    void TearDown() override
    {
        editor.reset();
        waitUntil([] { return false; }, 10);
        display.stopWindowManager();
    }

    // The editor's windows a user asks for from the More menu: the action and the window it shows.
    struct Asked {
        const char *name;
        std::function<void()> ask;
        std::function<QWidget *()> window;
    };
    std::vector<Asked> askedWindows()
    {
        return {{"text history", [this] { editor->showTextHistory(); }, [this] { return (QWidget *)editor->textHistoryWindow()->window(); }},
                {"AI settings", [this] { editor->showTellumoSettings(); }, [this] { return (QWidget *)editor->tellumo()->window(); }},
                {"recent shots", [this] { editor->showRecent(); }, [this] { return (QWidget *)editor->recentWindow()->window(); }}};
    }

    std::vector<std::uint32_t> cardinals(xcb_window_t window, const char *name)
    {
        xcb_connection_t *c = display.connection();
        auto *reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, display.atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
        std::vector<std::uint32_t> values;
        if (reply && reply->format == 32) {
            values.resize(std::size_t(xcb_get_property_value_length(reply)) / 4);
            std::memcpy(values.data(), xcb_get_property_value(reply), values.size() * 4);
        }
        std::free(reply);
        return values;
    }
    xcb_window_t activeWindow()
    {
        const auto values = cardinals(display.root(), "_NET_ACTIVE_WINDOW");
        return values.empty() ? xcb_window_t(XCB_WINDOW_NONE) : values.front();
    }
    // ICCCM WM_STATE: 1 normal, 3 iconic.
    std::uint32_t wmState(xcb_window_t window)
    {
        const auto values = cardinals(window, "WM_STATE");
        return values.empty() ? 0 : values.front();
    }
    bool viewable(xcb_window_t window)
    {
        auto *reply = xcb_get_window_attributes_reply(display.connection(), xcb_get_window_attributes(display.connection(), window), nullptr);
        const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return result;
    }
    // Where a window stands in the window manager's stacking order, bottom first; -1 when absent.
    int stackingIndex(xcb_window_t window)
    {
        const auto order = cardinals(display.root(), "_NET_CLIENT_LIST_STACKING");
        const auto found = std::find(order.begin(), order.end(), window);
        return found == order.end() ? -1 : int(found - order.begin());
    }
    static xcb_window_t idOf(QWidget *window) { return window ? xcb_window_t(window->winId()) : xcb_window_t(XCB_WINDOW_NONE); }

    X11TestDisplay display;
    QTemporaryDir folder;
    EditorController::Services services;
    std::unique_ptr<EditorController> editor;
};

} // namespace

// Minimised by the user (where the window can be minimised) or left on another desktop while
// the user works in another application, and asked for again from the menu, each window is back
// on the user's desktop, no longer iconic, and the active window.
TEST_F(EditorWindows, AWindowAskedForAgainComesBackActiveFromAnotherDesktopOrMinimised)
{
    ASSERT_EQ(TestSupport::missingForXdotool(), nullptr);
    const std::vector<std::uint32_t> here = cardinals(display.root(), "_NET_CURRENT_DESKTOP");
    ASSERT_EQ(here.size(), 1u);
    for (const Asked &asked : askedWindows()) {
        SCOPED_TRACE(asked.name);
        asked.ask();
        ASSERT_TRUE(waitUntil([&] { return asked.window() && asked.window()->isVisible() && !editor->busy(); }, 5000));
        const xcb_window_t id = idOf(asked.window());
        ASSERT_TRUE(waitUntil([&] { return activeWindow() == id && wmState(id) == 1; }, 5000));
        const auto backInFront = [&] {
            return waitUntil([&] { return viewable(id) && wmState(id) == 1 && activeWindow() == id && cardinals(id, "_NET_WM_DESKTOP") == here; },
                             5000);
        };

        ASSERT_TRUE(TestSupport::xdotool({QStringLiteral("set_desktop_for_window"), QString::number(id), QString::number(here[0] + 1)}));
        ASSERT_TRUE(waitUntil([&] { return !viewable(id) && activeWindow() != id; }, 5000)) << "the window went to the next desktop";
        asked.ask();
        EXPECT_TRUE(backInFront()) << "from another desktop: viewable " << viewable(id) << ", active " << (activeWindow() == id);

        const auto allowed = cardinals(id, "_NET_WM_ALLOWED_ACTIONS");
        if (std::find(allowed.begin(), allowed.end(), display.atom("_NET_WM_ACTION_MINIMIZE")) != allowed.end()) {
            ASSERT_TRUE(TestSupport::xdotool({QStringLiteral("windowminimize"), QString::number(id)}));
            ASSERT_TRUE(waitUntil([&] { return wmState(id) == 3 && !viewable(id); }, 5000)) << "the window manager minimised it";
            asked.ask();
            EXPECT_TRUE(backInFront()) << "minimised: viewable " << viewable(id) << ", WM_STATE " << wmState(id) << ", active "
                                       << (activeWindow() == id);
        }
        asked.window()->hide();
    }
}

// Opened from the in-place editor, which the window manager keeps above every other window,
// each window stands above it; the editor's own window stays hidden.
TEST_F(EditorWindows, WindowsOpenedFromTheInPlaceEditorStandAboveIt)
{
    QImage screen(1920, 1080, QImage::Format_RGB32);
    screen.fill(QColor(40, 90, 140));
    editor->document()->load(picture(400, 300), false);
    editor->inlineEditor()->present(editor.get(), CapturePlacement{QRectF(0, 0, 1920, 1080), QRectF(300, 300, 400, 300), screen});
    QWidget *inlineWindow = editor->inlineEditor()->window();
    ASSERT_NE(inlineWindow, nullptr);
    const xcb_window_t inlineID = idOf(inlineWindow);
    ASSERT_TRUE(waitUntil([&] { return viewable(inlineID) && stackingIndex(inlineID) >= 0; }, 5000));

    for (const Asked &asked : askedWindows()) {
        SCOPED_TRACE(asked.name);
        asked.ask();
        ASSERT_TRUE(waitUntil([&] { return asked.window() && asked.window()->isVisible() && !editor->busy(); }, 5000));
        const xcb_window_t id = idOf(asked.window());
        EXPECT_TRUE(waitUntil([&] { return viewable(id) && stackingIndex(id) > stackingIndex(inlineID); }, 5000))
            << "stacked at " << stackingIndex(id) << ", the in-place editor at " << stackingIndex(inlineID);
    }
    EXPECT_TRUE(editor->inlineEditor()->isShown());
    EXPECT_FALSE(editor->window()->isVisible());
    editor->inlineEditor()->dismiss();
}
