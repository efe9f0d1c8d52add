#include "NativeAppAppearance/NativeCircularProgress.h"
#include "NativeAppAppearance/NativeCircularProgressStyle.h"
#include "NativeAppAppearance/NativeSoftButton.h"

#include "Support/TaskTesting.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

namespace {
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

    NativeSoftButton button(QStringLiteral("检查更新"), Qt::red);
    const QSizeF size = button.style().sizeFor(button.text());
    EXPECT_EQ(button.sizeHint(), QSize(int(std::ceil(size.width())), int(std::ceil(size.height()))));
}

TEST(NativeCircularProgress, FixedSizeStillUntilShownThenTurning)
{
    NativeCircularProgress spinner;
    spinner.resize(100, 100);
    EXPECT_EQ(spinner.size(), QSize(12, 12));
    EXPECT_FALSE(spinner.isRotating());
    spinner.show();
    EXPECT_TRUE(spinner.isRotating());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return spinner.rotation() > 10; }, 2000));

    QImage image(12, 12, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    NativeCircularProgressStyle::paint(painter, 0, Appearance::dark);
    painter.end();
    // The arc starts a twentieth of a turn below three o'clock and leaves a gap above it.
    EXPECT_GT(image.pixelColor(6, 10).alpha(), 0);  // bottom of the circle
    EXPECT_EQ(image.pixelColor(10, 3).alpha(), 0);  // in the gap (0.8 … 1.05 of a turn)
}
