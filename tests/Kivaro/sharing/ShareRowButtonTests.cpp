#include "Kivaro/sharing/ShareRowButton.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace Kivaro;

TEST(ShareRowButton, IsTitledWithTheShareSymbolAndPassesItselfWhenPressed)
{
    QList<ShareRowButton *> pressed;
    ShareRowButton button([&](ShareRowButton *sender) { pressed << sender; });
    EXPECT_EQ(button.text(), QStringLiteral("分享"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("分享"));
    EXPECT_EQ(button.accessibleName(), QStringLiteral("分享"));
    EXPECT_EQ(button.symbol(), QStringLiteral("square.and.arrow.up"));
    EXPECT_EQ(button.imagePosition(), KivaroButton::ImagePosition::leading);
    EXPECT_EQ(button.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    button.resize(button.sizeHint());
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(pressed, QList<ShareRowButton *>{&button});

    button.invoke = nullptr;
    button.click();
    EXPECT_EQ(pressed.size(), 1);
}
