#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeEditingMenu.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuStyle.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "NativeAppAppearance/NativeStatusMenu.h"
#include "NativeAppAppearance/NativeWindowMenu.h"

#include "Support/TaskTesting.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QWidgetAction>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

TEST(NativeMenuStyle, DecoratesOpeningMenusAndSubmenusButNotRootTitlesOrCustomViews)
{
    NativeMenuStyle::install();
    NativeMenuStyle::install();
    QMenu menu;
    menu.addAction(QStringLiteral("短"));
    menu.addSeparator();
    menu.popup(QPoint(10, 10));
    EXPECT_EQ(menu.style(), NativeMenuStyle::instance());
    EXPECT_EQ(menu.width(), 260);
    menu.close();
    menu.addAction(QString(60, QChar(0x5BBD)));
    EXPECT_EQ(NativeMenuStyle::widthFor(&menu), 440);

    QMenu root;
    QMenu file(QStringLiteral("文件"));
    auto *custom = new QWidgetAction(&file);
    auto *label = new QLabel(QStringLiteral("自定义"));
    custom->setDefaultWidget(label);
    file.addAction(custom);
    root.addMenu(&file);
    NativeMenuStyle::decorate(&root, true);
    EXPECT_NE(root.style(), NativeMenuStyle::instance());
    EXPECT_EQ(file.style(), NativeMenuStyle::instance());
    EXPECT_EQ(custom->defaultWidget(), label);
}

TEST(MenuBarMenus, TitlesAreTranslatedAndCommandsReachTheFocusOrTheActiveWindow)
{
    QMenuBar bar;
    const auto translate = [](const QString &text) { return QStringLiteral("[%1]").arg(text); };
    QMenu *edit = NativeEditingMenu::install(&bar, translate);
    EXPECT_EQ(edit->title(), QStringLiteral("[编辑]"));
    ASSERT_EQ(edit->actions().size(), 6);
    EXPECT_EQ(edit->actions().at(1)->text(), QStringLiteral("[重做]"));
    EXPECT_EQ(edit->actions().at(1)->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    QAction *close = NativeWindowMenu::install(&bar, translate)->actions().value(0);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));

    QWidget window;
    auto *field = new QLineEdit(QStringLiteral("全部文字"), &window);
    window.show();
    EXPECT_TRUE(NativeEditingMenu::sendToFocusChain(field, "selectAll"));
    EXPECT_EQ(field->selectedText(), QStringLiteral("全部文字"));
    EXPECT_FALSE(NativeEditingMenu::sendToFocusChain(&window, "selectAll"));
    EXPECT_FALSE(NativeEditingMenu::sendToFocusChain(nullptr, "undo"));
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QApplication::activeWindow() == &window; }));
    close->trigger();
    EXPECT_FALSE(window.isVisible());
}

namespace {
class NativeStatusMenuTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        NativeStatusMenu::detach(&tray);
    }
    static QMenu *shownMenu() { return NativeMenu::shared().contentView() ? NativeMenu::shared().contentView()->menu() : nullptr; }
    static void settle() { TestSupport::waitUntil([] { return false; }, 20); }
    QSystemTrayIcon tray;
    QSystemTrayIcon other;
    std::shared_ptr<QMenu> first = std::make_shared<QMenu>();
    std::shared_ptr<QMenu> second = std::make_shared<QMenu>();
    QWidget anchor;
};
} // namespace

TEST_F(NativeStatusMenuTest, OneBindingPerTrayIconUntilDetachedOrDestroyed)
{
    EXPECT_EQ(NativeStatusMenu::menu(&tray), nullptr);
    QMenu own;
    tray.setContextMenu(&own);
    NativeStatusMenu::attach(&tray, first);
    EXPECT_EQ(tray.contextMenu(), nullptr);
    NativeStatusMenu::attach(&tray, second);
    EXPECT_EQ(NativeStatusMenu::menu(&tray), second.get());
    NativeStatusMenu::attach(nullptr, first);
    NativeStatusMenu::detach(&tray);
    EXPECT_EQ(NativeStatusMenu::menu(&tray), nullptr);

    auto *doomed = new QSystemTrayIcon();
    NativeStatusMenu::attach(doomed, first);
    const QSystemTrayIcon *address = doomed;
    delete doomed;
    EXPECT_EQ(NativeStatusMenu::menu(address), nullptr);

    first->addAction(QStringLiteral("一项"));
    NativeMenu::shared().show(first.get(), &anchor);
    NativeStatusMenu::detach(&other);
    EXPECT_FALSE(NativeMenu::shared().isOpen()) << "detaching what was never attached still closes the menu";
}

TEST_F(NativeStatusMenuTest, TheBindingKeepsItsMenuAliveUntilTheBindingGoes)
{
    const auto bind = [](QSystemTrayIcon *icon) {
        auto menu = std::make_shared<QMenu>();
        menu->addAction(QStringLiteral("截图"));
        const QPointer<QMenu> watched(menu.get());
        NativeStatusMenu::attach(icon, std::move(menu)); // the caller keeps nothing
        return watched;
    };
    const QPointer<QMenu> replaced = bind(&tray);
    settle();
    ASSERT_TRUE(replaced) << "held by its binding alone";
    Q_EMIT tray.activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(shownMenu(), replaced.data());
    NativeStatusMenu::attach(&tray, second);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return replaced.isNull(); })) << "a replaced binding lets its menu go";
    EXPECT_FALSE(NativeMenu::shared().isOpen()) << "and the popover does not keep showing it";

    const QPointer<QMenu> detached = bind(&tray);
    NativeStatusMenu::detach(&tray);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return detached.isNull(); }));

    auto *icon = new QSystemTrayIcon();
    const QPointer<QMenu> orphaned = bind(icon);
    delete icon;
    EXPECT_TRUE(orphaned.isNull()) << "the icon's binding went with it";

    second->addAction(QStringLiteral("退出"));
    const QPointer<QMenu> shared(second.get());
    NativeStatusMenu::attach(&tray, second);
    NativeStatusMenu::detach(&tray);
    settle();
    EXPECT_TRUE(shared) << "a menu the caller holds too stays";
}

