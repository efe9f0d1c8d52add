#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeEditingMenu.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativeMenuStyle.h"
#include "NativeAppAppearance/NativeStatusMenu.h"
#include "NativeAppAppearance/NativeWindowMenu.h"

#include "Support/TaskTesting.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyleOptionMenuItem>
#include <QWidgetAction>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;

namespace {
QString identity(const QString &text)
{
    return text;
}
} // namespace

TEST(NativeMenuStyle, WidthFollowsTheWidestTitleWithinLimits)
{
    QMenu menu;
    menu.addAction(QStringLiteral("短"));
    menu.addSeparator();
    EXPECT_EQ(NativeMenuStyle::widthFor(&menu), 260);
    menu.addAction(QString(60, QChar(0x5BBD)));
    EXPECT_EQ(NativeMenuStyle::widthFor(&menu), 440);
}

TEST(NativeMenuStyle, DecoratesSubmenusButLeavesRootTitlesAndCustomViews)
{
    QMenu root;
    QMenu file(QStringLiteral("文件"));
    file.addAction(QStringLiteral("打开"));
    auto *custom = new QWidgetAction(&file);
    auto *label = new QLabel(QStringLiteral("自定义"));
    custom->setDefaultWidget(label);
    file.addAction(custom);
    root.addMenu(&file);

    NativeMenuStyle::decorate(&root, true);
    EXPECT_NE(root.style(), NativeMenuStyle::instance());
    EXPECT_EQ(file.style(), NativeMenuStyle::instance());
    EXPECT_EQ(file.minimumWidth(), 260);
    EXPECT_EQ(custom->defaultWidget(), label);

    QMenu empty;
    NativeMenuStyle::decorate(&empty, false);
    EXPECT_NE(empty.style(), NativeMenuStyle::instance());

    QStyleOptionMenuItem option;
    option.menuItemType = QStyleOptionMenuItem::Normal;
    EXPECT_EQ(NativeMenuStyle::instance()->sizeFromContents(QStyle::CT_MenuItem, &option, QSize(50, 20), &file).height(), 34);
}

TEST(NativeMenuStyle, InstalledStylingDecoratesMenusWhenTheyOpen)
{
    NativeMenuStyle::install();
    NativeMenuStyle::install();
    EXPECT_TRUE(NativeMenuStyle::isInstalled());
    QMenu menu;
    menu.addAction(QStringLiteral("一项"));
    menu.popup(QPoint(10, 10));
    EXPECT_EQ(menu.style(), NativeMenuStyle::instance());
    EXPECT_EQ(menu.width(), 260);
    menu.close();
}

TEST(NativeEditingMenu, AddsSixCommandsInOrderAndSendsThemToTheFocus)
{
    QMenuBar bar;
    QStringList asked;
    QMenu *edit = NativeEditingMenu::install(&bar, [&](const QString &text) {
        asked << text;
        return QStringLiteral("[%1]").arg(text);
    });
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->title(), QStringLiteral("[编辑]"));
    EXPECT_EQ(asked.count(QStringLiteral("编辑")), 2);
    const auto actions = edit->actions();
    ASSERT_EQ(actions.size(), 6);
    const QStringList titles = {QStringLiteral("[撤销]"), QStringLiteral("[重做]"), QStringLiteral("[剪切]"),
                                QStringLiteral("[复制]"), QStringLiteral("[粘贴]"), QStringLiteral("[全选]")};
    const QList<QKeySequence> keys = {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                      QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_C),
                                      QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::CTRL | Qt::Key_A)};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(actions.at(i)->text(), titles.at(i));
        EXPECT_EQ(actions.at(i)->shortcut(), keys.at(i));
    }
    NativeEditingMenu::install(&bar, identity);
    EXPECT_EQ(bar.actions().size(), 2);

    QWidget window;
    auto *field = new QLineEdit(QStringLiteral("全部文字"), &window);
    window.show();
    EXPECT_TRUE(NativeEditingMenu::sendToFocusChain(field, "selectAll"));
    EXPECT_EQ(field->selectedText(), QStringLiteral("全部文字"));
    EXPECT_FALSE(NativeEditingMenu::sendToFocusChain(&window, "selectAll"));
    EXPECT_FALSE(NativeEditingMenu::sendToFocusChain(nullptr, "undo"));
}

