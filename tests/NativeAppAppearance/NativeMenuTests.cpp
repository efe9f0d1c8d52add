#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/internal/MenuPopover.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

namespace {
QImage render(const NativeMenuRow::Look &look)
{
    QImage image(look.size.toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    NativeMenuRow::paint(painter, look, Appearance::light);
    return image;
}

// The rightmost column of the right half that holds any drawing.
int rightmostInk(const QImage &image)
{
    for (int x = image.width() - 1; x >= image.width() / 2; --x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixelColor(x, y).alpha() > 0)
                return x;
    return -1;
}

NativeMenuRow::Look look(qreal width, const QString &title, const QString &shortcut = {})
{
    NativeMenuRow::Look look;
    look.size = {width, 34};
    look.title = title;
    look.shortcut = shortcut;
    return look;
}

constexpr int escape = 53, down = 125, up = 126, left = 123, right = 124, returnKey = 36, space = 49;

// A menu of 甲, (disabled) 乙, separator, 丙, a hidden item, and 更多 with a submenu of 子一 and 子二.
class NativeMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        anchor.setGeometry(200, 200, 120, 30);
        anchor.show();
        menu.addAction(QStringLiteral("甲"));
        menu.addAction(QStringLiteral("乙"))->setEnabled(false);
        menu.addSeparator();
        c = menu.addAction(QStringLiteral("丙"));
        menu.addAction(QStringLiteral("隐藏"))->setVisible(false);
        submenu.setTitle(QStringLiteral("更多"));
        x = submenu.addAction(QStringLiteral("子一"));
        submenu.addAction(QStringLiteral("子二"));
        menu.addMenu(&submenu);
    }
    void TearDown() override { NativeMenu::shared().close(); }

    MenuContentView *open(QMenu *which, QAction *selected = nullptr)
    {
        NativeMenu::shared().show(which, &anchor, selected, [this] { ++dismissals; });
        return NativeMenu::shared().contentView();
    }
    static MenuContentView *view() { return NativeMenu::shared().contentView(); }

    QPushButton anchor;
    QMenu menu;
    QMenu submenu;
    QAction *c = nullptr, *x = nullptr;
    int dismissals = 0;
};
} // namespace

TEST_F(NativeMenuTest, RowsSkipSeparatorsAndHiddenItemsAndWidthStaysWithinLimits)
{
    MenuContentView content(&menu, nullptr, {}, {});
    ASSERT_EQ(content.rows().size(), 4);
    EXPECT_EQ(content.width(), 240);
    EXPECT_EQ(content.rows().at(2)->geometry(), QRect(8, 8 + 2 * 34 + 12, 224, 34)); // below the separator

    QMenu empty;
    EXPECT_EQ(MenuContentView(&empty, nullptr, {}, {}).size(), QSize(240, 16));
    QMenu wide;
    wide.addAction(QString(80, QChar(0x5BBD)));
    wide.addAction(QString(90, QLatin1Char('W')));
    EXPECT_EQ(MenuContentView(&wide, nullptr, {}, {}).width(), 420);
}

TEST_F(NativeMenuTest, ArrowsWrapAroundAndSkipDisabledRows)
{
    MenuContentView *content = open(&menu);
    const std::vector<std::pair<int, int>> steps = {{down, 0}, {down, 2}, {down, 3}, {down, 0}, {up, 3}};
    for (const auto &[key, expected] : steps) {
        content->keyDown(key);
        EXPECT_EQ(content->focused(), expected);
    }
    EXPECT_FALSE(content->rows().at(0)->isMenuHighlighted());
    MenuContentView fresh(&menu, nullptr, {}, {});
    fresh.keyDown(up);
    EXPECT_EQ(fresh.focused(), 3) << "Up with nothing focused takes the last enabled row";
}

TEST_F(NativeMenuTest, AMenuOfDisabledRowsIgnoresEveryKeyButEscape)
{
    QMenu disabled;
    QAction *only = disabled.addAction(QStringLiteral("不可用"));
    only->setEnabled(false);
    QSignalSpy triggered(only, &QAction::triggered);
    MenuContentView *content = open(&disabled);
    for (int key : {down, up, left, right, returnKey, space, 0})
        EXPECT_TRUE(content->keyDown(key));
    EXPECT_EQ(content->focused(), -1);
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    content->keyDown(escape);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(triggered.count(), 0);
}

