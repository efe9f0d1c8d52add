#include "Platform/ScreenCapture/InProcessScreenSource.h"

#include "X11TestDisplay.h"

#include <gtest/gtest.h>

using namespace Platform;

namespace {
FrozenScreen frozen(QRectF frame, double scale, int seed)
{
    CaptureScreen screen{QStringLiteral("s"), frame, scale};
    return {screen, TestSupport::patternImage(screen.pixelSize(), seed)};
}
} // namespace

TEST(CutFromFrozenScreens, AWindowInsideAScreenIsItsPixels)
{
    const FrozenScreen screen = frozen(QRectF(0, 0, 400, 300), 1.0, 1);
    // (50, 200) from the bottom-left, 100 x 60: image rows 300 - 260 = 40 to 100.
    const QImage cut = cutFromFrozenScreens(QRectF(50, 200, 100, 60), 1.0, {screen});
    ASSERT_EQ(cut.size(), QSize(100, 60));
    EXPECT_EQ(cut.convertToFormat(QImage::Format_RGB32), screen.image.copy(50, 40, 100, 60));
}

TEST(CutFromFrozenScreens, WhatLiesOffEveryScreenIsTransparent)
{
    const FrozenScreen screen = frozen(QRectF(0, 0, 400, 300), 1.0, 2);
    const QImage cut = cutFromFrozenScreens(QRectF(350, 10, 100, 40), 1.0, {screen});
    ASSERT_EQ(cut.size(), QSize(100, 40));
    EXPECT_EQ(qAlpha(cut.pixel(10, 10)), 255);
    EXPECT_EQ(cut.pixel(10, 10), screen.image.pixel(360, 260));
    EXPECT_EQ(qAlpha(cut.pixel(60, 10)), 0);
}

TEST(CutFromFrozenScreens, TakesTheScreenSharingMostAreaAtTheRequestedScale)
{
    const FrozenScreen left = frozen(QRectF(-200, 0, 200, 300), 2.0, 3);
    const FrozenScreen main = frozen(QRectF(0, 0, 400, 300), 2.0, 4);
    const QImage cut = cutFromFrozenScreens(QRectF(-20, 100, 100, 50), 2.0, {left, main});
    ASSERT_EQ(cut.size(), QSize(200, 100));
    // The part on the main screen is main's pixels: point x 0 is pixel 40 of the cut.
    EXPECT_EQ(cut.pixel(40, 0), main.image.pixel(0, (300 - 150) * 2));
    EXPECT_EQ(qAlpha(cut.pixel(39, 0)), 0);
    EXPECT_TRUE(cutFromFrozenScreens(QRectF(1000, 1000, 10, 10), 1.0, {left, main}).isNull());
}

TEST(InProcessScreenSource, RecordsWhatACaptureAsks)
{
    InProcessScreenSource source;
    const FrozenScreen screen = frozen(QRectF(0, 0, 200, 100), 1.0, 5);
    source.setScreens({{screen.screen, screen.image}});
    source.setWindows({{7, QRectF(10, 10, 50, 50), 1}});
    source.setWindowImage(7, TestSupport::patternImage({100, 100}, 6));

    EXPECT_EQ(source.freeze(screen.screen), screen.image);
    EXPECT_EQ(source.freeze(CaptureScreen{QStringLiteral("gone"), QRectF(0, 0, 1, 1), 1.0}), QImage());
    EXPECT_EQ(source.freezeCount(), 2);
    EXPECT_EQ(source.windows().size(), 1);
    // The window's own image, at the asked scale; without one it is cut from the screens.
    EXPECT_EQ(source.windowImage(source.windows().first(), 2.0, {screen}).size(), QSize(100, 100));
    EXPECT_EQ(source.windowImage({8, QRectF(0, 0, 20, 20), 0}, 1.0, {screen}).size(), QSize(20, 20));
    ASSERT_EQ(source.windowImageRequests().size(), 2);
    EXPECT_EQ(source.windowImageRequests().first(), std::make_pair(std::uint32_t(7), 2.0));
}
