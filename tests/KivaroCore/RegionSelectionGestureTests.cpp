#include "KivaroCore/RegionSelectionGesture.h"

#include <gtest/gtest.h>

using Kivaro::RegionSelectionGesture;

namespace {
const QRectF screen(0, 0, 960, 600);
}

TEST(RegionSelectionGesture, StartOutsideTheBoundsClampsTheAnchorButNotThePointer)
{
    RegionSelectionGesture gesture(QPointF(-20, 700), screen);
    EXPECT_EQ(gesture.anchor(), QPointF(0, 600));
    EXPECT_EQ(gesture.lastPointer(), QPointF(-20, 700));
    EXPECT_EQ(gesture.rect(), QRectF(0, 600, 0, 0));
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

TEST(RegionSelectionGesture, ResizingAfterAMoveKeepsThePointerDistance)
{
    RegionSelectionGesture gesture(QPointF(100, 100), screen);
    gesture.update(QPointF(200, 200), false, false);
    gesture.update(QPointF(250, 220), false, true);
    const QPointF moved = gesture.endpoint();
    gesture.update(QPointF(250, 220), false, false);
    EXPECT_EQ(gesture.endpoint(), moved);
    gesture.update(QPointF(5000, -100), false, false);
    EXPECT_EQ(gesture.endpoint(), QPointF(960, 0)) << "the corner stays on the bounds";
}
