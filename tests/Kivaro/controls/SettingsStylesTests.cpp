#include "Kivaro/controls/KivaroFieldStyle.h"
#include "Kivaro/controls/KivaroLinkButton.h"
#include "Kivaro/controls/KivaroLinkStyle.h"
#include "Kivaro/controls/KivaroTabStyle.h"
#include "Kivaro/controls/KivaroToggle.h"
#include "Kivaro/controls/KivaroToggleStyle.h"

#include "KivaroCore/Localization.h"

#include "Rendering.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppAppearance;

TEST(KivaroTabStyle, AnUnselectedTabShowsNothingUntilPressed)
{
    const QSizeF size(120, 34);
    const auto at = [&](KivaroTabStyle style, bool pressed) {
        return canvas(size.toSize(), [&](QPainter &p) { style.paint(p, size, QString(), QString(), pressed, Appearance::light); });
    };
    EXPECT_EQ(at({false}, false).pixelColor(60, 17).alpha(), 0);
    EXPECT_EQ(at({false}, false).pixelColor(60, 0).alpha(), 0); // no border
    EXPECT_NEAR(at({false}, true).pixelColor(60, 17).alphaF(), 0.08, 0.01);
    EXPECT_NEAR(at({true}, false).pixelColor(60, 17).alphaF(), 0.13, 0.01);
    EXPECT_GT(at({true}, false).pixelColor(60, 0).alphaF(), 0.13); // outlined

}

TEST(KivaroToggleStyle, KnobSitsSevenPointsFromTheCentreAndTheWholeRowFlips)
{
    const QSizeF size(34, 20);
    const QImage on = canvas({34, 20}, [&](QPainter &p) { KivaroToggleStyle::paint(p, size, {}, true, true, Appearance::light); });
    EXPECT_EQ(on.pixelColor(24, 10).rgb(), QColor(Qt::white).rgb());
    EXPECT_EQ(on.pixelColor(6, 10).rgb(), resolve(DynamicColor::controlAccent, Appearance::light).rgb());
    const QImage off = canvas({34, 20}, [&](QPainter &p) { KivaroToggleStyle::paint(p, size, {}, false, true, Appearance::light); });
    EXPECT_EQ(off.pixelColor(10, 10).rgb(), QColor(Qt::white).rgb());
    EXPECT_NEAR(off.pixelColor(28, 10).alphaF(), 0.18, 0.01);

    Kivaro::StringTable::overrideLanguage(QStringLiteral("en"));
    KivaroToggle toggle(QStringLiteral("自动检查更新"));
    toggle.resize(toggle.sizeHint());
    toggle.show();
    EXPECT_EQ(toggle.accessibilityValue(), QStringLiteral("Off"));
    QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(toggle.width() - 3, toggle.height() / 2));
    EXPECT_TRUE(toggle.isChecked());
    EXPECT_EQ(toggle.accessibilityValue(), QStringLiteral("On"));
    EXPECT_EQ(toggle.accessibleDescription(), QStringLiteral("On"));
    Kivaro::StringTable::overrideLanguage(QString());
}

TEST(KivaroLinkAndFieldStyles, DrawPlainAccentTextAndAFramedField)
{
    const QSizeF size = KivaroLinkStyle::sizeFor(QStringLiteral("查看更新说明"));
    const auto draw = [&](bool pressed) {
        return canvas(size.toSize(), [&](QPainter &p) { KivaroLinkStyle::paint(p, size, QStringLiteral("查看更新说明"), pressed, Appearance::light); });
    };
    const QImage normal = draw(false);
    const QImage pressed = draw(true);
    int strongest = 0, strongestPressed = 0;
    for (int y = 0; y < normal.height(); ++y)
        for (int x = 0; x < normal.width(); ++x) {
            strongest = qMax(strongest, normal.pixelColor(x, y).alpha());
            strongestPressed = qMax(strongestPressed, pressed.pixelColor(x, y).alpha());
        }
    EXPECT_EQ(strongest, 255);
    EXPECT_NEAR(strongestPressed, 153, 2);
    EXPECT_EQ(normal.pixelColor(0, 0).alpha(), 0); // no background

    QLineEdit field;
    KivaroFieldStyle::apply(&field);
    KivaroFieldStyle::apply(&field);
    EXPECT_FALSE(field.hasFrame());
    field.resize(200, 36);
    QImage image(field.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    field.render(&image);
    EXPECT_NEAR(image.pixelColor(100, 2).alphaF(), 0.04, 0.01);
    EXPECT_GT(image.pixelColor(100, 0).alphaF(), 0.1);
}