TEST_F(NativeStatusMenuTest, LeftAndRightClicksOpenTheSameRefreshedMenu)
{
    first->addAction(QStringLiteral("截图"));
    int refreshes = 0;
    QObject::connect(first.get(), &QMenu::aboutToShow, [&] { ++refreshes; });
    NativeStatusMenu::attach(&tray, first);
    Q_EMIT tray.activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(shownMenu(), first.get());
    NativeMenu::shared().close();
    Q_EMIT tray.activated(QSystemTrayIcon::Context);
    EXPECT_EQ(shownMenu(), first.get());
    Q_EMIT tray.activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(refreshes, 2);
}

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

TEST_F(NativePopupButtonTest, IntrinsicSizeIsAtLeast110ByThirtyAndGrowsWithTheTitle)
{
    EXPECT_EQ(button.sizeHint(), QSize(110, 30));
    button.selectItem(button.addItem(QStringLiteral("这是一个相当长的弹出按钮标题，用来测量宽度")));
    EXPECT_GT(button.sizeHint().width(), 250);
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
    EXPECT_FALSE(button.isExpanded());
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.first().first().toInt(), 2);
    EXPECT_EQ(button.titleOfSelectedItem(), QStringLiteral("粗 · 40 px"));
}

TEST_F(NativePopupButtonTest, EscapeSendsNothingAndChoosingOverridesTheItemsOwnReceivers)
{
    QSignalSpy activated(&button, &NativePopupButton::activated);
    int foreign = 0;
    QObject::connect(button.itemAt(0), &QAction::triggered, [&] { ++foreign; });
    button.performClick();
    NativeMenu::shared().contentView()->keyDown(53);
    EXPECT_FALSE(button.isExpanded());
    EXPECT_EQ(button.indexOfSelectedItem(), 1);
    EXPECT_EQ(activated.count(), 0);
    button.performClick();
    NativeMenu::shared().contentView()->rows().at(0)->click();
    EXPECT_EQ(foreign, 0);
    EXPECT_EQ(activated.count(), 1);
    EXPECT_EQ(button.indexOfSelectedItem(), 0);
}

TEST_F(NativePopupButtonTest, OnlyAnEnabledButtonOpensAndOnlyOnClicksAndItsKeys)
{
    press(Qt::Key_A);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    button.setEnabled(false);
    for (int key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Down, Qt::Key_Up})
        press(key);
    button.performClick();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(button.look().enabled);

    button.setEnabled(true);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_TRUE(NativeMenu::shared().isOpen());
    EXPECT_EQ(NativeMenu::shared().menuStack().first(), button.menu());
}

TEST_F(NativePopupButtonTest, ReadsExpandedOnlyWhileItsMenuIsOpenAndItsRowsAsMenuItems)
{
    QSignalSpy activated(&button, &NativePopupButton::activated);
    QAccessibleInterface *popup = QAccessible::queryAccessibleInterface(&button);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->role(), QAccessible::ComboBox);
    EXPECT_EQ(popup->text(QAccessible::Value), QStringLiteral("中 · 24 px"));
    EXPECT_TRUE(popup->state().hasPopup);
    EXPECT_FALSE(popup->state().expanded);
    ASSERT_NE(popup->actionInterface(), nullptr);
    EXPECT_TRUE(popup->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

    // The press action opens the menu; the list reads as a menu of items, the current choice
    // selected and checked.
    popup->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    MenuContentView *content = NativeMenu::shared().contentView();
    ASSERT_NE(content, nullptr);
    EXPECT_TRUE(popup->state().expanded);
    EXPECT_FALSE(popup->state().collapsed);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(content);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::PopupMenu);
    ASSERT_EQ(list->childCount(), 3);
    for (int k = 0; k < 3; ++k) {
        QAccessibleInterface *row = list->child(k);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::MenuItem);
        EXPECT_EQ(row->text(QAccessible::Name), button.itemTitles().at(k));
        EXPECT_EQ(row->state().selected, k == 1) << k;
        EXPECT_EQ(row->state().checked, k == 1) << k;
        EXPECT_EQ(row->state().focused, k == 1) << k;
    }

    // Escape: collapsed again, nothing chosen.
    content->keyDown(53);
    EXPECT_FALSE(popup->state().expanded);
    EXPECT_TRUE(popup->state().collapsed);
    EXPECT_EQ(activated.count(), 0);
    EXPECT_EQ(popup->text(QAccessible::Value), QStringLiteral("中 · 24 px"));

    // A choice through the row's own press action: collapsed, chosen once.
    EXPECT_TRUE(button.accessibilityPerformPress());
    EXPECT_TRUE(popup->state().expanded);
    QAccessibleInterface *first = QAccessible::queryAccessibleInterface(NativeMenu::shared().contentView()->rows().at(0));
    ASSERT_NE(first->actionInterface(), nullptr);
    first->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(popup->state().expanded);
    EXPECT_EQ(activated.count(), 1);
    EXPECT_EQ(popup->text(QAccessible::Value), QStringLiteral("细 · 12 px"));

    // A disabled button takes no press.
    button.setEnabled(false);
    EXPECT_FALSE(button.accessibilityPerformPress());
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    EXPECT_FALSE(popup->state().expanded);
}
