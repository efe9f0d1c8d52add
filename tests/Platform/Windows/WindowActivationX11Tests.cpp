// Bringing a window forward under a window manager (openbox on the test's X server) after the
// user went to work in another application. What counts is what the window manager says:
// _NET_ACTIVE_WINDOW on the root.

#include "Platform/Windows/WindowActivation.h"

#include "Platform/ScreenCapture/X11TestDisplay.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

using TestSupport::pollUntil;

namespace {

class WindowActivation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ours.setWindowTitle(QStringLiteral("ours"));
        ours.setGeometry(200, 200, 320, 240);
        ours.show();
        ASSERT_TRUE(pollUntil([&] { return activeWindow() == ourID(); })) << "a new window gets the focus";
    }
    void TearDown() override
    {
        ours.hide();
        if (other)
            display.destroyWindow(other);
        display.stopWindowManager();
    }

    xcb_window_t ourID() const { return xcb_window_t(ours.winId()); }
    std::optional<std::uint32_t> property(xcb_window_t window, const char *name, xcb_atom_t type)
    {
        xcb_connection_t *c = display.connection();
        xcb_get_property_reply_t *reply = xcb_get_property_reply(c, xcb_get_property(c, 0, window, display.atom(name), type, 0, 1), nullptr);
        std::optional<std::uint32_t> value;
        if (reply && xcb_get_property_value_length(reply) == 4)
            value = *static_cast<const std::uint32_t *>(xcb_get_property_value(reply));
        std::free(reply);
        return value;
    }
    // The window manager's _NET_ACTIVE_WINDOW, or none.
    xcb_window_t activeWindow() { return property(display.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW).value_or(XCB_WINDOW_NONE); }
    std::optional<std::uint32_t> desktopOf(xcb_window_t window) { return property(window, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL); }
    std::optional<std::uint32_t> currentDesktop() { return property(display.root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL); }
    bool viewable(xcb_window_t window)
    {
        xcb_get_window_attributes_reply_t *reply =
            xcb_get_window_attributes_reply(display.connection(), xcb_get_window_attributes(display.connection(), window), nullptr);
        const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return result;
    }
    // What a pager does to put a window on another desktop.
    void moveToDesktop(xcb_window_t window, std::uint32_t desktop)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = display.atom("_NET_WM_DESKTOP");
        event.data.data32[0] = desktop;
        event.data.data32[1] = 2;
        xcb_send_event(display.connection(), 0, display.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
        display.sync();
    }
    // Another application's window, which the user clicks: it becomes the active window.
    void focusAnotherApplication()
    {
        other = display.createWindow(QRect(700, 200, 300, 200), TestSupport::patternImage(QSize(300, 200)));
        display.frameExtents(other);
        ASSERT_TRUE(pollUntil([&] { return viewable(other); }));
        display.movePointer(QPoint(850, 300));
        // Clicked until the window manager, which may still be setting the window up, acts on it.
        ASSERT_TRUE(pollUntil([&] {
            display.button(true);
            display.button(false);
            return activeWindow() == other;
        })) << "the click activates the other window";
    }
    // Waits a while for the window manager to act on what was asked.
    void settle() { pollUntil([] { return false; }, 400); }

    TestSupport::X11TestDisplay display;
    QWidget ours;
    xcb_window_t other = XCB_WINDOW_NONE;
};

} // namespace

// The window manager marks a window on another desktop instead of activating it when Qt asks;
// brought forward, the window comes to the current desktop and becomes active.
TEST_F(WindowActivation, AWindowOnAnotherDesktopComesHereAndBecomesActive)
{
    ASSERT_TRUE(currentDesktop().has_value());
    const std::uint32_t here = *currentDesktop();
    moveToDesktop(ourID(), here + 1);
    ASSERT_TRUE(pollUntil([&] { return desktopOf(ourID()) == here + 1; })) << "the test needs a second desktop";
    focusAnotherApplication();

    ours.raise();
    ours.activateWindow();
    settle();
    EXPECT_EQ(activeWindow(), other) << "the window manager refuses Qt's own request here; the test relies on it";

    Platform::bringForward(&ours);
    EXPECT_TRUE(pollUntil([&] { return activeWindow() == ourID(); }));
    EXPECT_EQ(desktopOf(ourID()), here);
    EXPECT_EQ(currentDesktop(), here) << "the user stays where they are";
    EXPECT_TRUE(pollUntil([&] { return QApplication::activeWindow() == &ours; }));
}

TEST_F(WindowActivation, AMinimisedOrHiddenWindowIsShownAndActivated)
{
    ours.showMinimized();
    ASSERT_TRUE(pollUntil([&] { return activeWindow() != ourID(); }));
    focusAnotherApplication();
    Platform::bringForward(&ours);
    EXPECT_TRUE(pollUntil([&] { return activeWindow() == ourID(); }));
    EXPECT_FALSE(ours.isMinimized());

    ours.hide();
    ASSERT_TRUE(pollUntil([&] { return activeWindow() != ourID(); }));
    display.destroyWindow(other);
    focusAnotherApplication();
    Platform::bringForward(&ours);
    EXPECT_TRUE(ours.isVisible());
    EXPECT_TRUE(pollUntil([&] { return activeWindow() == ourID(); }));
}

// A widget inside a window stands for its window.
TEST_F(WindowActivation, AWidgetInsideAMinimisedWindowBringsItsWindowForward)
{
    auto *child = new QWidget(&ours);
    child->setGeometry(10, 10, 50, 50);
    child->show();
    ours.showMinimized();
    ASSERT_TRUE(pollUntil([&] { return activeWindow() != ourID(); }));
    focusAnotherApplication();
    Platform::bringForward(child);
    EXPECT_FALSE(ours.isMinimized());
    EXPECT_TRUE(pollUntil([&] { return activeWindow() == ourID(); }));
}
