// The screen source against the real X server the test command started (Xvfb).

#include "Platform/ScreenCapture/X11ScreenSource.h"
#include "Platform/ScreenCapture/internal/ShmImagePool.h"

#include "X11TestDisplay.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Platform;
using TestSupport::patternImage;
using TestSupport::pollUntil;

namespace {

// Qt's RGB32 comparisons and pixel() ignore the padding byte; a painter copying the rows into an
// alpha format does not.
bool opaque(const QImage &image, QRect area)
{
    if (image.depth() != 32)
        return false;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(reinterpret_cast<const QRgb *>(image.constScanLine(y))[x]) != 255)
                return false;
    return true;
}

class X11ScreenSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(source.isConnected());
    }
    void TearDown() override
    {
        for (xcb_window_t window : created)
            display.destroyWindow(window);
    }

    xcb_window_t window(QRect geometry, int seed, std::uint32_t pid = 4242, bool overrideRedirect = false)
    {
        created.push_back(display.createWindow(geometry, patternImage(geometry.size(), seed), pid, overrideRedirect));
        return created.back();
    }
    // Position in the source's window list (front-most first), -1 when not listed.
    int positionOf(xcb_window_t id)
    {
        listed = source.windows();
        for (int i = 0; i < listed.size(); ++i)
            if (listed.at(i).windowID == id)
                return i;
        return -1;
    }
    void setTypes(xcb_window_t window, std::initializer_list<const char *> names)
    {
        std::vector<xcb_atom_t> atoms;
        for (const char *name : names)
            atoms.push_back(display.atom(name));
        xcb_change_property(display.connection(), XCB_PROP_MODE_REPLACE, window, display.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                            32, std::uint32_t(atoms.size()), atoms.data());
        display.sync();
    }
    QRectF frameOf(xcb_window_t id) { return listed.value(positionOf(id)).frame; }
    double screenHeight() const { return display.rootSize().height(); }

    TestSupport::X11TestDisplay display;
    X11ScreenSource source;
    std::vector<xcb_window_t> created;
    QList<ShareableWindow> listed;
};

} // namespace

TEST_F(X11ScreenSourceTest, AFrozenScreenHoldsTheScreensPixelsAndStaysFrozen)
{
    source.prepare();
    const QRect where(100, 120, 300, 200);
    window(where, 1, 4242, true);
    const QImage pattern = patternImage(where.size(), 1);
    ASSERT_TRUE(display.waitForPixels(where, pattern));

    const CaptureScreen screen = source.screens().first();
    EXPECT_EQ(screen.frame, QRectF(QPointF(0, 0), QSizeF(display.rootSize())));
    const QImage frozen = source.freeze(screen);
    EXPECT_TRUE(source.usesSharedMemory());
    ASSERT_EQ(frozen.size(), display.rootSize());
    EXPECT_EQ(frozen.copy(where), pattern);
    EXPECT_TRUE(opaque(frozen, where));

    // The screen changes; the frozen image does not, also after more freezes have reused buffers.
    display.destroyWindow(created.back());
    created.pop_back();
    ASSERT_TRUE(pollUntil([&] { return display.rootImage(where) != pattern; }));
    for (int i = 0; i < 6; ++i)
        EXPECT_NE(source.freeze(screen).copy(where), pattern);
    EXPECT_EQ(frozen.copy(where), pattern);
    // Writing to a frozen image gives the writer its own pixels, never the shared buffer's.
    QImage edited = frozen;
    edited.setPixel(where.topLeft(), qRgb(1, 2, 3));
    EXPECT_EQ(frozen.copy(where), pattern);
}