TEST_F(NativeMenuTest, SubmenusOpenInPlaceLeftGoesBackAndALeafClosesBeforeItTriggers)
{
    bool openWhileTriggered = true;
    int triggers = 0;
    QObject::connect(x, &QAction::triggered, [&] {
        ++triggers;
        openWhileTriggered = NativeMenu::shared().isOpen();
    });
    MenuContentView *root = open(&menu);
    root->focus(3);
    root->keyDown(right);
    ASSERT_NE(view(), root);
    EXPECT_EQ(NativeMenu::shared().menuStack(), (QList<QMenu *>{&menu, &submenu}));
    EXPECT_TRUE(view()->hasFocus() || view()->window()->focusWidget() == view());
    view()->keyDown(left);
    EXPECT_EQ(view()->menu(), &menu);
    EXPECT_EQ(view()->focused(), -1) << "the parent comes back with no row focused";

    view()->focus(3);
    view()->keyDown(returnKey);
    view()->keyDown(down);
    view()->keyDown(space); // 子一
    EXPECT_EQ(triggers, 1);
    EXPECT_FALSE(openWhileTriggered);
    EXPECT_EQ(dismissals, 0);
    open(&menu)->keyDown(left); // at the root Left closes
    EXPECT_TRUE(NativeMenu::shared().menuStack().isEmpty());
    EXPECT_EQ(dismissals, 1);
}

TEST_F(NativeMenuTest, TheSelectedOrHoveredRowIsFocusedAndReturnActivatesIt)
{
    QSignalSpy triggered(c, &QAction::triggered);
    MenuContentView *content = open(&menu, c);
    EXPECT_EQ(content->focused(), 2);
    EXPECT_TRUE(content->rows().at(2)->isSelected());
    EXPECT_TRUE(content->rows().at(2)->isMenuHighlighted());
    content->keyDown(returnKey);
    EXPECT_EQ(triggered.count(), 1);

    content = open(&menu);
    content->rows().at(1)->pointerEntered(); // disabled
    EXPECT_EQ(content->focused(), -1);
    content->rows().at(2)->pointerEntered();
    content->rows().at(2)->pointerExited();
    EXPECT_FALSE(content->rows().at(2)->isMenuHighlighted());
    content->keyDown(returnKey); // leaving the row kept its focus
    EXPECT_EQ(triggered.count(), 2);
    EXPECT_EQ(dismissals, 0);
}

TEST_F(NativeMenuTest, AnotherShowOrAWindowSystemCloseDismissesOnce)
{
    QMenu second;
    second.addAction(QStringLiteral("别的"));
    bool firstGoneBeforeSecond = false;
    NativeMenu::shared().show(&menu, &anchor, nullptr, [&] {
        ++dismissals;
        firstGoneBeforeSecond = view() == nullptr;
    });
    open(&second);
    EXPECT_EQ(dismissals, 1);
    EXPECT_TRUE(firstGoneBeforeSecond);
    EXPECT_EQ(view()->menu(), &second);
    NativeMenu::shared().popover()->close(); // as a click outside the popup does
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    NativeMenu::shared().close();
    QCoreApplication::processEvents();
    EXPECT_EQ(dismissals, 2);
}

