// Captures on two screens side by side, on a private Xvfb that this executable starts before Qt
// connects: one X screen split into two RandR monitors, which Qt shows as two QScreens. Keys and
// the pointer go through the server (XTEST), as a user's devices send them.

#include "CaptureFixtures.h"

#include "Platform/ScreenCapture/X11ScreenSource.h"
#include "Support/SplitMonitors.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace CaptureTesting;

namespace {

constexpr QSize screenSize(1280, 800);
constexpr std::uint32_t keysymSpace = 0x20;
constexpr std::uint32_t keysymShift = 0xffe1;

class TwoScreenCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        ASSERT_EQ(QGuiApplication::screens().at(1)->geometry(), QRect(QPoint(screenSize.width(), 0), screenSize));
        ASSERT_TRUE(display.isValid());
    }
    void TearDown() override
    {
        if (running.handle && !running.handle.isFinished()) {
            running.handle.cancel();
            waitFor(running.handle);
        }
    }

    // A region capture begun with the pointer on the left screen, whose overlay then has the
    // keyboard.
    void start()
    {
        display.movePointer(QPoint(100, 100));
        running = startCapture(capture, CaptureSelectionMode::region);
        ASSERT_TRUE(running.shown);
        ASSERT_EQ(capture.overlays().size(), 2);
        ASSERT_TRUE(waitUntil([&] { return QGuiApplication::focusWindow() == capture.overlays().first()->windowHandle(); }));
    }
    void key(std::uint32_t keysym, bool down) { display.key(display.keyCode(keysym), down); }

    TestSupport::X11TestDisplay display;
    RegionCapture capture{std::make_shared<Platform::X11ScreenSource>()};
    RunningCapture running;
};

} // namespace

TEST_F(TwoScreenCapture, SpaceAndShiftActOnTheScreenUnderThePointer)
{
    for (const int screen : {0, 1}) {
        SCOPED_TRACE(screen == 0 ? "the left screen" : "the right screen");
        start();
        const int left = screen * screenSize.width();
        CaptureSelectionView *view = capture.overlays().at(screen)->contentView();

        // Root pixels, y down; the view's points have y up from the screen's bottom edge.
        display.movePointer(QPoint(left + 200, 200));
        display.button(true);
        display.movePointer(QPoint(left + 400, 300));
        ASSERT_TRUE(waitUntil([&] { return view->selection() == QRectF(200, 500, 200, 100); }));

        // With Space held the rectangle follows the pointer instead of growing.
        key(keysymSpace, true);
        display.movePointer(QPoint(left + 450, 350));
        EXPECT_TRUE(waitUntil([&] { return view->selection() == QRectF(250, 450, 200, 100); })) << ::testing::PrintToString(view->selection());
        key(keysymSpace, false);

        // Shift pressed and released without moving: a square, then the rectangle again.
        key(keysymShift, true);
        EXPECT_TRUE(waitUntil([&] { return view->selection() == QRectF(250, 350, 200, 200); })) << ::testing::PrintToString(view->selection());
        key(keysymShift, false);
        EXPECT_TRUE(waitUntil([&] { return view->selection() == QRectF(250, 450, 200, 100); })) << ::testing::PrintToString(view->selection());

        display.button(false);
        ASSERT_TRUE(waitFor(running.handle));
        ASSERT_TRUE(running.handle.value());
        EXPECT_EQ(capture.lastPlacement()->frame, QRectF(left + 250, 450, 200, 100));
    }
}

int main(int argc, char **argv)
{
    return TestSupport::runTestsOnMonitors(screenSize, 2, argc, argv);
}
