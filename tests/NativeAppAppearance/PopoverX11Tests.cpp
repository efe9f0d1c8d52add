// Under a real X server: the popover appears below its anchor and closes on Escape and on a
// click outside it, with the dismissal reported once each time.

#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"

#include "Support/ClientProcess.h"
#include "Support/TaskTesting.h"

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QRegion>
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

// Without a compositing manager (none runs on the test's server) the popover is cut to its
// rounded shape, and every pixel the cut keeps is opaque: a translucent one shows as a dark
// pixel at the corners, since X has nothing to blend it with.
TEST_F(PopoverX11Test, WithoutACompositorTheRoundedCornersKeepOnlyOpaquePixels)
{
    open();
    QWidget *popover = NativeMenu::shared().popover();
    const QRegion mask = popover->mask();
    ASSERT_FALSE(mask.isEmpty()) << "no compositing manager: the window is shaped";
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(popover->width() - 1, popover->height() - 1)));
    EXPECT_TRUE(mask.contains(QPoint(popover->width() / 2, 0)));
    EXPECT_TRUE(mask.contains(QPoint(0, popover->height() / 2)));

    QImage image(popover->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    popover->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QStringList translucent;
    for (const QRect &run : mask)
        for (int y = run.top(); y <= run.bottom(); ++y)
            for (int x = run.left(); x <= run.right(); ++x)
                if (qAlpha(image.pixel(x, y)) != 255)
                    translucent << QStringLiteral("(%1, %2)").arg(x).arg(y);
    EXPECT_TRUE(translucent.isEmpty()) << translucent.size() << " translucent pixels inside the shape, first "
                                       << translucent.mid(0, 8).join(QLatin1Char(' ')).toStdString();
}