TEST_F(X11ScreenSourceTest, CompositedAndReadScreensGiveTheSameOpaquePixels)
{
    const QRect where(40, 60, 320, 700); // tall enough to be read in strips
    window(where, 2, 4242, true);
    const QImage pattern = patternImage(where.size(), 2);
    ASSERT_TRUE(display.waitForPixels(where, pattern));
    auto best = std::make_shared<detail::ShmImagePool>(std::make_shared<detail::XConnection>());
    auto read = std::make_shared<detail::ShmImagePool>(std::make_shared<detail::XConnection>(), detail::ShmImagePool::Path::getImage);
    EXPECT_TRUE(best->composites()) << "Xvfb has RENDER and shared pixmaps";
    EXPECT_FALSE(read->composites());
    const QRect area(0, 0, 400, 800);
    for (const auto &pool : {best, read}) {
        const QImage image = pool->grab(area);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.copy(where), pattern);
        EXPECT_TRUE(opaque(image, image.rect()));
    }
}

TEST_F(X11ScreenSourceTest, WarmingReadiesOneSegmentPerScreenOnce)
{
    auto pool = std::make_shared<detail::ShmImagePool>(std::make_shared<detail::XConnection>());
    const QRect left(0, 0, 640, 480), right(640, 0, 640, 480);
    pool->warm({left, right});
    pool->warm({left, right});
    EXPECT_EQ(pool->freeSegmentCount(), 2u);
    const QImage first = pool->grab(left), second = pool->grab(right);
    EXPECT_EQ(pool->freeSegmentCount(), 0u) << "each screen's grab found a warm segment";
}

// Shared-memory segments this process has attached, as the kernel lists them.
static int attachedSegments()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    return int(maps.readAll().count("/SYSV"));
}

TEST_F(X11ScreenSourceTest, ARestingPoolGivesEverySegmentBackUntilItIsWarmedAgain)
{
    auto pool = std::make_shared<detail::ShmImagePool>(std::make_shared<detail::XConnection>());
    const QRect left(0, 0, 640, 480), right(640, 0, 640, 480);
    const int before = attachedSegments();
    pool->warm({left, right});
    QImage held = pool->grab(left);
    ASSERT_FALSE(held.isNull());
    EXPECT_EQ(attachedSegments(), before + 2);

    // Between captures: the warm one goes at once, the one an image still shows when the
    // image goes.
    pool->rest();
    EXPECT_EQ(pool->freeSegmentCount(), 0u);
    EXPECT_EQ(attachedSegments(), before + 1);
    held = QImage();
    EXPECT_EQ(pool->freeSegmentCount(), 0u);
    EXPECT_EQ(attachedSegments(), before);

    // The next capture warms again and keeps what it hands back for the one after.
    pool->warm({left});
    EXPECT_EQ(pool->freeSegmentCount(), 1u);
    pool->grab(left);
    EXPECT_EQ(pool->freeSegmentCount(), 1u);
}

