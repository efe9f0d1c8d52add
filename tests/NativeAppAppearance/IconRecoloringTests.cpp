#include "NativeAppAppearance/NativeIconRecoloring.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;
using NativeIconRecoloring::replacingDominantHue;
using NativeIconRecoloring::rgbToHSV;

namespace {
QImage single(const QColor &color)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixelColor(0, 0, color);
    return image;
}
QColor only(const QImage &image)
{
    return image.pixelColor(0, 0);
}
} // namespace

TEST(NativeIconRecoloring, HueAndSaturation)
{
    EXPECT_DOUBLE_EQ(rgbToHSV(0.5, 0.5, 0.5).saturation, 0);
    EXPECT_DOUBLE_EQ(rgbToHSV(0.5, 0.5, 0.5).hue, 0);
    EXPECT_NEAR(rgbToHSV(1, 0, 0).hue, 0, 1e-9);
    EXPECT_NEAR(rgbToHSV(0, 1, 0).hue, 1.0 / 3, 1e-9);
    EXPECT_NEAR(rgbToHSV(0, 0, 1).hue, 2.0 / 3, 1e-9);
    EXPECT_NEAR(rgbToHSV(1, 0, 0.5).hue, 11.0 / 12, 1e-9); // negative raw hue wraps
    EXPECT_NEAR(rgbToHSV(1, 0.5, 0.5).saturation, 0.5, 1e-9);
}

TEST(NativeIconRecoloring, LeavesTransparentGreyAndFarPixelsAlone)
{
    const QColor target = QColor::fromRgbF(0.125f, 0.42f, 0.682f);
    QColor faint = QColor::fromRgb(255, 0, 0, 2);
    const QImage transparent = replacingDominantHue(single(faint), 0.0, target, 1);
    EXPECT_EQ(only(transparent).alpha(), 2);
    EXPECT_EQ(only(transparent).red(), 255);

    EXPECT_EQ(only(replacingDominantHue(single(QColor(90, 90, 90)), 0.0, target, 1)), QColor(90, 90, 90));
    // Saturated green is 1/3 of a turn from red; a hue 0.25 away stays too, 0.2 away moves.
    const QColor quarter = QColor::fromHsvF(0.25f, 1, 1);
    EXPECT_EQ(only(replacingDominantHue(single(quarter), 0.0, target, 1)).rgb(), quarter.rgb());
    const QColor near = QColor::fromHsvF(0.2f, 1, 1);
    EXPECT_NE(only(replacingDominantHue(single(near), 0.0, target, 1)).rgb(), near.rgb());
}

TEST(NativeIconRecoloring, MovesTheBaseHueOntoTheTargetKeepingValue)
{
    const QColor target = QColor::fromHsvF(0.6f, 0.9f, 0.7f);
    const QColor source = QColor::fromHsvF(0.0f, 0.8f, 0.6f);
    const QColor moved = only(replacingDominantHue(single(source), 0.0, target, 1));
    EXPECT_NEAR(moved.hsvHueF(), 0.6, 0.01);
    EXPECT_NEAR(moved.valueF(), 0.6, 0.01);
    EXPECT_NEAR(moved.hsvSaturationF(), std::max(0.82 * 0.8, 0.72 * 0.9), 0.01);

    // Wrapping distance: base 0.98, pixel at 0.02 is 0.04 away and moves to target + 0.18 × 0.04.
    const QColor wrapped = only(replacingDominantHue(single(QColor::fromHsvF(0.02f, 1, 1)), 0.98, target, 1));
    EXPECT_NEAR(wrapped.hsvHueF(), 0.6 + 0.18 * 0.04, 0.01);

    // A pale target still leaves 0.82 of the pixel's own saturation.
    const QColor pale = only(replacingDominantHue(single(QColor::fromHsvF(0.0f, 0.5f, 1)), 0.0, QColor::fromHsvF(0.6f, 0.1f, 1), 1));
    EXPECT_NEAR(pale.hsvSaturationF(), 0.41, 0.01);
    // A strong target lifts a pale pixel to 0.72 of its saturation.
    const QColor lifted = only(replacingDominantHue(single(QColor::fromHsvF(0.0f, 0.2f, 1)), 0.0, QColor::fromHsvF(0.6f, 1, 1), 1));
    EXPECT_NEAR(lifted.hsvSaturationF(), 0.72, 0.01);
}

TEST(NativeIconRecoloring, OutputSizeStretchAndFailures)
{
    QImage wide(40, 10, QImage::Format_ARGB32);
    wide.fill(QColor(200, 40, 40));
    const QImage square = replacingDominantHue(wide, 0.0, Qt::blue, 32);
    EXPECT_EQ(square.size(), QSize(32, 32));
    EXPECT_EQ(square.devicePixelRatio(), 1.0);
    EXPECT_EQ(square.pixelColor(16, 0).alpha(), 255); // stretched over the whole square
    EXPECT_GT(square.pixelColor(16, 31).blue(), square.pixelColor(16, 31).red());

    const QImage source = wide;
    EXPECT_EQ(replacingDominantHue(source, 0.0, Qt::blue, 0).cacheKey(), source.cacheKey());
    EXPECT_EQ(replacingDominantHue(source, 0.0, Qt::blue, -5).cacheKey(), source.cacheKey());
    EXPECT_EQ(replacingDominantHue(source, 0.0, Qt::blue, NativeIconRecoloring::maximumSize + 1).cacheKey(), source.cacheKey());
    EXPECT_TRUE(replacingDominantHue(QImage(), 0.0, Qt::blue, 16).isNull());
}
