// Under a real X server: the popover appears below its anchor and closes on Escape and on a
// click outside it, with the dismissal reported once each time.

#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"

#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace NativeAppAppearance;
using TestSupport::xdotool;

namespace {

class PopoverX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char *missing = TestSupport::missingForXdotool())
            GTEST_SKIP() << missing;
        menu.addAction(QStringLiteral("截图"));
        menu.addAction(QStringLiteral("识字并复制"));
        window.setGeometry(300, 200, 400, 300);
        anchor = new QPushButton(QStringLiteral("锚点"), &window);
        anchor->setGeometry(120, 40, 160, 30);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
    }
    void TearDown() override { NativeMenu::shared().close(); }

    void open()
    {
        NativeMenu::shared().show(&menu, anchor, nullptr, [this] { ++dismissals; });
        ASSERT_TRUE(NativeMenu::shared().isOpen());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(NativeMenu::shared().popover()));
        // Let the popup's pointer and keyboard grabs settle.
        QTest::qWait(200);
    }

    QMenu menu;
    QWidget window;
    QPushButton *anchor = nullptr;
    int dismissals = 0;
};
} // namespace

TEST_F(PopoverX11Test, AppearsBelowItsAnchorTakesTheKeysAndClosesOnEscape)
{
    open();
    const QRect anchorRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    const QRect popover = NativeMenu::shared().popover()->frameGeometry();
    EXPECT_GE(popover.top(), anchorRect.bottom());
    EXPECT_LE(popover.top(), anchorRect.bottom() + 20);
    EXPECT_NEAR(popover.center().x(), anchorRect.center().x(), 2);

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Down")}));
    EXPECT_TRUE(TestSupport::waitUntil([] {
        return NativeMenu::shared().contentView() && NativeMenu::shared().contentView()->focused() == 0;
    }, 3000));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(TestSupport::waitUntil([] { return !NativeMenu::shared().isOpen(); }, 3000));
    EXPECT_EQ(dismissals, 1);
}

TEST_F(PopoverX11Test, AClickOutsideOrOnTheAnchorClosesOnceWithoutReopening)
{
    int anchorClicks = 0;
    QObject::connect(anchor, &QPushButton::pressed, [&] { ++anchorClicks; });
    for (const QPoint where : {window.mapToGlobal(QPoint(20, 260)), anchor->mapToGlobal(anchor->rect().center())}) {
        open();
        ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(where.x()), QString::number(where.y())}));
        ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("1")}));
        EXPECT_TRUE(TestSupport::waitUntil([] { return !NativeMenu::shared().isOpen(); }, 3000));
        QTest::qWait(200);
    }
    EXPECT_EQ(anchorClicks, 0);
    EXPECT_EQ(dismissals, 2);
}
