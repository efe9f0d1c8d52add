#include "Kivaro/controls/KivaroModes.h"

#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include "Rendering.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace NativeAppAppearance;

namespace {
// The editor's mode control: one labelled segment and three symbol-only ones.
void configure(KivaroModes &modes)
{
    modes.setSegmentCount(4);
    const QStringList labels = {QStringLiteral("语音标注"), QString(), QString(), QString()};
    const QStringList symbols = {QStringLiteral("mic"), QStringLiteral("text.bubble"), QStringLiteral("cursorarrow"),
                                 QStringLiteral("square.grid.3x3.fill")};
    const QList<qreal> widths = {94, 34, 34, 34};
    for (int i = 0; i < 4; ++i) {
        modes.setLabel(i, labels.at(i));
        modes.setSymbol(i, symbols.at(i));
        modes.setWidth(i, widths.at(i));
    }
    modes.setSelectedSegment(2);
    modes.resize(modes.sizeHint());
}

QImage render(const KivaroModes::Look &look, Appearance appearance = Appearance::light)
{
    return canvas(look.size.toSize(), [&](QPainter &painter) { KivaroModes::paint(painter, look, appearance); });
}

QRect inked(const QImage &image, const QRect &within)
{
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (image.pixelColor(x, y).alpha() > 60)
                box |= QRect(x, y, 1, 1);
    return box;
}
} // namespace

TEST(KivaroModes, MeasuresTheSumOfItsSegmentsAndFindsThemByPoint)
{
    KivaroModes modes;
    configure(modes);
    EXPECT_EQ(modes.sizeHint(), QSize(196, 34));
    EXPECT_EQ(modes.segmentRect(1), QRectF(94, 0, 34, 34));
    EXPECT_EQ(modes.segmentAt(QPointF(10, 10)), 0);
    EXPECT_EQ(modes.segmentAt(QPointF(94, 10)), 1);
    EXPECT_EQ(modes.segmentAt(QPointF(195.5, 33)), 3);
    EXPECT_EQ(modes.segmentAt(QPointF(196, 10)), -1);

    KivaroModes empty;
    EXPECT_EQ(empty.sizeHint(), QSize(0, 34));
    empty.resize(10, 34);
    EXPECT_TRUE(inked(render(empty.look()), QRect(0, 0, 10, 34)).isNull());

    KivaroModes measured({QStringLiteral("截图"), QString()});
    const qreal label = std::ceil(NativeDrawing::textWidth(QStringLiteral("截图"), NativeFonts::system(12, QFont::Medium)));
    EXPECT_EQ(measured.effectiveWidth(0), label + 44);
    EXPECT_EQ(measured.effectiveWidth(1), 34);
}

TEST(KivaroModes, AClickSelectsAndActsButSettingIsSilent)
{
    KivaroModes modes;
    configure(modes);
    modes.show();
    QSignalSpy activated(&modes, &KivaroModes::activated);
    modes.setSelectedSegment(1);
    EXPECT_EQ(activated.count(), 0);
    QTest::mouseClick(&modes, Qt::LeftButton, {}, QPoint(20, 17));
    EXPECT_EQ(modes.selectedSegment(), 0);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.first().first().toInt(), 0);
    // A press that leaves its segment before release is no click.
    QTest::mousePress(&modes, Qt::LeftButton, {}, QPoint(110, 17));
    QTest::mouseRelease(&modes, Qt::LeftButton, {}, QPoint(150, 17));
    EXPECT_EQ(activated.count(), 1);
    modes.setEnabled(false);
    modes.clickSegment(3);
    EXPECT_EQ(modes.selectedSegment(), 0);
    EXPECT_EQ(activated.count(), 1);
}

TEST(KivaroModes, SymbolCentredWithoutLabelAndLeadingWithOne)
{
    KivaroModes modes;
    configure(modes);
    modes.setSelectedSegment(-1);
    const QImage image = render(modes.look());
    const QRect icon = inked(image, QRect(94, 0, 34, 34));
    ASSERT_FALSE(icon.isNull());
    EXPECT_NEAR(icon.center().x(), 94 + 17, 1.5);
    const QRect mic = inked(image, QRect(0, 0, 30, 34));
    ASSERT_FALSE(mic.isNull());
    EXPECT_GE(mic.left(), 10);
    EXPECT_LE(mic.right(), 26);
    EXPECT_FALSE(inked(image, QRect(32, 0, 40, 34)).isNull()); // the label from x 32
}

TEST(KivaroModes, SelectedSegmentHasTheAccentVeilAndColours)
{
    KivaroModes modes;
    configure(modes);
    const QImage image = render(modes.look(), Appearance::dark);
    const QColor veil = image.pixelColor(128 + 17, 3);
    EXPECT_NEAR(veil.alphaF(), 0.13, 0.01);
    EXPECT_EQ(image.pixelColor(94 + 4, 4).alpha(), 0);

    const auto strongest = [](const QImage &image, const QRect &area) {
        double alpha = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                alpha = qMax(alpha, double(image.pixelColor(x, y).alphaF()));
        return alpha;
    };
    const QRect selectedIcon(128 + 9, 9, 16, 16);
    EXPECT_GT(strongest(image, selectedIcon), 0.9); // the accent symbol
    auto look = modes.look();
    look.enabled = false;
    const QImage disabled = render(look, Appearance::dark);
    // Disabled text colour (alpha 0.25) over the 0.13 veil.
    EXPECT_LT(strongest(disabled, selectedIcon), 0.4);
}
