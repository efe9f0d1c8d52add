#include "KivaroCore/AnnotationPlacement.h"

#include <gtest/gtest.h>

namespace AP = Kivaro::AnnotationPlacement;

TEST(AnnotationPlacement, ImagePointMapsThroughTheVisibleFrame)
{
    EXPECT_FALSE(AP::imagePoint({1, 1}, {0, 10}, {0, 0, 10, 10}).has_value());
    EXPECT_FALSE(AP::imagePoint({1, 1}, {10, 0}, {0, 0, 10, 10}).has_value());
    EXPECT_EQ(AP::imagePoint({3, 4}, {10, 10}, {0, 0, 10, 10}), QPointF(3, 4));
    EXPECT_EQ(AP::imagePoint({50, 25}, {100, 50}, {200, 100, 400, 200}), QPointF(400, 200));
}

TEST(AnnotationPlacement, NearestCandidateWinsWithAmpleRoom)
{
    const QRectF canvas(0, 0, 2000, 2000);
    const QPointF anchor(1000, 1000);
    // 40 x 60: candidate 1, right of and above the anchor.
    EXPECT_EQ(AP::bubble(anchor, {40, 60}, canvas, {}), QRectF(1034, 1000 - 28 - 60, 40, 60));
    // 200 x 60: candidate 5, centred on the anchor's x.
    EXPECT_EQ(AP::bubble(anchor, {200, 60}, canvas, {}), QRectF(900, 1000 - 56 - 60, 200, 60));
}

TEST(AnnotationPlacement, ClampingAndOccupiedRectanglesMoveTheChoice)
{
    const QRectF canvas(0, 0, 400, 400);
    // Near the right edge candidate 1 is pushed back over the anchor and pays the penalty.
    const QRectF nearEdge = AP::bubble({390, 50}, {40, 60}, canvas, {});
    EXPECT_LT(nearEdge.x() + nearEdge.width(), 390 - 16) << "ends up on the left";
    // An occupied rectangle within 12 points of candidate 1 counts as overlapping it.
    const QRectF first = AP::bubble({200, 200}, {40, 60}, canvas, {});
    const QRectF touching(first.x() + first.width() + 11, first.y(), 20, 20);
    EXPECT_NE(AP::bubble({200, 200}, {40, 60}, canvas, {touching}), first);
    const QRectF clear(first.x() + first.width() + 12, first.y(), 20, 20);
    EXPECT_EQ(AP::bubble({200, 200}, {40, 60}, canvas, {clear}), first);
}

TEST(AnnotationPlacement, ABubbleWiderThanTheCanvasIsShrunkAndPlacedAtTheMargin)
{
    const QRectF placed = AP::bubble({50, 100}, {500, 40}, QRectF(0, 0, 300, 300), {});
    EXPECT_EQ(placed.width(), 276);
    EXPECT_EQ(placed.x(), 12);
}

TEST(AnnotationPlacement, ConnectorLeavesTheBorderTowardsTheAnchor)
{
    const QRectF bubble(0, 0, 100, 40);
    EXPECT_EQ(AP::connectorStart(bubble, {300, 20}), QPointF(100, 20));
    EXPECT_EQ(AP::connectorStart(bubble, {50, 20}), QPointF(50, 20));
    EXPECT_EQ(AP::connectorStart(bubble, {50, -100}), QPointF(50, 0));
}
