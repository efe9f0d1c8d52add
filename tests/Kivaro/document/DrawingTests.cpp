// The drawing tools' elements: shapes from a drag and pen strokes, each one named undo step.

#include "DocumentFixtures.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "Kivaro/document/internal/DrawingEdits.h"

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

struct Drawing : AnnotatedDocument {
    const ShapeElement *added(const std::optional<MarkupID<ShapeElement>> &id) const { return id ? elements().shape(*id) : nullptr; }
    // Refused: no change, no step.
    void expectNothing(const std::function<void()> &operation)
    {
        const ShotState before = document.state();
        const int steps = undo()->undoCount();
        operation();
        EXPECT_EQ(document.state(), before);
        EXPECT_EQ(undo()->undoCount(), steps);
    }
};

QPointF absolute(const ShapeElement &s, QPointF unit)
{
    return QPointF(s.frame.left() + unit.x() * s.frame.width(), s.frame.top() + unit.y() * s.frame.height());
}

} // namespace

TEST_F(Drawing, AHorizontalArrowOfAHundredPixelsIsALineInAFrameGrownByTwelve)
{
    const ShotState before = document.state();
    const auto id = document.addDrawing(DrawingTool::arrow, QPointF(100, 50), QPointF(200, 50), std::nullopt, std::nullopt);
    const ShapeElement *arrow = added(id);
    ASSERT_TRUE(arrow);
    EXPECT_EQ(arrow->frame, QRectF(88, 38, 124, 25));
    EXPECT_EQ(arrow->shape.kind, ShapeElement::Shape::Kind::Line);
    EXPECT_DOUBLE_EQ(arrow->shape.start.x(), 12.0 / 124);
    EXPECT_DOUBLE_EQ(arrow->shape.start.y(), 12.0 / 25);
    EXPECT_DOUBLE_EQ(arrow->shape.end.x(), 112.0 / 124);
    EXPECT_DOUBLE_EQ(arrow->shape.end.y(), 12.0 / 25);
    EXPECT_EQ(arrow->endLineMarker, ShapeElement::LineMarker::Arrow);
    EXPECT_EQ(arrow->startLineMarker, ShapeElement::LineMarker::None);
    EXPECT_EQ(arrow->lineWidth, 5.0);
    EXPECT_EQ(arrow->strokeColor, AnnotationStyle::accent());
    EXPECT_FALSE(arrow->fillColor);
    EXPECT_EQ(arrow->allowedInteractions, MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize |
                                              MarkupInteraction::Style | MarkupInteraction::Delete);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID::shape(*id)});
    expectOneStep(before, QStringLiteral("箭头"));
}

TEST_F(Drawing, ShapesTakeTheirToolsDefaultsOrTheChosenColourAndWidth)
{
    const QColor pink = QColor::fromRgbF(1, 0.176f, 0.333f);
    const ShapeElement *line = added(document.addDrawing(DrawingTool::line, QPointF(10, 10), QPointF(60, 90), std::nullopt, std::nullopt));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->lineWidth, 3.0);
    EXPECT_EQ(line->endLineMarker, ShapeElement::LineMarker::None);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("直线"));
    const ShapeElement *ellipse = added(document.addDrawing(DrawingTool::ellipse, QPointF(10, 10), QPointF(60, 90), pink, 8.0));
    ASSERT_TRUE(ellipse);
    EXPECT_EQ(ellipse->shape.kind, ShapeElement::Shape::Kind::Ellipse);
    EXPECT_EQ(ellipse->frame, QRectF(10, 10, 50, 80));
    EXPECT_EQ(ellipse->strokeColor, pink);
    EXPECT_EQ(ellipse->lineWidth, 8.0);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("椭圆"));
    // A chosen width applies to arrows too.
    EXPECT_EQ(added(document.addDrawing(DrawingTool::arrow, QPointF(10, 10), QPointF(60, 90), std::nullopt, 3.0))->lineWidth, 3.0);
}

