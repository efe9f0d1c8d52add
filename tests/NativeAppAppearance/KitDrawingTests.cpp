#include "NativeAppAppearance/NativeCircularProgress.h"
#include "NativeAppAppearance/NativeCircularProgressStyle.h"
#include "NativeAppAppearance/NativeIconRecoloring.h"
#include "NativeAppAppearance/NativeSoftButtonStyle.h"

#include "Support/TaskTesting.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;
using NativeIconRecoloring::replacingDominantHue;

namespace {
// The one pixel of a 1 × 1 icon after recolouring.
QColor recoloured(const QColor &pixel, double baseHue, const QColor &target)
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixelColor(0, 0, pixel);
    return replacingDominantHue(image, baseHue, target, 1).pixelColor(0, 0);
}
QImage softButton(bool pressed, bool enabled, const QColor &accent = QColor(32, 107, 174))
{
    const NativeSoftButtonStyle style{accent};
    const QSizeF size = style.sizeFor(QStringLiteral("检查更新"));
    QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    style.paint(painter, size, QStringLiteral("检查更新"), pressed, enabled, Appearance::light);
    return image;
}
} // namespace

TEST(NativeIconRecoloring, LeavesTransparentGreyAndFarPixelsAlone)
{
    const QColor target = QColor::fromRgbF(0.125f, 0.42f, 0.682f);
    // A hue 0.25 of a turn from the base stays; 0.2 away moves.
    for (const QColor &kept : {QColor::fromRgb(255, 0, 0, 2), QColor(90, 90, 90), QColor::fromHsvF(0.25f, 1, 1)})
        EXPECT_EQ(recoloured(kept, 0.0, target).rgba(), kept.rgba()) << kept.name(QColor::HexArgb).toStdString();
    EXPECT_NE(recoloured(QColor::fromHsvF(0.2f, 1, 1), 0.0, target).rgb(), QColor::fromHsvF(0.2f, 1, 1).rgb());
}

TEST(NativeIconRecoloring, MovesTheBaseHueOntoTheTargetKeepingValue)
{
    const QColor target = QColor::fromHsvF(0.6f, 0.9f, 0.7f);
    const QColor moved = recoloured(QColor::fromHsvF(0.0f, 0.8f, 0.6f), 0.0, target);
    EXPECT_NEAR(moved.hsvHueF(), 0.6, 0.01);
    EXPECT_NEAR(moved.valueF(), 0.6, 0.01);
    EXPECT_NEAR(moved.hsvSaturationF(), std::max(0.82 * 0.8, 0.72 * 0.9), 0.01);
    // Base 0.98 and a pixel at 0.02 are 0.04 apart (the distance wraps): it moves to target + 0.18 × 0.04.
    EXPECT_NEAR(recoloured(QColor::fromHsvF(0.02f, 1, 1), 0.98, target).hsvHueF(), 0.6 + 0.18 * 0.04, 0.01);
    // A pale target leaves 0.82 of a pixel's saturation; a strong one lifts a pale pixel to 0.72 of its own.
    EXPECT_NEAR(recoloured(QColor::fromHsvF(0.0f, 0.5f, 1), 0.0, QColor::fromHsvF(0.6f, 0.1f, 1)).hsvSaturationF(), 0.41, 0.01);
    EXPECT_NEAR(recoloured(QColor::fromHsvF(0.0f, 0.2f, 1), 0.0, QColor::fromHsvF(0.6f, 1, 1)).hsvSaturationF(), 0.72, 0.01);
}

TEST(NativeIconRecoloring, OutputSizeStretchAndFailures)
{
    QImage wide(40, 10, QImage::Format_ARGB32);
    wide.fill(QColor(200, 40, 40));
    const QImage square = replacingDominantHue(wide, 0.0, Qt::blue, 32);
    EXPECT_EQ(square.size(), QSize(32, 32));
    EXPECT_EQ(square.pixelColor(16, 0).alpha(), 255); // stretched over the whole square
    EXPECT_GT(square.pixelColor(16, 31).blue(), square.pixelColor(16, 31).red());

    const QImage source = wide;
    EXPECT_EQ(replacingDominantHue(source, 0.0, Qt::blue, 0).cacheKey(), source.cacheKey());
    EXPECT_EQ(replacingDominantHue(source, 0.0, Qt::blue, NativeIconRecoloring::maximumSize + 1).cacheKey(), source.cacheKey());
    EXPECT_TRUE(replacingDominantHue(QImage(), 0.0, Qt::blue, 16).isNull());
}

TEST(NativeSoftButtonStyle, TintStrokeAndDisabledOpacity)
{
    const QImage normal = softButton(false, true);
    EXPECT_NEAR(normal.pixelColor(4, normal.height() / 2).alphaF(), 0.10, 0.01);
    EXPECT_NEAR(softButton(true, true).pixelColor(4, normal.height() / 2).alphaF(), 0.16, 0.01);
    EXPECT_NEAR(softButton(false, false).pixelColor(4, normal.height() / 2).alphaF(), 0.05, 0.01);
    EXPECT_GT(normal.pixelColor(normal.width() / 2, 0).alphaF(), 0.2); // the outline
    // The label is the label colour (dark) whatever the accent.
    QImage red = softButton(false, true, Qt::red);
    int darkest = 255;
    for (int x = 14; x < red.width() - 14; ++x)
        darkest = qMin(darkest, red.pixelColor(x, red.height() / 2).red());
    EXPECT_LT(darkest, 120);
}

TEST(NativeCircularProgress, FixedSizeStillUntilShownThenTurningWhileShown)
{
    NativeCircularProgress spinner;
    spinner.resize(100, 100);
    EXPECT_EQ(spinner.size(), QSize(14, 14)) << "the 12-point circle and its stroke's outer half";
    EXPECT_FALSE(spinner.isRotating());
    spinner.show();
    EXPECT_TRUE(spinner.isRotating());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return spinner.rotation() > 10; }, 2000));
    spinner.hide();
    EXPECT_FALSE(spinner.isRotating()) << "a hidden spinner keeps no timer";
    spinner.show();
    EXPECT_TRUE(spinner.isRotating());

    QImage image(14, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    NativeCircularProgressStyle::paint(painter, 0, Appearance::dark);
    painter.end();
    // The circle is 12 points across, centred: its bottom passes through row 13 (7 + 6), its
    // stroke reaching a point beyond. The arc starts a twentieth of a turn below three o'clock
    // and leaves a gap above it.
    EXPECT_GT(image.pixelColor(7, 13).alpha(), 128); // bottom of the circle
    EXPECT_EQ(image.pixelColor(7, 7).alpha(), 0);    // its centre
    EXPECT_EQ(image.pixelColor(12, 3).alpha(), 0);   // in the gap (0.8 … 1.05 of a turn)
}
