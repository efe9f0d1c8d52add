#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

namespace {
class NativePopupButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        button.addItem(QStringLiteral("细 · 12 px"), 12);
        button.addItem(QStringLiteral("中 · 24 px"), 24);
        button.addItem(QStringLiteral("粗 · 40 px"), 40);
        button.selectItemWithTag(24);
        button.resize(button.sizeHint());
        button.show();
    }
    void TearDown() override { NativeMenu::shared().close(); }
    void press(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &event);
    }
    NativePopupButton button;
};
} // namespace

TEST_F(NativePopupButtonTest, IntrinsicSizeIsAtLeast110ByThirty)
{
    EXPECT_EQ(button.sizeHint(), QSize(110, 30));
    QAction *wide = button.addItem(QStringLiteral("这是一个相当长的弹出按钮标题，用来测量宽度"));
    button.selectItem(wide);
    const qreal width = NativeDrawing::textWidth(wide->text(), NativeFonts::system(13)) + 42;
    EXPECT_NEAR(button.sizeHint().width(), width, 1.0);
}

TEST_F(NativePopupButtonTest, OpensWithTheSelectedRowFocusedAndDownMovesOn)
{
    QSignalSpy activated(&button, &NativePopupButton::activated);
    press(Qt::Key_Down);
    MenuContentView *content = NativeMenu::shared().contentView();
    ASSERT_NE(content, nullptr);
    EXPECT_TRUE(button.isExpanded());
    EXPECT_EQ(content->focused(), 1);
    EXPECT_TRUE(content->rows().at(1)->isSelected());
    content->keyDown(125);
    content->keyDown(36);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(button.isExpanded());
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.first().first().toInt(), 2);
    EXPECT_EQ(button.selectedItem()->data().toInt(), 40);
    EXPECT_EQ(button.titleOfSelectedItem(), QStringLiteral("粗 · 40 px"));
}

TEST_F(NativePopupButtonTest, EscapeLeavesTheSelectionAndSendsNothing)
{
    QSignalSpy activated(&button, &NativePopupButton::activated);
    button.performClick();
    EXPECT_TRUE(button.isExpanded());
    NativeMenu::shared().contentView()->keyDown(53);
    EXPECT_FALSE(button.isExpanded());
    EXPECT_EQ(button.indexOfSelectedItem(), 1);
    EXPECT_EQ(activated.count(), 0);
}

TEST_F(NativePopupButtonTest, ChoosingOverridesTheItemsOwnReceivers)
{
    QSignalSpy activated(&button, &NativePopupButton::activated);
    int foreign = 0;
    QObject::connect(button.itemAt(0), &QAction::triggered, [&] { ++foreign; });
    button.performClick();
    NativeMenu::shared().contentView()->rows().at(0)->click();
    EXPECT_EQ(foreign, 0);
    EXPECT_EQ(activated.count(), 1);
    EXPECT_EQ(button.indexOfSelectedItem(), 0);
}

TEST_F(NativePopupButtonTest, ADisabledPopupIgnoresClicksAndKeys)
{
    button.setEnabled(false);
    for (int key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Down, Qt::Key_Up})
        press(key);
    button.performClick();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(button.isExpanded());
    EXPECT_FALSE(button.look().enabled);
}

TEST_F(NativePopupButtonTest, ClickOpensAndOtherKeysDoNot)
{
    press(Qt::Key_A);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    EXPECT_EQ(NativeMenu::shared().menuStack().first(), button.menu());
}

TEST_F(NativePopupButtonTest, SelectionByIndexTagAndForeignAction)
{
    button.selectItemAt(0);
    EXPECT_EQ(button.indexOfSelectedItem(), 0);
    EXPECT_FALSE(button.selectItemWithTag(99));
    EXPECT_EQ(button.indexOfSelectedItem(), 0);
    QAction stranger(QStringLiteral("外来"));
    button.selectItem(&stranger);
    EXPECT_EQ(button.indexOfSelectedItem(), 0);
    EXPECT_EQ(button.itemTitles().size(), 3);
    button.removeAllItems();
    EXPECT_EQ(button.selectedItem(), nullptr);
    EXPECT_EQ(button.indexOfSelectedItem(), -1);
}