TEST_F(Drawing, ShortOrFlatDragsAreRefusedAndEndsOutsideThePictureAreClamped)
{
    expectNothing([&] { EXPECT_FALSE(document.addDrawing(DrawingTool::arrow, QPointF(50, 50), QPointF(50, 50), std::nullopt, std::nullopt)); });
    expectNothing([&] { EXPECT_FALSE(document.addDrawing(DrawingTool::line, QPointF(50, 50), QPointF(53, 54.9), std::nullopt, std::nullopt)); });
    expectNothing([&] { EXPECT_FALSE(document.addDrawing(DrawingTool::rectangle, QPointF(10, 10), QPointF(210, 14), std::nullopt, std::nullopt)); });
    const ShapeElement *flat = added(document.addDrawing(DrawingTool::rectangle, QPointF(10, 10), QPointF(210, 16), std::nullopt, std::nullopt));
    ASSERT_TRUE(flat);
    EXPECT_EQ(flat->frame, QRectF(10, 10, 200, 6));
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("矩形"));

    // The picture is 400 × 300: both ends land on its edges.
    const ShapeElement *arrow = added(document.addDrawing(DrawingTool::arrow, QPointF(-50, 100), QPointF(900, 700), std::nullopt, std::nullopt));
    ASSERT_TRUE(arrow);
    EXPECT_EQ(absolute(*arrow, arrow->shape.start), QPointF(0, 100));
    EXPECT_EQ(absolute(*arrow, arrow->shape.end), QPointF(400, 300));
}

TEST_F(Drawing, TheStepToolPlacesANumberedStepAtTheEndOfItsDrag)
{
    const ShotState before = document.state();
    const auto id = document.addDrawing(DrawingTool::step, QPointF(10, 10), QPointF(200, 150), std::nullopt, std::nullopt);
    ASSERT_TRUE(added(id));
    EXPECT_EQ(added(id)->frame.center(), QPointF(200, 150));
    EXPECT_EQ(document.steps().size(), 1);
    expectOneStep(before, QStringLiteral("数字步骤"));
    // A click is a step too; a click off the picture is not.
    EXPECT_TRUE(document.addDrawing(DrawingTool::step, QPointF(60, 60), QPointF(60, 60), std::nullopt, std::nullopt));
    expectNothing([&] { EXPECT_FALSE(document.addDrawing(DrawingTool::step, QPointF(0, 0), QPointF(500, 60), std::nullopt, std::nullopt)); });
}

TEST_F(Drawing, AFreehandStrokeKeepsItsPointsSixtiethsOfASecondApart)
{
    const ShotState before = document.state();
    QList<QPointF> points;
    for (int i = 0; i < 61; ++i)
        points << QPointF(10 + i * 3, 20 + (i % 7));
    select({});
    document.addFreehand(points, QColor(Qt::red), 8);
    ASSERT_EQ(elements().size(), 2);
    const StrokeElement *stroke = elements().at(1).stroke();
    ASSERT_TRUE(stroke);
    ASSERT_EQ(stroke->points.size(), 61);
    for (int i = 0; i < 61; ++i) {
        EXPECT_EQ(stroke->points[i].location, points[i]);
        EXPECT_DOUBLE_EQ(stroke->points[i].timeOffset, i / 60.0);
        EXPECT_EQ(stroke->points[i].size, QSizeF(8, 8));
        EXPECT_EQ(stroke->points[i].force, 1.0);
        EXPECT_DOUBLE_EQ(stroke->points[i].altitude, M_PI / 2);
    }
    EXPECT_DOUBLE_EQ(stroke->points.last().timeOffset, 1.0);
    EXPECT_EQ(stroke->ink.type, Ink::Type::Pen);
    EXPECT_EQ(stroke->ink.color, QColor(Qt::red));
    EXPECT_FALSE(stroke->allowedInteractions.testFlag(MarkupInteraction::Style));
    EXPECT_TRUE(document.canvas()->selection().isEmpty()) << "a stroke leaves the selection as it was";
    expectOneStep(before, QStringLiteral("画笔"));

    expectNothing([&] { document.addFreehand({QPointF(5, 5)}, QColor(Qt::red), 3); });
    // A click: two equal points make a stroke.
    document.addFreehand({QPointF(5, 5), QPointF(5, 5)}, QColor(Qt::red), 3);
    EXPECT_EQ(elements().size(), 3);
}

TEST_F(Drawing, AFullMarkupTakesNoMoreDrawings)
{
    ShotState full = document.state();
    for (qsizetype i = full.markup.subelements().size(); i < DocumentLimits::kMaxElements; ++i)
        full.markup.subelements().append(shape(QRectF(1, 1, 2, 2)));
    document.replace(full, document.state(), QStringLiteral("fill"));
    expectNothing([&] { EXPECT_FALSE(document.addDrawing(DrawingTool::arrow, QPointF(10, 10), QPointF(90, 90), std::nullopt, std::nullopt)); });
    expectNothing([&] { document.addFreehand({QPointF(5, 5), QPointF(50, 50)}, QColor(Qt::red), 3); });
}
