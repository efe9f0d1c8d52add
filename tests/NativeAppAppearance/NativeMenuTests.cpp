#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/internal/MenuPopover.h"

#include "Support/TaskTesting.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

namespace {
constexpr int escape = 53, down = 125, up = 126, left = 123, right = 124, returnKey = 36, space = 49;

class NativeMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        anchor.setGeometry(200, 200, 120, 30);
        anchor.show();
    }
    void TearDown() override { NativeMenu::shared().close(); }

    // A menu of: A, (disabled) B, separator, C, hidden D, E with a submenu of X and Y.
    void build()
    {
        a = menu.addAction(QStringLiteral("甲"));
        b = menu.addAction(QStringLiteral("乙"));
        b->setEnabled(false);
        menu.addSeparator();
        c = menu.addAction(QStringLiteral("丙"));
        QAction *hidden = menu.addAction(QStringLiteral("隐藏"));
        hidden->setVisible(false);
        submenu.setTitle(QStringLiteral("更多"));
        x = submenu.addAction(QStringLiteral("子一"));
        y = submenu.addAction(QStringLiteral("子二"));
        e = menu.addMenu(&submenu);
    }

    MenuContentView *view() const { return NativeMenu::shared().contentView(); }

    QPushButton anchor;
    QMenu menu;
    QMenu submenu;
    QAction *a = nullptr, *b = nullptr, *c = nullptr, *e = nullptr, *x = nullptr, *y = nullptr;
    int dismissals = 0;
    std::function<void()> countDismissal = [this] { ++dismissals; };
};
} // namespace

TEST_F(NativeMenuTest, ListsVisibleItemsAsRowsWithTheGivenGeometry)
{
    build();
    MenuContentView content(&menu, nullptr, {}, {});
    ASSERT_EQ(content.rows().size(), 4); // 甲 乙 丙 更多; the separator and the hidden item are no rows
    EXPECT_EQ(content.width(), 240);
    EXPECT_EQ(content.rows().at(0)->geometry(), QRect(8, 8, 224, 34));
    EXPECT_EQ(content.rows().at(1)->geometry(), QRect(8, 42, 224, 34));
    ASSERT_EQ(content.separators().size(), 1);
    EXPECT_EQ(content.separators().first(), QRectF(16, 76 + 5, 208, 1));
    EXPECT_EQ(content.rows().at(2)->geometry(), QRect(8, 88, 224, 34));
    EXPECT_EQ(content.height(), 8 + 4 * 34 + 12 + 8);
    EXPECT_EQ(content.focused(), -1);

    QMenu empty;
    MenuContentView nothing(&empty, nullptr, {}, {});
    EXPECT_EQ(nothing.size(), QSize(240, 16));

    QMenu wide;
    wide.addAction(QString(80, QChar(0x5BBD)));
    wide.addAction(QString(90, QLatin1Char('W')));
    EXPECT_EQ(MenuContentView(&wide, nullptr, {}, {}).width(), 420);
}

TEST_F(NativeMenuTest, ShowIsSynchronousAndPlacesThePopoverBelowTheAnchor)
{
    build();
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    ASSERT_NE(view(), nullptr);
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    EXPECT_TRUE(view()->isVisible());
    EXPECT_EQ(NativeMenu::shared().menuStack(), QList<QMenu *>{&menu});
    const QWidget *popover = NativeMenu::shared().popover();
    EXPECT_GE(popover->geometry().top(), anchor.mapToGlobal(QPoint(0, anchor.height())).y());
    EXPECT_EQ(dismissals, 0);
}

TEST_F(NativeMenuTest, ArrowsWrapAroundAndSkipDisabledRows)
{
    build();
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    MenuContentView *content = view();
    content->keyDown(down);
    EXPECT_EQ(content->focused(), 0); // first enabled row
    content->keyDown(down);
    EXPECT_EQ(content->focused(), 2); // 乙 is disabled
    content->keyDown(down);
    EXPECT_EQ(content->focused(), 3);
    content->keyDown(down);
    EXPECT_EQ(content->focused(), 0); // wraps
    content->keyDown(up);
    EXPECT_EQ(content->focused(), 3); // wraps backwards
    EXPECT_TRUE(content->rows().at(3)->isMenuHighlighted());
    EXPECT_FALSE(content->rows().at(0)->isMenuHighlighted());

    MenuContentView fresh(&menu, nullptr, {}, {});
    fresh.keyDown(up);
    EXPECT_EQ(fresh.focused(), 3); // last enabled row when nothing is focused
    fresh.focus(1);
    EXPECT_EQ(fresh.focused(), 3); // a disabled row is never focused
    fresh.focus(-1);
    fresh.focus(99);
    EXPECT_EQ(fresh.focused(), 3);
}

TEST_F(NativeMenuTest, AMenuOfDisabledRowsIgnoresEveryKeyButEscape)
{
    QAction *only = menu.addAction(QStringLiteral("不可用"));
    only->setEnabled(false);
    QSignalSpy triggered(only, &QAction::triggered);
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    MenuContentView *content = view();
    for (int key : {down, up, left, right, returnKey, space, 0})
        EXPECT_TRUE(content->keyDown(key));
    EXPECT_EQ(content->focused(), -1);
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    EXPECT_EQ(dismissals, 0);
    content->keyDown(escape);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(NativeMenu::shared().contentView(), nullptr);
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(triggered.count(), 0);
}

