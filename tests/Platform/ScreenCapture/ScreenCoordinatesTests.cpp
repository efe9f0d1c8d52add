#include "Platform/ScreenCapture/InProcessScreenSource.h"
#include "Platform/ScreenCapture/ScreenCoordinates.h"

#include <gtest/gtest.h>

using Platform::ScreenCoordinates;

namespace {
// A primary 1920 x 1080 screen at Qt (100, 50) with a 1280 x 1024 screen at scale 2 on its left
// whose top is 200 points higher.
ScreenCoordinates twoScreens()
{
    return ScreenCoordinates({{QRectF(100, 50, 1920, 1080), 1.0}, {QRectF(-1180, -150, 1280, 1024), 2.0}});
}
} // namespace

TEST(ScreenCoordinates, ModelHangsFromThePrimaryScreensBottomLeftCorner)
{
    const ScreenCoordinates coordinates = twoScreens();
    EXPECT_EQ(coordinates.toModel(QRectF(100, 50, 1920, 1080)), QRectF(0, 0, 1920, 1080));
    // The left screen's top is 200 points above the primary's; y grows upwards in the model.
    EXPECT_EQ(coordinates.toModel(QRectF(-1180, -150, 1280, 1024)), QRectF(-1280, 256, 1280, 1024));
    // A window 10 points below the primary's top edge.
    EXPECT_EQ(coordinates.toModel(QRectF(200, 60, 300, 100)), QRectF(100, 970, 300, 100));
    EXPECT_EQ(coordinates.toModel(QPointF(100, 50 + 1080)), QPointF(0, 0));
}

TEST(ScreenCoordinates, ConversionsRoundTripExactly)
{
    const ScreenCoordinates coordinates = twoScreens();
    for (const QRectF rect : {QRectF(0.25, -3.5, 10.125, 7.75), QRectF(-1000, 900, 333.3, 0.1)}) {
        EXPECT_EQ(coordinates.toModel(coordinates.toQt(rect)), rect);
        EXPECT_EQ(coordinates.toQt(coordinates.toModel(rect)), rect);
    }
    EXPECT_EQ(coordinates.toQt(coordinates.toModel(QPointF(-7.5, 12.25))), QPointF(-7.5, 12.25));
}

TEST(ScreenCoordinates, NativePixelsScaleByTheScreenThatHoldsThem)
{
    const ScreenCoordinates coordinates = twoScreens();
    // The scaled screen keeps its Qt top-left corner and doubles its size in pixels.
    EXPECT_EQ(coordinates.nativeGeometry(1), QRectF(-1180, -150, 2560, 2048));
    EXPECT_EQ(coordinates.nativeToQt(QRectF(-1180 + 200, -150 + 100, 400, 60)), QRectF(-1080, -100, 200, 30));
    // On the primary screen (scale 1) native pixels are Qt points.
    EXPECT_EQ(coordinates.nativeToQt(QRectF(300, 300, 40, 40)), QRectF(300, 300, 40, 40));
    EXPECT_EQ(coordinates.nativeGeometry(5), QRectF());
}

TEST(InProcessScreenSource, LaysTheFixtureOutLikeADesktop)
{
    Platform::InProcessScreenSource source;
    source.setScreens({{{QStringLiteral("main"), QRectF(0, 0, 800, 600), 1.0}, QImage()},
                       {{QStringLiteral("left"), QRectF(-640, 100, 640, 480), 2.0}, QImage()}});
    const ScreenCoordinates coordinates = source.coordinates();
    EXPECT_EQ(coordinates.toQt(QRectF(0, 0, 800, 600)), QRectF(0, 0, 800, 600));
    EXPECT_EQ(coordinates.toQt(QRectF(-640, 100, 640, 480)), QRectF(-640, 20, 640, 480));
    EXPECT_EQ(coordinates.screens().at(1).scale, 2.0);
}
