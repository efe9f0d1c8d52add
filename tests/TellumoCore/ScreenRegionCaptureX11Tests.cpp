// Region capture with the real screenshot tool (scrot) on the test's X server: the user's drag
// is made with xdotool over a window of known pixels, and Escape cancels.

#include "TellumoCore/ScreenRegionCapture.h"
#include "RegionCaptureChecks.h"

#include "Platform/ScreenCapture/X11TestDisplay.h"

#include <xcb/xfixes.h>

#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace Tellumo;
using TestSupport::pollUntil;

namespace {

class RegionCaptureX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        for (const char *tool : {"xdotool", "scrot"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << "needs " << tool;
        ASSERT_TRUE(display.isValid());
        xcb_xfixes_query_version_reply_t *version =
            xcb_xfixes_query_version_reply(display.connection(), xcb_xfixes_query_version(display.connection(), 4, 0), nullptr);
        ASSERT_NE(version, nullptr);
        std::free(version);
        window = display.createWindow(windowRect, pattern, 0, true);
        ASSERT_TRUE(display.waitForPixels(windowRect, pattern));
        display.sync();
        restingCursor = cursorSerial();
    }
    void TearDown() override
    {
        if (window)
            display.destroyWindow(window);
    }

    // The serial of the pointer's current cursor: the tool's crosshair replaces the resting
    // cursor when it takes the pointer.
    std::uint32_t cursorSerial()
    {
        xcb_xfixes_get_cursor_image_reply_t *reply =
            xcb_xfixes_get_cursor_image_reply(display.connection(), xcb_xfixes_get_cursor_image(display.connection()), nullptr);
        const std::uint32_t serial = reply ? reply->cursor_serial : 0;
        std::free(reply);
        return serial;
    }
    // Starts a capture and waits until the tool holds the pointer.
    Platform::TaskHandle<std::optional<QImage>> startCapture()
    {
        auto handle = Platform::start(capture.capture());
        EXPECT_TRUE(pollUntil([&] { return capture.isRunning() && cursorSerial() != restingCursor; }, 10000))
            << "the tool did not take the pointer";
        return handle;
    }
    // Repeats the user's gesture (xdotool's arguments) until the tool has answered: a key
    // pressed before the tool took the keyboard reaches no one and is harmless.
    bool gestureUntilDone(const Platform::TaskHandle<std::optional<QImage>> &handle, const QString &xdotool)
    {
        for (int attempt = 0; attempt < 10 && !handle.isFinished(); ++attempt) {
            if (QProcess::execute(QStringLiteral("xdotool"), xdotool.split(QLatin1Char(' '))) != 0)
                return false;
            TestSupport::waitFor(handle, 1000);
        }
        return handle.isFinished();
    }
    static QStringList leftovers()
    {
        return QDir(QDir::tempPath()).entryList({QStringLiteral("tellumo-capture-*")}, QDir::AllEntries | QDir::Hidden);
    }

    TestSupport::X11TestDisplay display;
    const QRect windowRect{200, 150, 300, 200};
    const QImage pattern = TestSupport::patternImage(windowRect.size(), 3);
    xcb_window_t window = XCB_WINDOW_NONE;
    std::uint32_t restingCursor = 0;
    ScreenRegionCapture capture;
};

} // namespace

TEST_F(RegionCaptureX11, ADraggedRegionComesBackWithTheScreensPixels)
{
    auto handle = startCapture();
    ASSERT_TRUE(gestureUntilDone(handle, QStringLiteral("mousemove 220 170 mousedown 1 mousemove 300 230 mousemove 340 270 mouseup 1")));
    ASSERT_FALSE(handle.error());
    const std::optional<QImage> image = handle.value();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(120, 100));
    QImage expected = pattern.copy(20, 20, 120, 100).convertToFormat(QImage::Format_RGB32);
    expected.setColorSpace(image->colorSpace()); // the capture is labelled sRGB
    EXPECT_EQ(image->convertToFormat(QImage::Format_RGB32), expected) << "the region holds the window's pixels under the drag";
    EXPECT_FALSE(capture.isRunning());
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(RegionCaptureX11, EscapeCancelsAndASecondCaptureMeanwhileIsRefused)
{
    auto handle = startCapture();
    expectASecondCaptureRefused(capture);
    ASSERT_EQ(leftovers().size(), 1);
    const QFileDevice::Permissions user = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
        | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFileInfo(QDir(QDir::tempPath()).filePath(leftovers().first())).permissions() & (user | others), user)
        << "the tool writes into a folder of the user's only";
    ASSERT_TRUE(gestureUntilDone(handle, QStringLiteral("key Escape")));
    ASSERT_FALSE(handle.error());
    EXPECT_FALSE(handle.value()) << "a cancelled selection gives no picture";
    EXPECT_FALSE(capture.isRunning());
    EXPECT_TRUE(leftovers().isEmpty());
}
