// Under a real X server: a click on the status item brings the application forward before
// its menu opens, while another application held the keyboard.

#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeStatusMenu.h"

#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/TaskTesting.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;
using TestSupport::waitUntil;

namespace {

// Stands in for the tray icon's window inside a panel (no tray host runs here): a small window
// the window manager does not manage, which reports a click on release as the icon does.
class TrayIconWindow final : public QWidget {
public:
    explicit TrayIconWindow(QSystemTrayIcon &tray)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), m_tray(tray)
    {
        setGeometry(1800, 0, 24, 24);
    }

protected:
    void mouseReleaseEvent(QMouseEvent *) override { Q_EMIT m_tray.activated(QSystemTrayIcon::Trigger); }

private:
    QSystemTrayIcon &m_tray;
};

class StatusMenuX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        ASSERT_TRUE(display.isValid());
        menu->addAction(QStringLiteral("截图"));
        NativeStatusMenu::attach(&tray, menu);
        icon.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&icon));
    }
    void TearDown() override
    {
        NativeStatusMenu::detach(&tray);
        for (xcb_window_t window : others)
            display.destroyWindow(window);
    }

    xcb_window_t focus()
    {
        xcb_get_input_focus_reply_t *reply = xcb_get_input_focus_reply(display.connection(), xcb_get_input_focus(display.connection()), nullptr);
        const xcb_window_t window = reply ? reply->focus : xcb_window_t(XCB_WINDOW_NONE);
        std::free(reply);
        return window;
    }
    // The child of the root that holds `window` (its window manager's frame, or itself).
    xcb_window_t topLevel(xcb_window_t window)
    {
        for (;;) {
            xcb_query_tree_reply_t *tree = xcb_query_tree_reply(display.connection(), xcb_query_tree(display.connection(), window), nullptr);
            if (!tree)
                return window;
            const xcb_window_t parent = tree->parent;
            std::free(tree);
            if (parent == display.root() || parent == XCB_WINDOW_NONE)
                return window;
            window = parent;
        }
    }
    // Whether `upper` is stacked above `lower` among the root's children.
    bool stackedAbove(xcb_window_t upper, xcb_window_t lower)
    {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(display.connection(), xcb_query_tree(display.connection(), display.root()), nullptr);
        if (!tree)
            return false;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        const int count = xcb_query_tree_children_length(tree);
        int upperAt = -1, lowerAt = -1;
        for (int i = 0; i < count; ++i) {
            if (children[i] == topLevel(upper))
                upperAt = i;
            if (children[i] == topLevel(lower))
                lowerAt = i;
        }
        std::free(tree);
        return upperAt > lowerAt && lowerAt >= 0; // bottom to top
    }
    // Another application's window over `geometry`, holding the keyboard.
    xcb_window_t otherApplicationTakesOver(QRect geometry)
    {
        const xcb_window_t window = display.createWindow(geometry, TestSupport::patternImage(geometry.size()));
        others << window;
        EXPECT_TRUE(waitUntil([&] {
            display.raise(topLevel(window));
            xcb_set_input_focus(display.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
            display.sync();
            return focus() == window && QApplication::activeWindow() == nullptr;
        }));
        return window;
    }
    // A real click: the application's idea of the server time moves on with it, which the
    // focus request of an application without a window manager depends on.
    void clickStatusItem()
    {
        display.movePointer(icon.geometry().center());
        display.button(true);
        display.button(false);
        ASSERT_TRUE(waitUntil([] { return NativeMenu::shared().isOpen(); }));
        EXPECT_EQ(NativeMenu::shared().contentView()->menu(), menu.get());
    }
    void checkForward(QWidget &window, xcb_window_t other)
    {
        const auto id = xcb_window_t(window.winId());
        EXPECT_TRUE(waitUntil([&] { return focus() == id; })) << "the keyboard is the application's";
        EXPECT_TRUE(waitUntil([&] { return stackedAbove(id, other); })) << "its window is in front";
        NativeMenu::shared().close();
        EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &window; }));
    }

    TestSupport::X11TestDisplay display;
    QSystemTrayIcon tray;
    TrayIconWindow icon{tray};
    std::shared_ptr<QMenu> menu = std::make_shared<QMenu>();
    QList<xcb_window_t> others;
};

} // namespace

TEST_F(StatusMenuX11Test, AClickActivatesTheWindowTheUserLastWorkedIn)
{
    ASSERT_TRUE(display.startWindowManager());
    QWidget editor, settings;
    editor.setGeometry(100, 100, 400, 300);
    settings.setGeometry(600, 100, 300, 200);
    for (QWidget *window : {&settings, &editor}) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        window->activateWindow();
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window; }));
    }
    const xcb_window_t other = otherApplicationTakesOver(QRect(50, 50, 600, 450));
    clickStatusItem();
    checkForward(editor, other);
    EXPECT_TRUE(settings.isVisible());
}

// The window manager's answer to the click's activation may come while the menu already holds
// the keyboard; the window it focused is the active one once the menu closes. The focus moves
// here at a fixed point, after the menu's own keyboard grab, as the slowest answer would.
TEST_F(StatusMenuX11Test, AWindowFocusedWhileTheMenuIsOpenIsActiveOnceItCloses)
{
    QWidget editor;
    editor.setGeometry(100, 100, 400, 300);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    otherApplicationTakesOver(QRect(50, 50, 600, 450));
    NativeMenu::shared().show(menu.get(), icon.geometry());
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    ASSERT_TRUE(waitUntil([] { return QGuiApplication::focusWindow() == NativeMenu::shared().popover()->windowHandle(); }))
        << "the menu holds the keyboard";
    xcb_set_input_focus(display.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, xcb_window_t(editor.winId()), XCB_CURRENT_TIME);
    display.sync();
    ASSERT_TRUE(waitUntil([&] { return QGuiApplication::focusWindow() == editor.windowHandle(); }));
    ASSERT_TRUE(NativeMenu::shared().isOpen());
    NativeMenu::shared().close();
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &editor; }));
}

TEST_F(StatusMenuX11Test, WithoutAWindowManagerTheApplicationTakesTheFocusItself)
{
    display.stopWindowManager();
    QWidget editor;
    editor.setGeometry(100, 100, 400, 300);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const xcb_window_t other = otherApplicationTakesOver(QRect(50, 50, 600, 450));
    clickStatusItem();
    checkForward(editor, other);
}
