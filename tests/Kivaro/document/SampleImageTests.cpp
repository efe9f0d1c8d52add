#include "Kivaro/document/SampleImage.h"

#include <gtest/gtest.h>

using namespace Kivaro;

TEST(SampleImage, IsADeterministicCardOfTheDocumentedLayout)
{
    const QImage image = SampleImage::make();
    ASSERT_EQ(image.size(), QSize(960, 600));
    EXPECT_EQ(image, SampleImage::make());
    auto at = [&](int x, int yUp) { return QColor(image.pixel(x, 599 - yUp)); };
    EXPECT_EQ(at(5, 300), QColor(250, 249, 245)) << "paper";
    EXPECT_EQ(at(5, 590), QColor(Qt::white)) << "title bar";
    EXPECT_EQ(at(26, 574), QColor(255, 59, 48)) << "first window dot";
    EXPECT_EQ(at(60, 390), QColor(240, 223, 200)) << "warm sky";
    EXPECT_EQ(at(300, 110), QColor(183, 110, 80)) << "front hill of the warm landscape";
    EXPECT_EQ(at(630, 390), QColor(222, 229, 220)) << "cool sky";
    EXPECT_EQ(at(900, 130), QColor(239, 233, 218)) << "palette card";
    EXPECT_EQ(at(653, 172), QColor(215, 154, 118)) << "first swatch";
    EXPECT_EQ(at(760, 63), QColor(45, 57, 51)) << "button";
    EXPECT_EQ(at(41, 106), QColor(250, 249, 245)) << "rounded corner of the landscape";
}
