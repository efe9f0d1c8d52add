#include "KivaroCore/AnnotationPlacement.h"
#include "KivaroCore/RegionSelectionGesture.h"

#include <gtest/gtest.h>

using Kivaro::RegionSelectionGesture;
namespace AP = Kivaro::AnnotationPlacement;

namespace {
const QRectF screen(0, 0, 960, 600);
}

TEST(RegionSelectionGesture, AnchorAndCornerStayInsideTheBoundsButThePointerIsKept)
{
    RegionSelectionGesture gesture(QPointF(-20, 700), screen);
    EXPECT_EQ(gesture.anchor(), QPointF(0, 600));
    EXPECT_EQ(gesture.lastPointer(), QPointF(-20, 700));
    EXPECT_EQ(gesture.rect(), QRectF(0, 600, 0, 0));
    gesture.update(QPointF(5000, -100), false, false);
    EXPECT_EQ(gesture.endpoint(), QPointF(960, 0));
}

TEST(RegionSelectionGesture, ShiftSquaresTowardsTheDragWithinTheRoomLeft)
{
    RegionSelectionGesture gesture(QPointF(100, 100), screen);
    gesture.update(QPointF(130, 90), true, false);
    EXPECT_EQ(gesture.rect(), QRectF(100, 70, 30, 30));

    RegionSelectionGesture nearEdge(QPointF(950, 100), screen);
    nearEdge.update(QPointF(1000, 150), true, false);
    EXPECT_EQ(nearEdge.rect(), QRectF(950, 100, 10, 10));

    RegionSelectionGesture zero(QPointF(100, 100), screen);
    zero.update(QPointF(100, 60), true, false); // dx = 0 counts as positive
    EXPECT_EQ(zero.rect(), QRectF(100, 60, 40, 40));
}

// The overlay's own walk-through: square drag, Space move, Space release.
TEST(RegionSelectionGesture, SquareThenMoveThenReleaseKeepsTheMovedRectangle)
{
    RegionSelectionGesture gesture(QPointF(100, 100), screen);
    gesture.update(QPointF(340, 220), true, false);
    EXPECT_EQ(gesture.rect(), QRectF(100, 100, 240, 240));
    gesture.update(QPointF(370, 240), true, true);
    EXPECT_EQ(gesture.rect(), QRectF(130, 120, 240, 240));
    gesture.update(QPointF(370, 240), true, false);
    EXPECT_EQ(gesture.rect(), QRectF(130, 120, 240, 240));
}

TEST(RegionSelectionGesture, MovingStopsAtTheBoundsAndComesBackAtOnce)
{
    RegionSelectionGesture gesture(QPointF(805, 100), screen);
    gesture.update(QPointF(905, 150), false, false); // 100 x 50, right edge 55 from the bound
    gesture.update(QPointF(955, 150), false, true);  // +50 moves by 50
    EXPECT_EQ(gesture.rect(), QRectF(855, 100, 100, 50));
    gesture.update(QPointF(975, 150), false, true); // +20 with 5 left moves by 5
    EXPECT_EQ(gesture.rect(), QRectF(860, 100, 100, 50));
    gesture.update(QPointF(955, 150), false, true); // -20 moves back by 20 at once
    EXPECT_EQ(gesture.rect(), QRectF(840, 100, 100, 50));
}

TEST(AnnotationPlacement, ImagePointMapsThroughTheVisibleFrame)
{
    EXPECT_FALSE(AP::imagePoint({1, 1}, {0, 10}, {0, 0, 10, 10}).has_value());
    EXPECT_FALSE(AP::imagePoint({1, 1}, {10, 0}, {0, 0, 10, 10}).has_value());
    EXPECT_EQ(AP::imagePoint({3, 4}, {10, 10}, {0, 0, 10, 10}), QPointF(3, 4));
    EXPECT_EQ(AP::imagePoint({50, 25}, {100, 50}, {200, 100, 400, 200}), QPointF(400, 200));
}

TEST(AnnotationPlacement, NearestCandidateWinsWithAmpleRoomAndAnOversizedBubbleShrinks)
{
    const QRectF canvas(0, 0, 2000, 2000);
    const QPointF anchor(1000, 1000);
    // 40 x 60: candidate 1, right of and above the anchor.
    EXPECT_EQ(AP::bubble(anchor, {40, 60}, canvas, {}), QRectF(1034, 1000 - 28 - 60, 40, 60));
    // 200 x 60: candidate 5, centred on the anchor's x.
    EXPECT_EQ(AP::bubble(anchor, {200, 60}, canvas, {}), QRectF(900, 1000 - 56 - 60, 200, 60));
    // Wider than the canvas less 24: shrunk to that width, 12 points from the left edge.
    EXPECT_EQ(AP::bubble({50, 100}, {500, 40}, QRectF(0, 0, 300, 300), {}).left(), 12);
    EXPECT_EQ(AP::bubble({50, 100}, {500, 40}, QRectF(0, 0, 300, 300), {}).width(), 276);
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

TEST(AnnotationPlacement, ConnectorLeavesTheBorderTowardsTheAnchor)
{
    const QRectF bubble(0, 0, 100, 40);
    EXPECT_EQ(AP::connectorStart(bubble, {300, 20}), QPointF(100, 20));
    EXPECT_EQ(AP::connectorStart(bubble, {50, 20}), QPointF(50, 20));
    EXPECT_EQ(AP::connectorStart(bubble, {50, -100}), QPointF(50, 0));
}