TEST(NativeWindowMenu, CloseWindowOnControlWClosesTheActiveWindow)
{
    QMenuBar bar;
    QMenu *menu = NativeWindowMenu::install(&bar, identity);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("窗口"));
    ASSERT_EQ(menu->actions().size(), 1);
    QAction *close = menu->actions().first();
    EXPECT_EQ(close->text(), QStringLiteral("关闭窗口"));
    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));

    QWidget window;
    window.show();
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
        NativeStatusMenu::detach(&other);
    }
    QSystemTrayIcon tray;
    QSystemTrayIcon other;
    QMenu first;
    QMenu second;
    QWidget anchor;
};
} // namespace

TEST_F(NativeStatusMenuTest, OneBindingPerTrayIconUntilDetached)
{
    EXPECT_EQ(NativeStatusMenu::menu(&tray), nullptr);
    QMenu own;
    tray.setContextMenu(&own);
    NativeStatusMenu::attach(&tray, &first);
    EXPECT_EQ(tray.contextMenu(), nullptr);
    NativeStatusMenu::attach(&tray, &second);
    EXPECT_EQ(NativeStatusMenu::menu(&tray), &second);
    NativeStatusMenu::attach(nullptr, &first);
    NativeStatusMenu::detach(&tray);
    EXPECT_EQ(NativeStatusMenu::menu(&tray), nullptr);
}

TEST_F(NativeStatusMenuTest, LeftAndRightClicksOpenTheSameRefreshedMenu)
{
    first.addAction(QStringLiteral("截图"));
    int refreshes = 0;
    QObject::connect(&first, &QMenu::aboutToShow, [&] { ++refreshes; });
    NativeStatusMenu::attach(&tray, &first);
    Q_EMIT tray.activated(QSystemTrayIcon::Trigger);
    ASSERT_NE(NativeMenu::shared().contentView(), nullptr);
    EXPECT_EQ(NativeMenu::shared().contentView()->menu(), &first);
    NativeMenu::shared().close();
    Q_EMIT tray.activated(QSystemTrayIcon::Context);
    ASSERT_NE(NativeMenu::shared().contentView(), nullptr);
    EXPECT_EQ(NativeMenu::shared().contentView()->menu(), &first);
    EXPECT_EQ(refreshes, 2);
    Q_EMIT tray.activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(refreshes, 2);
}

TEST_F(NativeStatusMenuTest, DetachClosesAnOpenMenuEvenWhenNeverAttached)
{
    first.addAction(QStringLiteral("一项"));
    NativeMenu::shared().show(&first, &anchor);
    NativeStatusMenu::detach(&other);
    EXPECT_FALSE(NativeMenu::shared().isOpen());
}

TEST_F(NativeStatusMenuTest, PresentForAuditOpensTheFirstBinding)
{
    EXPECT_FALSE(NativeStatusMenu::presentForAudit(&anchor));
    EXPECT_FALSE(NativeMenu::shared().isOpen());
    first.addAction(QStringLiteral("一"));
    second.addAction(QStringLiteral("二"));
    NativeStatusMenu::attach(&tray, &first);
    NativeStatusMenu::attach(&other, &second);
    anchor.show();
    EXPECT_TRUE(NativeStatusMenu::presentForAudit(&anchor));
    EXPECT_EQ(NativeMenu::shared().contentView()->menu(), &first);
    NativeMenu::shared().close();
}

TEST(NativeStatusMenu, ADestroyedTrayIconDropsItsBinding)
{
    QMenu menu;
    auto *tray = new QSystemTrayIcon();
    NativeStatusMenu::attach(tray, &menu);
    EXPECT_EQ(NativeStatusMenu::menu(tray), &menu);
    const QSystemTrayIcon *address = tray;
    delete tray;
    EXPECT_EQ(NativeStatusMenu::menu(address), nullptr);
}
