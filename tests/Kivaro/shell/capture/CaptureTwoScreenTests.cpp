// Captures on two screens side by side, on a private Xvfb that this executable starts before Qt
// connects: one X screen split into two RandR monitors, which Qt shows as two QScreens. Keys and
// the pointer go through the server (XTEST), as a user's devices send them.

#include "CaptureFixtures.h"

#include "Platform/ScreenCapture/X11ScreenSource.h"
#include "Support/TestRun.h"
#include "Support/XvfbSession.h"

#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <sys/uio.h>

using namespace Kivaro;
using namespace CaptureTesting;

namespace {

constexpr QSize screenSize(1280, 800);
constexpr std::uint32_t keysymSpace = 0x20;
constexpr std::uint32_t keysymShift = 0xffe1;

// Splits the display's root window into `count` monitors of `size` side by side, the first one
// primary. The request is written out here: libxcb 1.15's xcb_randr_set_monitor sends it with a
// wrong length, and the connection is dropped.
bool splitIntoMonitors(QSize size, int count)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const auto done = qScopeGuard([c] { xcb_disconnect(c); });
    if (xcb_connection_has_error(c))
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto *version = xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr);
    const bool monitors = version && (version->major_version > 1 || version->minor_version >= 5);
    std::free(version);
    auto *resources = xcb_randr_get_screen_resources_reply(c, xcb_randr_get_screen_resources(c, root), nullptr);
    if (!monitors || !resources || resources->num_outputs < 1) {
        std::free(resources);
        return false;
    }
    // The first monitor takes the server's one output, which then has no monitor of its own.
    const xcb_randr_output_t output = xcb_randr_get_screen_resources_outputs(resources)[0];
    std::free(resources);
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const QByteArray name = "KIVARO-TEST-" + QByteArray::number(i);
        auto *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(name.size()), name.constData()), nullptr);
        struct {
            std::uint8_t major = 0, minor = 0;
            std::uint16_t length = 0;
            xcb_window_t window;
            xcb_randr_monitor_info_t monitor;
            xcb_randr_output_t output;
        } request{};
        request.window = root;
        request.monitor = {atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE), std::uint8_t(i == 0), 0, std::uint16_t(i == 0 ? 1 : 0),
                           std::int16_t(i * size.width()), 0, std::uint16_t(size.width()), std::uint16_t(size.height()), 340, 212};
        request.output = output;
        std::free(atom);
        iovec parts[4] = {};
        parts[2] = {&request, sizeof request - (i == 0 ? 0 : sizeof request.output)};
        xcb_protocol_request_t info{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
        const xcb_void_cookie_t cookie{xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &info)};
        xcb_generic_error_t *error = xcb_request_check(c, cookie);
        ok = !error && !xcb_connection_has_error(c);
        std::free(error);
    }
    return ok;
}

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
    TestSupport::XvfbSession xvfb(QSize(2 * screenSize.width(), screenSize.height()));
    if (!xvfb.isRunning() || !splitIntoMonitors(screenSize, 2)) {
        std::fprintf(stderr, "could not start an X server with two screens\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    return TestSupport::runTests(argc, argv);
}
