#include "NativeAppAppearance/NativeMenuRow.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPainter>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

namespace {
QImage render(const NativeMenuRow::Look &look, Appearance appearance = Appearance::light)
{
    QImage image(look.size.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    NativeMenuRow::paint(painter, look, appearance);
    return image;
}

// Leftmost column (from the right edge inwards) holding any drawing in the right half.
int rightmostInk(const QImage &image)
{
    for (int x = image.width() - 1; x >= image.width() / 2; --x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y).alpha() > 0)
                return x;
    return -1;
}
} // namespace

TEST(NativeMenuRow, ReadsTitleStateAndShortcutFromItsAction)
{
    QAction action(QStringLiteral("&Save\tignored"));
    action.setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    action.setCheckable(true);
    action.setChecked(true);
    NativeMenuRow row(&action, false, {});
    row.resize(260, 34);
    const auto look = row.look();
    EXPECT_EQ(look.title, QStringLiteral("Save"));
    EXPECT_EQ(look.shortcut, QStringLiteral("Ctrl+Shift+S"));
    EXPECT_TRUE(look.checked);
    EXPECT_FALSE(look.hasSubmenu);
    EXPECT_EQ(NativeMenuRow::displayTitle(nullptr), QString());
    QAction amp(QStringLiteral("A && B"));
    EXPECT_EQ(NativeMenuRow::displayTitle(&amp), QStringLiteral("A & B"));
}

TEST(NativeMenuRow, ASubmenuRowShowsOnlyTheChevron)
{
    NativeMenuRow::Look look;
    look.size = {260, 34};
    look.title = QStringLiteral("分享");
    look.hasSubmenu = true;
    const QImage chevronOnly = render(look);
    look.shortcut = QStringLiteral("Ctrl+Shift+S");
    EXPECT_EQ(render(look), chevronOnly);
    // The chevron ends inside x = W − 23 + 9.
    EXPECT_LE(rightmostInk(chevronOnly), 260 - 23 + 9);
    EXPECT_GE(rightmostInk(chevronOnly), 260 - 23);
}

TEST(NativeMenuRow, ShortcutIsRightAlignedTwelvePointsFromTheEdge)
{
    NativeMenuRow::Look look;
    look.size = {300, 34};
    look.title = QStringLiteral("存储");
    look.shortcut = QStringLiteral("Ctrl+Shift+S");
    const int ink = rightmostInk(render(look));
    EXPECT_GE(ink, 300 - 12 - 3);
    EXPECT_LE(ink, 300 - 12);
}

TEST(NativeMenuRow, HighlightOnlyForEnabledRowsAndDisabledIconsFade)
{
    NativeMenuRow::Look look;
    look.size = {260, 34};
    look.highlighted = true;
    const QPoint veil(3, 3);
    EXPECT_NEAR(render(look).pixelColor(veil).alphaF(), 0.14, 0.01);
    look.enabled = false;
    EXPECT_EQ(render(look).pixelColor(veil).alpha(), 0);

    QImage square(15, 15, QImage::Format_ARGB32);
    square.fill(Qt::red);
    look.icon = QIcon(QPixmap::fromImage(square));
    EXPECT_NEAR(render(look).pixelColor(17, 17).alphaF(), 0.35, 0.02);
    look.enabled = true;
    look.highlighted = false;
    EXPECT_NEAR(render(look).pixelColor(17, 17).alphaF(), 1.0, 0.01);
}

TEST(NativeMenuRow, ADisabledRowNeitherHighlightsNorChooses)
{
    QAction action(QStringLiteral("不可用"));
    action.setEnabled(false);
    int chosen = 0;
    NativeMenuRow row(&action, false, [&](QAction *) { ++chosen; });
    row.pointerEntered();
    EXPECT_FALSE(row.isMenuHighlighted());
    row.activate();
    row.click();
    EXPECT_EQ(chosen, 0);
    action.setEnabled(true);
    NativeMenuRow live(&action, false, [&](QAction *item) { chosen += item == &action ? 1 : 100; });
    live.click();
    EXPECT_EQ(chosen, 1);
}

TEST(NativeMenuRow, OutlivesItsActionWithAPlainItemOfItsTitle)
{
    auto *action = new QAction(QStringLiteral("临时"));
    QAction *seen = nullptr;
    NativeMenuRow row(action, false, [&](QAction *item) { seen = item; });
    delete action;
    ASSERT_NE(row.item(), nullptr);
    EXPECT_EQ(row.item()->text(), QStringLiteral("临时"));
    row.activate();
    EXPECT_EQ(seen, row.item());
}
