// The drawing tools' elements: shapes from a drag and pen strokes, each one named undo step.

#include "DocumentFixtures.h"

#include "Platform/Markup/DocumentLimits.h"

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

// However an element is added, a shot never holds more than its project file can: the element
// the file can still take is accepted, every tool is then refused with one message, and the
// shot still saves.
TEST_F(Drawing, NoToolTakesAShotPastWhatItsProjectFileHolds)
{
    // The picture and 19,998 small rectangles: one element short of the file's limit.
    ShotState full = document.state();
    for (qsizetype k = 0; k < Platform::DocumentLimits::kMaxElements - 2; ++k)
        full.markup.subelements().append(shape(QRectF(k % 380, (k / 380) % 280, 4, 4)));
    document.replace(full, document.state(), QStringLiteral("x"));
    ASSERT_EQ(elements().size(), Platform::DocumentLimits::kMaxElements - 1);
    const QString message = QStringLiteral("这项修改会使截图超出工程文件的限制，未执行。");

    // A mask (with its patch) and a bubble (with its arrow) would take two.
    expectRefused(message, [&] { TestSupport::run(document.addMask(QRectF(10, 10, 40, 40))); });
    expectRefused(message, [&] { document.addAnnotation(QStringLiteral("说明"), QPointF(200, 150)); });
    // One step fills the file; then nothing more goes in.
    ASSERT_TRUE(document.addNumberedStep(QPointF(200, 150)));
    ASSERT_EQ(elements().size(), Platform::DocumentLimits::kMaxElements);
    const ShotState atTheLimit = document.state();
    expectRefused(message, [&] { document.addNumberedStep(QPointF(100, 100)); });
    expectRefused(message, [&] { document.addDrawing(DrawingTool::rectangle, QPointF(10, 10), QPointF(60, 60), {}, {}); });
    expectRefused(message, [&] { document.addFreehand({QPointF(5, 5), QPointF(50, 50)}, QColor(Qt::red), 3); });
    expectRefused(message, [&] { TestSupport::run(document.addMask(QRectF(10, 10, 40, 40))); });
    expectRefused(message, [&] { document.addAnnotation(QStringLiteral("说明"), QPointF(200, 150)); });

    EXPECT_NO_THROW(TestSupport::run(document.archiveData()));
    // Undo and redo go back and forth as before.
    undo()->undo();
    EXPECT_EQ(elements().size(), Platform::DocumentLimits::kMaxElements - 1);
    undo()->redo();
    EXPECT_EQ(document.state(), atTheLimit);
}
