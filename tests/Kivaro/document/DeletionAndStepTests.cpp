#include "AnnotatedDocument.h"

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

using Deletion = AnnotatedDocument;
using NumberedSteps = AnnotatedDocument;

const QString kNothingMessage = QStringLiteral("请先选中需要删除的气泡或箭头。");

QList<qint64> numbers(const ShotDocument &document)
{
    QList<qint64> result;
    for (const NumberedStep &step : document.steps())
        result.append(step.number);
    return result;
}

} // namespace

TEST_F(Deletion, ALinkGoesWholeWhicheverHalfIsSelectedAndOtherSelectionsStay)
{
    document.addAnnotation(QStringLiteral("one"), QPointF(100, 100));
    const AnnotationLink link = document.links().first();
    const ShapeElement box = shape(QRectF(300, 200, 40, 40));
    ShotState withBox = document.state();
    withBox.markup.subelements().append(box);
    document.replace(withBox, document.state(), QStringLiteral("x"));
    const ShotState before = document.state();

    select({ElementID(link.arrowID), ElementID(box.id)});
    document.deleteSelectedAnnotation();
    EXPECT_EQ(elements().shape(link.bubbleID), nullptr);
    EXPECT_EQ(elements().shape(link.arrowID), nullptr);
    EXPECT_TRUE(document.links().isEmpty());
    EXPECT_NE(elements().shape(box.id), nullptr) << "only the link goes";
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(box.id)});
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("删除标注"));

    select({});
    undo()->undo();
    EXPECT_EQ(document.state(), before);
    EXPECT_EQ(document.canvas()->selection().size(), 2) << "what reappears is selected";
    undo()->redo();
    EXPECT_TRUE(document.links().isEmpty());
}

TEST_F(Deletion, DrawingsAndStepMarkersGoButMasksAloneAreRefused)
{
    expectRefused(kNothingMessage, [&] { document.deleteSelectedAnnotation(); });
    TestSupport::run(document.addMask(QRectF(10, 10, 50, 50)));
    select({ElementID(document.masks().first())});
    expectRefused(kNothingMessage, [&] { document.deleteSelectedAnnotation(); });

    const auto first = document.addNumberedStep(QPointF(100, 100));
    const auto second = document.addNumberedStep(QPointF(200, 100));
    const ShapeElement line = shape(QRectF(250, 250, 50, 10));
    ShotState withLine = document.state();
    withLine.markup.subelements().append(line);
    document.replace(withLine, document.state(), QStringLiteral("x"));
    select({ElementID(*first), ElementID(line.id), ElementID(document.masks().first())});
    document.deleteSelectedAnnotation();
    EXPECT_EQ(elements().shape(*first), nullptr);
    EXPECT_EQ(elements().shape(line.id), nullptr);
    EXPECT_NE(elements().shape(document.masks().first()), nullptr) << "masks are deleted on the canvas itself";
    ASSERT_EQ(document.steps().size(), 1);
    EXPECT_EQ(document.steps().first().shapeID, *second);
    EXPECT_EQ(document.nextStepNumber(), 3);
}

TEST_F(NumberedSteps, CountOnFromTheHighestLiveMarker)
{
    EXPECT_EQ(document.nextStepNumber(), 1);
    QList<MarkupID<ShapeElement>> ids;
    for (int k = 0; k < 3; ++k)
        ids.append(*document.addNumberedStep(QPointF(60 + 80 * k, 100)));
    EXPECT_EQ(numbers(document), (QList<qint64>{1, 2, 3}));
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(ids.last())}) << "the new marker is selected";
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("数字步骤"));

    // Deleted on the canvas: the entry stays but no longer counts.
    select({ElementID(ids[2])});
    document.canvas()->deleteSelection();
    nextEvent();
    EXPECT_EQ(document.nextStepNumber(), 3);
    select({ElementID(ids[0])});
    document.canvas()->deleteSelection();
    nextEvent();
    EXPECT_EQ(document.nextStepNumber(), 3);
    undo()->undo();
    undo()->undo();
    EXPECT_EQ(document.nextStepNumber(), 4) << "the canvas's undo brings the marker back with its number";
    select({ElementID(ids[0])});
    document.deleteSelectedAnnotation();
    EXPECT_EQ(document.nextStepNumber(), 4);
}

TEST_F(NumberedSteps, AMarkerLiesWhollyInsideTheCanvasAndShowsItsNumber)
{
    const auto id = document.addNumberedStep(QPointF(395, 295));
    ASSERT_TRUE(id.has_value());
    const ShapeElement marker = *elements().shape(*id);
    EXPECT_EQ(marker.frame, QRectF(356, 256, 44, 44)) << "flush with the right and bottom edges";
    EXPECT_EQ(marker.attributedText.string(), QStringLiteral("1"));
    EXPECT_EQ(elements().shape(*document.addNumberedStep(QPointF(3, 2)))->frame.topLeft(), QPointF(0, 0));

    // Numbers from 100 on are set smaller.
    ShotState high = document.state();
    high.steps.last().number = 98;
    document.replace(high, document.state(), QStringLiteral("x"));
    EXPECT_EQ(elements().shape(*document.addNumberedStep(QPointF(200, 100)))->attributedText.attributesAt(0)->fontSize, 22);
    EXPECT_EQ(elements().shape(*document.addNumberedStep(QPointF(200, 100)))->attributedText.attributesAt(0)->fontSize, 16);
    EXPECT_EQ(document.steps().last().number, 100);
}

TEST_F(NumberedSteps, ClicksOutsideOrOnATinyCanvasAddNothing)
{
    const int steps = undo()->undoCount();
    EXPECT_FALSE(document.addNumberedStep(QPointF(400, 100)).has_value());
    EXPECT_FALSE(document.addNumberedStep(QPointF(-1, 100)).has_value());
    EXPECT_EQ(undo()->undoCount(), steps);
    document.load(picture(40, 300), false);
    EXPECT_FALSE(document.addNumberedStep(QPointF(20, 100)).has_value());
    EXPECT_FALSE(undo()->canUndo());
}

TEST_F(NumberedSteps, UndoAndRedoTakeTheMarkerAndItsRecordTogether)
{
    document.addNumberedStep(QPointF(50, 50));
    const ShotState one = document.state();
    const auto id = document.addNumberedStep(QPointF(150, 50));
    const ShotState two = document.state();
    undo()->undo();
    EXPECT_EQ(document.state(), one);
    select({});
    undo()->redo();
    EXPECT_EQ(document.state(), two);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(*id)}) << "the marker brought back is selected";
    document.deleteSelectedAnnotation();
    EXPECT_EQ(document.nextStepNumber(), 2);
}