TEST_F(NativeMenuTest, APopoverWithoutAFocusChildHandsKeysToItsContentOnce)
{
    open(&menu);
    view()->clearFocus();
    QKeyEvent unknown(QEvent::KeyPress, Qt::Key_F13, Qt::NoModifier);
    QCoreApplication::sendEvent(NativeMenu::shared().popover(), &unknown); // the content leaves it unhandled
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    QKeyEvent arrow(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(NativeMenu::shared().popover(), &arrow);
    EXPECT_EQ(view()->focused(), 0);
}

TEST(MenuPopoverPlacement, SitsBelowTheAnchorCentredAndInsideTheScreen)
{
    const QRect screen(0, 0, 1000, 800);
    EXPECT_EQ(MenuPopover::origin(QRect(400, 100, 200, 30), QSize(240, 200), screen), QPoint(380, 136));
    EXPECT_EQ(MenuPopover::origin(QRect(0, 100, 40, 30), QSize(240, 200), screen).x(), 0);
    EXPECT_EQ(MenuPopover::origin(QRect(960, 100, 40, 30), QSize(240, 200), screen).x(), 760);
    EXPECT_EQ(MenuPopover::origin(QRect(400, 700, 200, 30), QSize(240, 200), screen).y(), 700 - 6 - 200) << "no room below";
}

TEST(NativeMenuRow, ASubmenuRowShowsOnlyTheChevronAndAShortcutSitsTwelveFromTheEdge)
{
    NativeMenuRow::Look submenu = look(260, QStringLiteral("分享"));
    submenu.hasSubmenu = true;
    const QImage chevronOnly = render(submenu);
    submenu.shortcut = QStringLiteral("Ctrl+Shift+S");
    EXPECT_EQ(render(submenu), chevronOnly);
    EXPECT_GT(rightmostInk(chevronOnly), 260 - 23) << "the chevron is drawn";

    const int ink = rightmostInk(render(look(300, QStringLiteral("存储"), QStringLiteral("Ctrl+Shift+S"))));
    EXPECT_GE(ink, 300 - 12 - 3);
    EXPECT_LE(ink, 300 - 12);

    // A long title is cut short of a long shortcut.
    const QImage crowded = render(look(260, QString(40, QChar(0x957F)), QStringLiteral("Ctrl+Shift+Z")));
    const int shortcutLeft = int(260 - 12 - NativeDrawing::textWidth(QStringLiteral("Ctrl+Shift+Z"), NativeFonts::system(11)));
    for (int x = shortcutLeft - 8; x < shortcutLeft - 1; ++x)
        for (int y = 0; y < crowded.height(); ++y)
            ASSERT_EQ(crowded.pixelColor(x, y).alpha(), 0) << x;
}

TEST(NativeMenuRow, HighlightOnlyForEnabledRowsAndDisabledIconsFade)
{
    NativeMenuRow::Look row = look(260, {});
    row.highlighted = true;
    EXPECT_NEAR(render(row).pixelColor(3, 3).alphaF(), 0.14, 0.01);
    row.enabled = false;
    EXPECT_EQ(render(row).pixelColor(3, 3).alpha(), 0);

    QImage square(15, 15, QImage::Format_ARGB32);
    square.fill(Qt::red);
    row.icon = QIcon(QPixmap::fromImage(square));
    EXPECT_NEAR(render(row).pixelColor(17, 17).alphaF(), 0.35, 0.02);
    row.enabled = true;
    EXPECT_NEAR(render(row).pixelColor(17, 17).alphaF(), 1.0, 0.01);
}

TEST(NativeMenuRow, ADisabledRowNeitherHighlightsNorChooses)
{
    QAction action(QStringLiteral("不可用"));
    action.setEnabled(false);
    int chosen = 0;
    NativeMenuRow row(&action, false, [&](QAction *item) { chosen += item == &action ? 1 : 100; });
    row.pointerEntered();
    EXPECT_FALSE(row.isMenuHighlighted());
    row.activate();
    row.click();
    EXPECT_EQ(chosen, 0);
    action.setEnabled(true);
    NativeMenuRow(&action, false, [&](QAction *item) { chosen += item == &action ? 1 : 100; }).click();
    EXPECT_EQ(chosen, 1);
}

TEST(NativeMenuRow, ReadsItsTitleWithoutMnemonicsAndOutlivesItsAction)
{
    auto *action = new QAction(QStringLiteral("&Save && 临时"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    QAction *seen = nullptr;
    NativeMenuRow row(action, false, [&](QAction *item) { seen = item; });
    EXPECT_EQ(row.look().title, QStringLiteral("Save & 临时"));
    EXPECT_EQ(row.look().shortcut, QStringLiteral("Ctrl+Shift+S"));
    action->setText(QStringLiteral("&Keep && 存档"));
    delete action;
    ASSERT_NE(row.item(), nullptr);
    EXPECT_EQ(row.look().title, QStringLiteral("Keep & 存档")) << "the last title, its literal & kept";
    row.activate();
    EXPECT_EQ(seen, row.item());
}
