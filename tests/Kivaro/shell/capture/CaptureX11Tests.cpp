// Captures on the real X server the test command started: real screen images, a real window
// manager where the case needs one, and input sent through the server (XTEST, xdotool) as a
// user's devices would send it.

#include "CaptureFixtures.h"

#include "Kivaro/shell/capture/GlobalShortcut.h"
#include "KivaroCore/ShotError.h"
#include "Platform/HotKeys/X11HotKeyService.h"
#include "Platform/ScreenCapture/X11ScreenSource.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>
#include <QProcess>
#include <QWindow>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;
using TestSupport::X11TestDisplay;

namespace {

constexpr std::uint32_t keysymAlt = 0xffe9;
constexpr std::uint32_t keysymEscape = 0xff1b;

class LiveCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        height = display.rootSize().height();
    }
    void TearDown() override
    {
        if (running.handle && !running.handle.isFinished()) {
            running.handle.cancel();
            waitFor(running.handle);
        }
        for (xcb_window_t window : windows)
            display.destroyWindow(window);
        display.stopWindowManager();
    }

    // A window showing a known picture; returns the picture once the screen shows it.
    QImage showPattern(QRect where, int seed, bool managed = false)
    {
        const QImage pattern = TestSupport::patternImage(where.size(), seed);
        windows.push_back(display.createWindow(where, pattern, 4242, !managed));
        return pattern;
    }
    // Starts a capture and waits until its overlay is on the screen (the veil darkens a small
    // picture in the top-left corner) with the keyboard focus.
    void start(CaptureSelectionMode mode)
    {
        const QRect probeWindow(0, 0, 16, 16);
        const QImage probePattern = showPattern(probeWindow, 99);
        ASSERT_TRUE(display.waitForPixels(probeWindow, probePattern));
        const QPoint probe(8, 8);
        const QImage before = display.rootImage(QRect(probe, QSize(1, 1)));
        running = startCapture(capture, mode);
        ASSERT_TRUE(running.shown);
        ASSERT_TRUE(waitUntil([&] { return display.rootImage(QRect(probe, QSize(1, 1))) != before; })) << "the veil never showed";
        ASSERT_TRUE(waitUntil([&] {
            return QGuiApplication::focusWindow() && QGuiApplication::focusWindow() == capture.overlays().first()->windowHandle();
        }));
    }
    void drag(QPoint from, QPoint to)
    {
        display.movePointer(from);
        display.button(true);
        display.movePointer((from + to) / 2);
        display.movePointer(to);
        display.button(false);
    }
    void pressKey(std::uint32_t keysym, bool down) { display.key(display.keyCode(keysym), down); }

    X11TestDisplay display;
    std::vector<xcb_window_t> windows;
    RegionCapture capture{std::make_shared<Platform::X11ScreenSource>()};
    RunningCapture running;
    int height = 0;
};

} // namespace

TEST_F(LiveCapture, ADragThroughTheServerCapturesThePixelsUnderIt)
{
    const QRect where(200, 150, 600, 400);
    const QImage pattern = showPattern(where, 1);
    ASSERT_TRUE(display.waitForPixels(where, pattern));

    start(CaptureSelectionMode::region);
    drag(QPoint(300, 250), QPoint(500, 400));
    ASSERT_TRUE(waitFor(running.handle));
    ASSERT_TRUE(running.handle.value());
    EXPECT_EQ(running.handle.value()->convertToFormat(QImage::Format_RGB32), pattern.copy(100, 100, 200, 150));
    // Model points: y up from the bottom of the screen.
    EXPECT_EQ(capture.lastPlacement()->frame, QRectF(300, height - 400, 200, 150));
    EXPECT_TRUE(capture.overlays().isEmpty());
}

TEST_F(LiveCapture, APickedWindowIsItsOwnContentWithItsDecorations)
{
    ASSERT_TRUE(display.startWindowManager());
    const QRect where(400, 300, 320, 240);
    const QImage pattern = showPattern(where, 2, true);
    const auto extents = display.frameExtents(windows.back());
    ASSERT_TRUE(waitUntil([&] {
        return display.rootImage(QRect(where.topLeft() + QPoint(int(extents[0]), int(extents[2])), QSize(8, 8))) == pattern.copy(0, 0, 8, 8)
               || display.rootImage(QRect(where.topLeft(), QSize(8, 8))) == pattern.copy(0, 0, 8, 8);
    }));

    start(CaptureSelectionMode::window);
    const QRectF frame = capture.overlays().first()->contentView()->targets().first().frame;
    const QPoint inside(int(frame.x() + frame.width() / 2), int(height - frame.y() - frame.height() / 2));
    display.movePointer(inside);
    display.button(true);
    display.button(false);
    ASSERT_TRUE(waitFor(running.handle));
    ASSERT_TRUE(running.handle.value());
    const QImage image = running.handle.value()->convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.size(), QSize(320 + int(extents[0] + extents[1]), 240 + int(extents[2] + extents[3])));
    EXPECT_EQ(image.copy(int(extents[0]), int(extents[2]), 320, 240), pattern);
    EXPECT_EQ(capture.lastPlacement()->frame, frame);
}