TEST_F(X11ScreenSourceTest, WithoutAWindowManagerTheTreeGivesTheWindowsFrontMostFirst)
{
    ASSERT_FALSE(display.hasWindowManager());
    const xcb_window_t back = window(QRect(200, 200, 300, 200), 3);
    const xcb_window_t front = window(QRect(250, 250, 300, 200), 4);
    const xcb_window_t menu = window(QRect(320, 320, 100, 100), 6, 4242, true);
    // The first type a window names that the list knows decides; unknown extensions come first.
    const xcb_window_t extended = window(QRect(600, 100, 100, 100), 11);
    setTypes(extended, {"_KIVARO_TEST_WINDOW_TYPE_PANEL", "_NET_WM_WINDOW_TYPE_NORMAL"});
    const xcb_window_t dock = window(QRect(700, 100, 100, 100), 12);
    setTypes(dock, {"_KIVARO_TEST_WINDOW_TYPE_PANEL", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_NORMAL"});

    ASSERT_GE(positionOf(front), 0);
    EXPECT_LT(positionOf(front), positionOf(back));
    EXPECT_EQ(positionOf(menu), -1) << "override-redirect windows are menus and tool tips";
    EXPECT_GE(positionOf(extended), 0);
    EXPECT_EQ(positionOf(dock), -1);
    EXPECT_EQ(frameOf(back), QRectF(200, screenHeight() - 400, 300, 200)) << "model points, y up";
    EXPECT_EQ(listed.at(positionOf(back)).processID, 4242);
    display.raise(back);
    EXPECT_LT(positionOf(back), positionOf(front));
}

TEST_F(X11ScreenSourceTest, ThisProcesssWindowsAreListedExceptThoseThatBypassTheWindowManager)
{
    // Without a window manager, then under one: overlays are told apart by how they are shown,
    // not by whose they are.
    for (const bool managed : {false, true}) {
        SCOPED_TRACE(managed ? "under a window manager" : "without a window manager");
        if (managed) {
            ASSERT_TRUE(display.startWindowManager());
        }
        QWidget own;
        own.setGeometry(300, 300, 200, 150);
        QWidget overlay(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint);
        overlay.setGeometry(0, 0, 400, 300);
        own.show();
        overlay.show();
        const auto ownID = std::uint32_t(own.winId()), overlayID = std::uint32_t(overlay.winId());
        ASSERT_TRUE(pollUntil([&] { return positionOf(ownID) >= 0; })) << "the application hides its windows itself before a capture";
        EXPECT_EQ(listed.at(positionOf(ownID)).processID, QCoreApplication::applicationPid());
        EXPECT_EQ(positionOf(overlayID), -1);
    }
    display.stopWindowManager();
}

TEST_F(X11ScreenSourceTest, HostileFrameExtentsStayInsideTheScreens)
{
    ASSERT_TRUE(display.startWindowManager());
    const xcb_window_t target = window(QRect(300, 200, 320, 240), 12);
    display.frameExtents(target);
    ASSERT_TRUE(pollUntil([&] { return positionOf(target) >= 0; }));

    // Any client may write the property on its own window, after the manager did.
    const std::array<std::uint32_t, 4> hostile{0x7fffffffu, 0xffffffffu, 0x80000000u, 4000000000u};
    xcb_change_property(display.connection(), XCB_PROP_MODE_REPLACE, target, display.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 32,
                        4, hostile.data());
    display.sync();
    ASSERT_EQ(display.frameExtents(target), hostile);

    const QRectF screens(QPointF(0, 0), QSizeF(display.rootSize()));
    EXPECT_EQ(frameOf(target), screens) << "decorations reach no further than the screens";
    const CaptureScreen screen = source.screens().first();
    const QList<FrozenScreen> frozen{{screen, source.freeze(screen)}};
    EXPECT_EQ(source.windowImage(listed.at(positionOf(target)), 2.0, frozen).size(), display.rootSize() * 2);
    display.stopWindowManager();
}

TEST_F(X11ScreenSourceTest, AWindowImagePastTheImageLimitsIsRefused)
{
    // 8100 pixels wide, most of it off the screen: at scale 2 its image would be 16,200 wide.
    const QRect where(100, 100, 8100, 60);
    const xcb_window_t target = window(where, 13);
    ASSERT_TRUE(display.waitForPixels(QRect(100, 100, 50, 60), patternImage(where.size(), 13).copy(0, 0, 50, 60)));
    ASSERT_GE(positionOf(target), 0);
    const ShareableWindow wide = listed.at(positionOf(target));
    EXPECT_EQ(wide.frame.width(), 8100);
    const CaptureScreen screen = source.screens().first();
    const QList<FrozenScreen> frozen{{screen, source.freeze(screen)}};

    for (const bool kept : {false, true}) {
        SCOPED_TRACE(kept ? "contents kept" : "cut from the screen");
        if (kept) {
            display.redirectWindows();
            ASSERT_TRUE(pollUntil([&] { return !source.compositeImage(target, where).isNull(); }));
            // The whole window, also what lies off every screen.
            EXPECT_EQ(source.windowImage(wide, 1.0, frozen).convertToFormat(QImage::Format_RGB32), patternImage(where.size(), 13));
        }
        EXPECT_EQ(source.windowImage(wide, 1.0, frozen).size(), QSize(8100, 60));
        EXPECT_TRUE(source.windowImage(wide, 2.0, frozen).isNull());
    }
}

TEST_F(X11ScreenSourceTest, UnderAWindowManagerFramesIncludeTheDecorations)
{
    ASSERT_TRUE(display.startWindowManager());
    const xcb_window_t first = window(QRect(300, 200, 320, 240), 7);
    const xcb_window_t second = window(QRect(500, 300, 320, 240), 8);
    const auto extents = display.frameExtents(second);
    display.frameExtents(first);
    ASSERT_GT(extents[2], 0u) << "openbox draws a title bar";
    ASSERT_TRUE(pollUntil([&] { return positionOf(first) >= 0 && positionOf(second) >= 0; }));

    auto *position = xcb_translate_coordinates_reply(
        display.connection(), xcb_translate_coordinates(display.connection(), second, display.root(), 0, 0), nullptr);
    ASSERT_TRUE(position);
    const QRectF native(position->dst_x - int(extents[0]), position->dst_y - int(extents[2]), 320 + extents[0] + extents[1],
                        240 + extents[2] + extents[3]);
    std::free(position);
    EXPECT_EQ(frameOf(second), QRectF(native.x(), screenHeight() - native.bottom(), native.width(), native.height()));
    EXPECT_LT(positionOf(second), positionOf(first));
    display.stopWindowManager();
}

TEST_F(X11ScreenSourceTest, AWindowImageComesThroughCompositeWhenContentsAreKept)
{
    const QRect where(400, 300, 240, 160);
    const xcb_window_t target = window(where, 9);
    window(QRect(500, 350, 200, 200), 10); // covers the target's right part
    const QImage pattern = patternImage(where.size(), 9);
    ASSERT_TRUE(display.waitForPixels(QRect(400, 300, 100, 50), pattern.copy(0, 0, 100, 50)));
    ASSERT_GE(positionOf(target), 0);
    const ShareableWindow shown = listed.at(positionOf(target));

    // Nobody keeps window contents: the window is cut from the frozen screen, cover and all.
    EXPECT_TRUE(source.compositeImage(target, where).isNull());
    const CaptureScreen screen = source.screens().first();
    const QList<FrozenScreen> frozen{{screen, source.freeze(screen)}};
    const QImage cut = source.windowImage(shown, 1.0, frozen);
    ASSERT_EQ(cut.size(), where.size());
    EXPECT_TRUE(opaque(cut, cut.rect()));
    EXPECT_EQ(cut.convertToFormat(QImage::Format_RGB32).copy(0, 0, 100, 160), pattern.copy(0, 0, 100, 160));
    EXPECT_NE(cut.convertToFormat(QImage::Format_RGB32), pattern);

    // With contents kept off screen (as under a compositing manager) the whole window comes back,
    // resampled to the frame times the scale.
    display.redirectWindows();
    ASSERT_TRUE(pollUntil([&] { return !source.compositeImage(target, where).isNull(); }));
    EXPECT_TRUE(opaque(source.compositeImage(target, where), QRect(QPoint(), where.size())));
    // Only the asked area is read; what the window does not cover of it is transparent.
    const QImage corner = source.compositeImage(target, QRect(where.topLeft() - QPoint(10, 10), QSize(30, 30)));
    ASSERT_EQ(corner.size(), QSize(30, 30));
    EXPECT_EQ(qAlpha(corner.pixel(5, 5)), 0);
    EXPECT_EQ(corner.pixel(10, 10), pattern.pixel(0, 0));
    EXPECT_EQ(source.windowImage(shown, 1.0, frozen).convertToFormat(QImage::Format_RGB32), pattern);
    EXPECT_EQ(source.windowImage(shown, 2.0, frozen).size(), where.size() * 2);
}

TEST_F(X11ScreenSourceTest, InputGrabFailsWhileAnotherClientHoldsTheKeyboard)
{
    QWidget overlay(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    overlay.setGeometry(0, 0, 200, 200);
    overlay.show();
    ASSERT_TRUE(pollUntil([&] { return source.grabInput(overlay.windowHandle()); }));
    source.releaseInput();

    xcb_connection_t *c = display.connection();
    auto *grab = xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, display.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
    ASSERT_TRUE(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);
    std::free(grab);
    EXPECT_FALSE(source.grabInput(overlay.windowHandle()));
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    display.sync();
    EXPECT_TRUE(source.grabInput(overlay.windowHandle()));
    source.releaseInput();
}
