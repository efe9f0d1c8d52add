// The drawing tools' elements: shapes from a drag and pen strokes, each one named undo step.

#include "DocumentFixtures.h"

using namespace Kivaro;
using namespace DocumentFixtures;

using Drawing = AnnotatedDocument;

TEST_F(Drawing, AHorizontalArrowOfAHundredPixelsIsALineInAFrameGrownByTwelve)
{
    const ShotState before = document.state();
    const auto id = document.addDrawing(DrawingTool::arrow, QPointF(100, 50), QPointF(200, 50), std::nullopt, std::nullopt);
    ASSERT_TRUE(id);
    const ShapeElement arrow = *elements().shape(*id);
    EXPECT_EQ(arrow.frame, QRectF(88, 38, 124, 25));
    EXPECT_EQ(arrow.shape.start, QPointF(12.0 / 124, 12.0 / 25));
    EXPECT_EQ(arrow.shape.end, QPointF(112.0 / 124, 12.0 / 25));
    EXPECT_EQ(arrow.endLineMarker, ShapeElement::LineMarker::Arrow);
    EXPECT_EQ(arrow.lineWidth, 5.0) << "the arrow's own default; other tools 3";
    EXPECT_FALSE(arrow.fillColor);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID::shape(*id)});
    expectOneStep(before, QStringLiteral("箭头"));
}

TEST_F(Drawing, ShortOrFlatDragsAreRefusedAndEndsOutsideThePictureAreClamped)
{
    const ShotState before = document.state();
    EXPECT_FALSE(document.addDrawing(DrawingTool::arrow, QPointF(50, 50), QPointF(53, 54.9), std::nullopt, std::nullopt));
    EXPECT_FALSE(document.addDrawing(DrawingTool::rectangle, QPointF(10, 10), QPointF(210, 14), std::nullopt, std::nullopt));
    EXPECT_EQ(document.state(), before);
    EXPECT_EQ(elements().shape(*document.addDrawing(DrawingTool::rectangle, QPointF(10, 10), QPointF(210, 16), Qt::red, 8.0))->frame,
              QRectF(10, 10, 200, 6));
    // The picture is 400 × 300: both ends land on its edges.
    const ShapeElement line = *elements().shape(*document.addDrawing(DrawingTool::line, QPointF(-50, 100), QPointF(900, 700), {}, {}));
    EXPECT_EQ(line.frame, QRectF(-12, 88, 424, 224));
    EXPECT_EQ(line.endLineMarker, ShapeElement::LineMarker::None);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("直线"));
    // The step tool places its marker at the drag's end.
    const auto step = document.addDrawing(DrawingTool::step, QPointF(10, 10), QPointF(200, 150), std::nullopt, std::nullopt);
    EXPECT_EQ(elements().shape(*step)->frame.center(), QPointF(200, 150));
}

TEST_F(Drawing, AFreehandStrokeKeepsItsPointsSixtiethsOfASecondApart)
{
    const ShotState before = document.state();
    QList<QPointF> points;
    for (int i = 0; i < 61; ++i)
        points << QPointF(10 + i * 3, 20 + (i % 7));
    document.addFreehand(points, QColor(Qt::red), 8);
    const StrokeElement stroke = *elements().at(1).stroke();
    ASSERT_EQ(stroke.points.size(), 61);
    for (int i = 0; i < 61; ++i) {
        EXPECT_EQ(stroke.points[i].location, points[i]);
        EXPECT_DOUBLE_EQ(stroke.points[i].timeOffset, i / 60.0);
        EXPECT_EQ(stroke.points[i].size, QSizeF(8, 8));
    }
    EXPECT_DOUBLE_EQ(stroke.points.last().timeOffset, 1.0);
    EXPECT_FALSE(stroke.allowedInteractions.testFlag(MarkupInteraction::Style));
    expectOneStep(before, QStringLiteral("画笔"));
    const int steps = undo()->undoCount();
    document.addFreehand({QPointF(5, 5)}, QColor(Qt::red), 3);
    EXPECT_EQ(undo()->undoCount(), steps) << "one point is no stroke";
}