TEST_F(NativeMenuTest, SubmenuOpensInPlaceAndLeftGoesBack)
{
    build();
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    MenuContentView *root = view();
    root->focus(3);
    root->keyDown(right);
    MenuContentView *sub = view();
    ASSERT_NE(sub, nullptr);
    EXPECT_NE(sub, root);
    EXPECT_EQ(sub->menu(), &submenu);
    EXPECT_EQ(NativeMenu::shared().menuStack(), (QList<QMenu *>{&menu, &submenu}));
    EXPECT_EQ(sub->focused(), -1);
    EXPECT_TRUE(sub->hasFocus() || sub->window()->focusWidget() == sub);

    sub->keyDown(left);
    MenuContentView *back = view();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->menu(), &menu);
    EXPECT_EQ(back->focused(), -1); // the parent comes back with no row focused
    EXPECT_EQ(NativeMenu::shared().menuStack(), QList<QMenu *>{&menu});
    EXPECT_EQ(dismissals, 0);

    back->keyDown(left); // at the root: closes and dismisses
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_TRUE(NativeMenu::shared().menuStack().isEmpty());
    EXPECT_EQ(dismissals, 1);
}

TEST_F(NativeMenuTest, ChoosingALeafClosesFirstThenTriggersWithoutDismissal)
{
    build();
    bool openWhileTriggered = true;
    int triggers = 0;
    QObject::connect(x, &QAction::triggered, [&] {
        ++triggers;
        openWhileTriggered = NativeMenu::shared().isOpen();
    });
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    view()->focus(3);
    view()->keyDown(returnKey); // into the submenu
    view()->keyDown(down);
    view()->keyDown(space); // 子一
    EXPECT_EQ(triggers, 1);
    EXPECT_FALSE(openWhileTriggered);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(dismissals, 0);
    NativeMenu::shared().close(); // nothing left to dismiss
    EXPECT_EQ(dismissals, 0);
}

TEST_F(NativeMenuTest, TheSelectedItemIsFocusedAndReturnActivatesIt)
{
    build();
    QSignalSpy triggered(c, &QAction::triggered);
    NativeMenu::shared().show(&menu, &anchor, c, countDismissal);
    MenuContentView *content = view();
    EXPECT_EQ(content->focused(), 2);
    EXPECT_TRUE(content->rows().at(2)->isSelected());
    EXPECT_TRUE(content->rows().at(2)->isMenuHighlighted());
    content->keyDown(returnKey);
    EXPECT_EQ(triggered.count(), 1);
    EXPECT_EQ(dismissals, 0);
}

TEST_F(NativeMenuTest, ShowingAnotherMenuDismissesTheFirstOnce)
{
    build();
    QMenu second;
    second.addAction(QStringLiteral("别的"));
    int secondDismissals = 0;
    bool firstDismissedBeforeSecondShown = false;
    NativeMenu::shared().show(&menu, &anchor, nullptr, [&] {
        ++dismissals;
        firstDismissedBeforeSecondShown = NativeMenu::shared().contentView() == nullptr;
    });
    NativeMenu::shared().show(&second, &anchor, nullptr, [&] { ++secondDismissals; });
    EXPECT_EQ(dismissals, 1);
    EXPECT_TRUE(firstDismissedBeforeSecondShown);
    EXPECT_EQ(view()->menu(), &second);
    NativeMenu::shared().close();
    NativeMenu::shared().close();
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(secondDismissals, 1);
}

TEST_F(NativeMenuTest, AWindowSystemCloseDismissesOnceAndOtherPopoversAreIgnored)
{
    build();
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    MenuPopover stranger;
    NativeMenu::shared().popoverDidClose(&stranger);
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    NativeMenu::shared().popover()->close(); // as a click outside the popup does
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_EQ(dismissals, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(dismissals, 1);
}

TEST_F(NativeMenuTest, HoverFocusesEnabledRowsAndLeavingKeepsTheFocus)
{
    build();
    QSignalSpy triggered(c, &QAction::triggered);
    NativeMenu::shared().show(&menu, &anchor, nullptr, countDismissal);
    MenuContentView *content = view();
    content->rows().at(1)->pointerEntered(); // disabled
    EXPECT_EQ(content->focused(), -1);
    EXPECT_FALSE(content->rows().at(1)->isMenuHighlighted());
    content->rows().at(2)->pointerEntered();
    EXPECT_EQ(content->focused(), 2);
    content->rows().at(2)->pointerExited();
    EXPECT_FALSE(content->rows().at(2)->isMenuHighlighted());
    EXPECT_EQ(content->focused(), 2);
    content->keyDown(returnKey);
    EXPECT_EQ(triggered.count(), 1);
}

TEST(MenuPopoverPlacement, SitsBelowTheAnchorCentredAndInsideTheScreen)
{
    const QRect screen(0, 0, 1000, 800);
    EXPECT_EQ(MenuPopover::origin(QRect(400, 100, 200, 30), QSize(240, 200), screen), QPoint(380, 136));
    EXPECT_EQ(MenuPopover::origin(QRect(0, 100, 40, 30), QSize(240, 200), screen).x(), 0);
    EXPECT_EQ(MenuPopover::origin(QRect(960, 100, 40, 30), QSize(240, 200), screen).x(), 760);
    // No room below: above the anchor.
    EXPECT_EQ(MenuPopover::origin(QRect(400, 700, 200, 30), QSize(240, 200), screen).y(), 700 - 6 - 200);
}