TEST_F(LiveCapture, TheApplicationsOwnWindowIsOfferedLikeAnyOther)
{
    // A caller hides its windows before it captures; one it leaves shown (a verification
    // scenario's fixture window) can be picked.
    const QRect where(500, 300, 240, 160);
    const QColor colour(10, 200, 30);
    QWidget own;
    QPalette palette = own.palette();
    palette.setColor(QPalette::Window, colour);
    own.setPalette(palette);
    own.setAutoFillBackground(true);
    own.setGeometry(where);
    own.show();
    QImage solid(where.size(), QImage::Format_RGB32);
    solid.fill(colour);
    ASSERT_TRUE(display.waitForPixels(where, solid));

    start(CaptureSelectionMode::window);
    const QList<CaptureWindowTarget> targets = capture.overlays().first()->contentView()->targets();
    EXPECT_TRUE(std::any_of(targets.begin(), targets.end(), [&](const CaptureWindowTarget &t) { return t.window.windowID == own.winId(); }));
    display.movePointer(where.center());
    display.button(true);
    display.button(false);
    ASSERT_TRUE(waitFor(running.handle));
    ASSERT_TRUE(running.handle.value());
    EXPECT_EQ(running.handle.value()->convertToFormat(QImage::Format_RGB32), solid);
}

TEST_F(LiveCapture, AltSwitchesTheModeAndEscapeClosesEveryOverlay)
{
    start(CaptureSelectionMode::window);
    CaptureSelectionView *view = capture.overlays().first()->contentView();
    pressKey(keysymAlt, true);
    ASSERT_TRUE(waitUntil([&] { return view->effectiveMode() == CaptureSelectionMode::region; }));
    pressKey(keysymAlt, false);
    ASSERT_TRUE(waitUntil([&] { return view->effectiveMode() == CaptureSelectionMode::window; }));

    pressKey(keysymEscape, true);
    pressKey(keysymEscape, false);
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_FALSE(running.handle.error());
    EXPECT_FALSE(running.handle.value());
    EXPECT_TRUE(capture.overlays().isEmpty());
}

TEST_F(LiveCapture, CancellingTheTaskTakesTheOverlayOffTheScreen)
{
    const QRect where(600, 500, 200, 100);
    const QImage pattern = showPattern(where, 3);
    ASSERT_TRUE(display.waitForPixels(where, pattern));
    start(CaptureSelectionMode::region);
    running.handle.cancel();
    ASSERT_TRUE(waitFor(running.handle));
    EXPECT_TRUE(running.handle.endedByCancellation());
    EXPECT_TRUE(display.waitForPixels(where, pattern)) << "the veil is gone";
    EXPECT_FALSE(capture.isRunning());
}

namespace {

class LiveHotKey : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service->isAvailable()); }
    static bool xdotool(const QString &chord) { return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), chord}) == 0; }

    X11TestDisplay display;
    std::shared_ptr<Platform::X11HotKeyService> service = std::make_shared<Platform::X11HotKeyService>();
    int windowPresses = 0;
    int regionPresses = 0;
    GlobalShortcut windowShortcut{[this] { ++windowPresses; }, service};
    GlobalShortcut regionShortcut{[this] { ++regionPresses; }, service};
};

} // namespace

TEST_F(LiveHotKey, AChordSentThroughTheServerRunsItsOwnAction)
{
    windowShortcut.registerBinding(CaptureShortcut{21, 0x1900, QStringLiteral("4")}, true);
    regionShortcut.registerBinding(CaptureShortcut{23, 0x1100, QStringLiteral("5")}, true);
    ASSERT_TRUE(xdotool(QStringLiteral("ctrl+alt+super+4")));
    ASSERT_TRUE(waitUntil([&] { return windowPresses == 1; }));
    // The region chord's Option variant reaches the region action too.
    ASSERT_TRUE(xdotool(QStringLiteral("ctrl+alt+super+5")));
    ASSERT_TRUE(waitUntil([&] { return regionPresses == 1; }));
    EXPECT_EQ(windowPresses, 1);
}

TEST_F(LiveHotKey, AChordAnotherClientHoldsIsReportedAsOccupied)
{
    const xcb_keycode_t four = display.keyCode(0x34);
    const std::uint16_t mods = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    ASSERT_TRUE(display.grabKey(four, mods));
    try {
        windowShortcut.registerBinding(CaptureShortcut{21, 0x1900, QStringLiteral("4")}, true);
        ADD_FAILURE() << "registered a chord another client holds";
    } catch (const ShotError &error) {
        EXPECT_EQ(error.text(), QStringLiteral("⌃⌥⌘4 已被系统或其他应用占用，请换一组快捷键。"));
    }
    EXPECT_FALSE(windowShortcut.isRegistered());
    display.ungrabKey(four, mods);
    windowShortcut.registerBinding(CaptureShortcut{21, 0x1900, QStringLiteral("4")}, true);
    EXPECT_TRUE(windowShortcut.isRegistered());
}
