#include "Platform/ScreenCapture/ScreenCoordinates.h"
#include "Platform/ScreenCapture/ScreenSource.h"

#include "X11TestDisplay.h"

#include <gtest/gtest.h>

using namespace Platform;

namespace {
// A primary 1920 x 1080 screen at Qt (100, 50) with a 1280 x 1024 screen at scale 2 on its left
// whose top is 200 points higher.
const ScreenCoordinates twoScreens({{QRectF(100, 50, 1920, 1080), 1.0}, {QRectF(-1180, -150, 1280, 1024), 2.0}});

FrozenScreen frozen(QRectF frame, double scale, int seed)
{
    const CaptureScreen screen{QStringLiteral("s"), frame, scale};
    return {screen, TestSupport::patternImage(screen.pixelSize(), seed)};
}
} // namespace

TEST(ScreenCoordinates, ModelHangsFromThePrimaryScreensBottomLeftCornerAndRoundTripsExactly)
{
    EXPECT_EQ(twoScreens.toModel(QRectF(100, 50, 1920, 1080)), QRectF(0, 0, 1920, 1080));
    // The left screen's top is 200 points above the primary's; y grows upwards in the model.
    EXPECT_EQ(twoScreens.toModel(QRectF(-1180, -150, 1280, 1024)), QRectF(-1280, 256, 1280, 1024));
    EXPECT_EQ(twoScreens.toModel(QRectF(200, 60, 300, 100)), QRectF(100, 970, 300, 100)) << "10 points below the top";
    EXPECT_EQ(twoScreens.toModel(QPointF(100, 50 + 1080)), QPointF(0, 0));
    for (const QRectF rect : {QRectF(0.25, -3.5, 10.125, 7.75), QRectF(-1000, 900, 333.3, 0.1)}) {
        EXPECT_EQ(twoScreens.toModel(twoScreens.toQt(rect)), rect);
        EXPECT_EQ(twoScreens.toQt(twoScreens.toModel(rect)), rect);
    }
}

TEST(ScreenCoordinates, NativePixelsScaleByTheScreenThatHoldsThem)
{
    // The scaled screen keeps its Qt top-left corner and doubles its size in pixels.
    EXPECT_EQ(twoScreens.nativeGeometry(1), QRectF(-1180, -150, 2560, 2048));
    EXPECT_EQ(twoScreens.nativeToQt(QRectF(-1180 + 200, -150 + 100, 400, 60)), QRectF(-1080, -100, 200, 30));
    EXPECT_EQ(twoScreens.nativeToQt(QRectF(300, 300, 40, 40)), QRectF(300, 300, 40, 40)) << "scale 1: pixels are points";
    EXPECT_EQ(twoScreens.nativeGeometry(5), QRectF());
}

TEST(ScreenCoordinates, APointOnTheEdgeTwoScreensShareBelongsToTheRightHandOne)
{
    // A screen at scale 2 (2560 x 1600 pixels) with one at scale 1 on its right, from pixel 2560.
    const ScreenCoordinates sideBySide({{QRectF(0, 0, 1280, 800), 2.0}, {QRectF(2560, 0, 1920, 1080), 1.0}});
    EXPECT_EQ(sideBySide.nativeToQt(QPointF(2560, 100)), QPointF(2560, 100));
    EXPECT_EQ(sideBySide.nativeToQt(QPointF(2559, 100)), QPointF(1279.5, 50));
    EXPECT_EQ(sideBySide.nativeToQt(QRectF(2540, 100, 40, 40)), QRectF(2540, 100, 40, 40)) << "its centre is on the edge";
    EXPECT_EQ(sideBySide.qtToNative(QRectF(2540, 100, 40, 40)), QRectF(2540, 100, 40, 40));
    EXPECT_EQ(sideBySide.modelToNative(sideBySide.nativeToModel(QRectF(200, 300, 64, 32))), QRectF(200, 300, 64, 32));
}

TEST(CutFromFrozenScreens, AWindowInsideAScreenIsItsPixelsAndWhatLiesOffEveryScreenIsTransparent)
{
    const FrozenScreen screen = frozen(QRectF(0, 0, 400, 300), 1.0, 1);
    // (50, 200) from the bottom-left, 100 x 60: image rows 300 - 260 = 40 to 100.
    const QImage inside = cutFromFrozenScreens(QRectF(50, 200, 100, 60), 1.0, {screen});
    ASSERT_EQ(inside.size(), QSize(100, 60));
    EXPECT_EQ(inside.convertToFormat(QImage::Format_RGB32), screen.image.copy(50, 40, 100, 60));

    const QImage overhanging = cutFromFrozenScreens(QRectF(350, 10, 100, 40), 1.0, {screen});
    ASSERT_EQ(overhanging.size(), QSize(100, 40));
    EXPECT_EQ(overhanging.pixel(10, 10), screen.image.pixel(360, 260));
    EXPECT_EQ(qAlpha(overhanging.pixel(60, 10)), 0);
}

TEST(CutFromFrozenScreens, EachPartComesFromTheScreenThatShowsItAtTheRequestedScale)
{
    const FrozenScreen left = frozen(QRectF(-200, 0, 200, 300), 2.0, 3);
    const FrozenScreen main = frozen(QRectF(0, 0, 400, 300), 2.0, 4);
    const QImage cut = cutFromFrozenScreens(QRectF(-20, 100, 100, 50), 2.0, {left, main});
    ASSERT_EQ(cut.size(), QSize(200, 100));
    // The part on the main screen is main's pixels: point x 0 is pixel 40 of the cut; the part
    // on the left screen is the left screen's, with no transparent hole between them.
    EXPECT_EQ(cut.pixel(40, 0), main.image.pixel(0, (300 - 150) * 2));
    EXPECT_EQ(cut.pixel(39, 0), left.image.pixel((200 - 1) * 2 + 1, (300 - 150) * 2));
    EXPECT_EQ(cut.pixel(0, 99), left.image.pixel(180 * 2, (300 - 100) * 2 - 1));
    for (int x = 0; x < cut.width(); ++x)
        ASSERT_EQ(qAlpha(cut.pixel(x, 50)), 255) << "column " << x;
    EXPECT_TRUE(cutFromFrozenScreens(QRectF(1000, 1000, 10, 10), 1.0, {left, main}).isNull());
}

TEST(CutFromFrozenScreens, AnImagePastTheImageLimitsIsNeverMade)
{
    const FrozenScreen screen = frozen(QRectF(0, 0, 400, 300), 1.0, 5);
    EXPECT_EQ(windowPixelSize(QRectF(0, 0, 16000, 2500), 1.0), QSize(16000, 2500));
    EXPECT_TRUE(windowPixelSize(QRectF(0, 0, 16000, 2501), 1.0).isEmpty()) << "40,000,000 pixels at most";
    EXPECT_TRUE(windowPixelSize(QRectF(0, 0, 8001, 100), 2.0).isEmpty()) << "16,000 pixels a side at most";
    EXPECT_TRUE(windowPixelSize(QRectF(0, 0, 3e9, 3e9), 2.0).isEmpty());
    EXPECT_TRUE(cutFromFrozenScreens(QRectF(0, 0, 9000, 5000), 1.0, {screen}).isNull());
}
