#include "Kivaro/controls/KivaroScroller.h"
#include "Kivaro/controls/KivaroSeparator.h"
#include "Kivaro/controls/KivaroSurface.h"
#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/controls/KivaroTextLabel.h"

#include "NativeAppAppearance/AppearanceManager.h"

#include "Rendering.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppAppearance;

TEST(KivaroViews, SeparatorSurfaceAndRowDrawWithTheirColours)
{
    KivaroSeparator separator;
    separator.resize(1, 20);
    QImage hairline(separator.size(), QImage::Format_ARGB32_Premultiplied);
    hairline.fill(Qt::transparent);
    AppearanceManager::shared().setAppearance(&separator, Appearance::dark);
    separator.render(&hairline, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_NEAR(hairline.pixelColor(0, 10).alphaF(), resolve(DynamicColor::separator, Appearance::dark).alphaF(), 0.01);
    EXPECT_EQ(hairline.pixelColor(0, 10).rgb(), resolve(DynamicColor::separator, Appearance::dark).rgb());

    const QImage panel = canvas({100, 60}, [](QPainter &p) { KivaroSurface::paint(p, {100, 60}, 14, Appearance::light); });
    EXPECT_EQ(panel.pixelColor(50, 30).rgb(), resolve(DynamicColor::windowBackground, Appearance::light).rgb());
    EXPECT_EQ(panel.pixelColor(1, 1).alpha(), 0); // the rounded corner is clear
    EXPECT_LT(panel.pixelColor(50, 0).rgb() & 0xff, resolve(DynamicColor::windowBackground, Appearance::light).blue()); // outline

    const QRectF row(0, 0, 300, 44);
    const QImage rowImage = canvas({300, 44}, [&](QPainter &p) {
        KivaroTableRow::drawBackground(p, row, Appearance::light);
        KivaroTableRow::drawSelection(p, row, Appearance::light);
    });
    EXPECT_EQ(rowImage.pixelColor(4, 20).rgb(), resolve(DynamicColor::windowBackground, Appearance::light).rgb());
    EXPECT_NE(rowImage.pixelColor(150, 20).rgb(), resolve(DynamicColor::windowBackground, Appearance::light).rgb()); // selection
    EXPECT_EQ(rowImage.pixelColor(8, 43).rgb(), resolve(DynamicColor::windowBackground, Appearance::light).rgb());   // line starts at 16
    // The line is the separator colour at alpha 0.6 over the background, as "a colour at alpha a"
    // is everywhere in the kit (the alpha replaced, not multiplied).
    const QColor background = resolve(DynamicColor::windowBackground, Appearance::light);
    const QColor line = rowImage.pixelColor(20, 43);
    EXPECT_NEAR(line.red(), background.red() * 0.4, 1.5);
    EXPECT_NEAR(line.green(), background.green() * 0.4, 1.5);
}

TEST(KivaroTextLabel, WrapsIntoItsLinesAndElidesTheLast)
{
    const QFont font = KivaroTextLabel(QString(), QFont(), DynamicColor::label, 1).font();
    const QString longText = QStringLiteral("首次使用可能需要允许麦克风或下载语言模型，").repeated(6);
    const QStringList two = KivaroTextLabel::layoutLines(longText, font, 200, 2);
    ASSERT_EQ(two.size(), 2);
    EXPECT_TRUE(two[1].endsWith(QChar(0x2026)));
    EXPECT_EQ(KivaroTextLabel::layoutLines(QStringLiteral("短"), font, 200, 2), QStringList{QStringLiteral("短")});
    EXPECT_TRUE(KivaroTextLabel::layoutLines(QString(), font, 200, 2).isEmpty());
    EXPECT_EQ(KivaroTextLabel::layoutLines(longText, font, 200, 1).size(), 1);

    // Without a limit every line shows, none elided; a line feed starts a new line.
    const QStringList all = KivaroTextLabel::layoutLines(longText, font, 200, KivaroTextLabel::allLines);
    ASSERT_GT(all.size(), 2);
    for (const QString &line : all)
        EXPECT_FALSE(line.contains(QChar(0x2026)));
    EXPECT_EQ(KivaroTextLabel::layoutLines(QStringLiteral("one\ntwo"), font, 200, KivaroTextLabel::allLines),
              (QStringList{QStringLiteral("one"), QStringLiteral("two")}));

    KivaroTextLabel label(longText, font, DynamicColor::secondaryLabel, KivaroTextLabel::allLines);
    EXPECT_TRUE(label.hasHeightForWidth());
    EXPECT_EQ(label.heightForWidth(200), int(KivaroTextLabel::lineHeight(font) * all.size()));
    EXPECT_EQ(label.accessibleName(), longText);
    label.setWrapWidth(200);
    EXPECT_EQ(label.sizeHint(), QSize(200, label.heightForWidth(200)));
}

TEST(KivaroScroller, KnobIsProportionalOnlyTheKnobIsDrawnAndDraggingItScrolls)
{
    EXPECT_EQ(KivaroScroller::knobSpan(200, 0, 100, 100, 0), qMakePair(0, 100));
    EXPECT_EQ(KivaroScroller::knobSpan(200, 0, 100, 100, 100), qMakePair(100, 100));
    EXPECT_EQ(KivaroScroller::knobSpan(200, 0, 10000, 10, 5000).second, 24); // minimum length
    EXPECT_EQ(KivaroScroller::knobSpan(200, 0, 0, 10, 0), qMakePair(0, 0));

    KivaroScroller scroller;
    scroller.setRange(0, 100);
    scroller.setPageStep(100);
    scroller.resize(14, 200);
    scroller.setValue(50);
    EXPECT_EQ(scroller.knobRect(), QRect(0, 50, 14, 100));

    const QImage image = canvas({14, 200}, [&](QPainter &p) { KivaroScroller::paintKnob(p, scroller.knobRect(), Appearance::light); });
    EXPECT_EQ(image.pixelColor(7, 20).alpha(), 0);   // no track
    EXPECT_NEAR(image.pixelColor(7, 100).alphaF(), 0.45, 0.01);
    EXPECT_EQ(image.pixelColor(2, 100).alpha(), 0);  // inset 3 horizontally
    EXPECT_EQ(image.pixelColor(7, 51).alpha(), 0);   // inset 2 vertically

    // Dragging the knob scrolls by the same share of the range.
    scroller.setValue(0);
    scroller.show();
    QTest::mousePress(&scroller, Qt::LeftButton, {}, QPoint(7, 50));
    QTest::mouseMove(&scroller, QPoint(7, 100));
    QTest::mouseRelease(&scroller, Qt::LeftButton, {}, QPoint(7, 100));
    EXPECT_EQ(scroller.value(), 50);
    scroller.setRange(0, 0);
    EXPECT_TRUE(scroller.knobRect().isEmpty());
}
