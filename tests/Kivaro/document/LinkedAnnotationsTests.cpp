#include "DocumentFixtures.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "Kivaro/document/LinkedAnnotations.h"

#include "KivaroCore/AnnotationPlacement.h"

#include <QLineF>

#include <cmath>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

struct ArrowPoints {
    QPointF start, control, end;
};
ArrowPoints points(const ShapeElement &arrow)
{
    const auto map = [&](QPointF unit) {
        return QPointF(arrow.frame.x() + unit.x() * arrow.frame.width(), arrow.frame.y() + unit.y() * arrow.frame.height());
    };
    return {map(arrow.shape.start), map(arrow.shape.control), map(arrow.shape.end)};
}
double distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
}
double bend(const ArrowPoints &p)
{
    const QPointF d = p.end - p.start;
    return std::abs(d.x() * (p.start.y() - p.control.y()) - d.y() * (p.start.x() - p.control.x())) / std::hypot(d.x(), d.y());
}

// A picture with one consistent linked bubble: the bubble's own text and the link's arrow.
struct Linked {
    ShotState state;
    AnnotationLink link;
    Linked()
    {
        state = richState(400, 300);
        ShapeElement bubble = shape(QRectF(200, 40, 120, 48));
        bubble.shape = ShapeElement::Shape::roundedRectangle(0.1);
        bubble.attributedText = AttributedText(QStringLiteral("note"));
        const ShapeElement arrow = LinkedAnnotations::arrow(bubble.frame, QPointF(100, 200), MarkupID<ShapeElement>::make());
        state.markup.subelements().append(arrow);
        state.markup.subelements().append(bubble);
        link = AnnotationLink{bubble.id, arrow.id, QPointF(100, 200)};
        state.links = {link};
        state = LinkedAnnotations::reconcile(state);
    }
    ShapeElement bubble() const { return *state.markup.subelements().shape(link.bubbleID); }
    ShapeElement arrow() const { return *state.markup.subelements().shape(link.arrowID); }
    void put(const ShapeElement &s) { state.markup.subelements().updateOrAppend(s); }
    ShapeElement reconciledArrow() const { return *LinkedAnnotations::reconcile(state).markup.subelements().shape(link.arrowID); }
};

} // namespace

TEST(LinkedArrow, RunsFromTheBubbleEdgeToTheAnchorWithABoundedBend)
{
    const QRectF bubble(100, 100, 120, 48);
    const auto id = MarkupID<ShapeElement>::make();
    const QPointF far(700, 500);
    const ShapeElement arrow = LinkedAnnotations::arrow(bubble, far, id);
    const ArrowPoints p = points(arrow);
    EXPECT_NEAR(distance(p.end, far), 0, 1e-9);
    EXPECT_NEAR(distance(p.start, AnnotationPlacement::connectorStart(bubble, far)), 0, 1e-9);
    EXPECT_NEAR(bend(p), 14, 1e-9) << "the bend is capped";
    EXPECT_NEAR(arrow.frame.left(), std::min({p.start.x(), p.end.x(), p.control.x()}) - 2, 1e-9);
    EXPECT_NEAR(bend(points(LinkedAnnotations::arrow(bubble, QPointF(250, 124), id))), 30 * 0.16, 1e-9) << "a short arrow";

    // Anchor on the bubble's centre: a 4 × 4 frame around it, every point in its middle.
    const ShapeElement centred = LinkedAnnotations::arrow(bubble, bubble.center(), id);
    EXPECT_EQ(centred.frame, QRectF(bubble.center() - QPointF(2, 2), QSizeF(4, 4)));
    for (QPointF unit : {centred.shape.start, centred.shape.control, centred.shape.end})
        EXPECT_EQ(unit, QPointF(0.5, 0.5));
}

TEST(LinkedReconcile, AMovedBubbleGetsItsArrowRebuiltInPlaceTowardTheSameAnchor)
{
    Linked linked;
    ShapeElement arrow = linked.arrow();
    arrow.lineWidth = 5;
    linked.put(arrow);
    ShapeElement bubble = linked.bubble();
    bubble.frame.translate(-150, 120);
    linked.put(bubble);
    const qsizetype arrowIndex = linked.state.markup.subelements().indexOf(linked.link.arrowID);

    const ShotState result = LinkedAnnotations::reconcile(linked.state);
    const ShapeElement rebuilt = *result.markup.subelements().shape(linked.link.arrowID);
    EXPECT_EQ(result.markup.subelements().indexOf(linked.link.arrowID), arrowIndex);
    EXPECT_EQ(rebuilt.lineWidth, 5) << "any width but 1.5 carries over";
    EXPECT_NEAR(distance(points(rebuilt).end, linked.link.anchor), 0, 1e-9);
    EXPECT_NEAR(distance(points(rebuilt).start, AnnotationPlacement::connectorStart(bubble.frame, linked.link.anchor)), 0, 1e-9);
    EXPECT_EQ(result.links, linked.state.links);

    arrow = rebuilt;
    arrow.lineWidth = 1.5;
    linked.put(arrow);
    EXPECT_EQ(linked.reconciledArrow().lineWidth, 3.0);
}

TEST(LinkedReconcile, TheLinkColourComesFromTheBubbleUnlessItIsTheNeutralGrey)
{
    Linked linked;
    ShapeElement bubble = linked.bubble();
    bubble.strokeColor = QColor(Qt::red);
    bubble.allowedInteractions = MarkupInteraction::Select;
    linked.put(bubble);
    const ShotState result = LinkedAnnotations::reconcile(linked.state);
    EXPECT_EQ(result.markup.subelements().shape(linked.link.arrowID)->strokeColor, QColor(Qt::red));
    EXPECT_TRUE(result.markup.subelements().shape(linked.link.bubbleID)->allowedInteractions.testFlag(MarkupInteraction::Move));

    bubble.strokeColor = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    ShapeElement arrow = linked.arrow();
    arrow.strokeColor = QColor(Qt::darkGreen);
    linked.put(bubble);
    linked.put(arrow);
    EXPECT_EQ(linked.reconciledArrow().strokeColor, QColor(Qt::darkGreen));
    EXPECT_EQ(LinkedAnnotations::reconcile(linked.state).markup.subelements().shape(linked.link.bubbleID)->strokeColor, QColor(Qt::darkGreen));

    bubble.strokeColor.reset();
    linked.put(bubble);
    EXPECT_EQ(linked.reconciledArrow().strokeColor, AnnotationStyle::accent());
}

TEST(LinkedReconcile, AHalfGoneLinkLosesItsOtherHalfAndKeepsItsEntry)
{
    for (bool bubbleGone : {false, true}) {
        Linked linked;
        linked.state.markup.subelements().removeElement(bubbleGone ? linked.link.bubbleID : linked.link.arrowID);
        const ShotState result = LinkedAnnotations::reconcile(linked.state);
        EXPECT_EQ(result.markup.subelements().shape(linked.link.bubbleID), nullptr);
        EXPECT_EQ(result.markup.subelements().shape(linked.link.arrowID), nullptr);
        EXPECT_EQ(result.links, linked.state.links);
    }
}

TEST(LinkedReconcile, PlainMasksBecomeBlackBoxesJustBelowTheMosaicPairs)
{
    ShotState state = richState();
    ShapeElement plain = shape(QRectF(20, 60, 30, 20));
    plain.shape = ShapeElement::Shape::ellipse();
    plain.rotation = 0.7;
    plain.opacity = 0.3;
    state.markup.subelements().append(plain);
    state.masks.prepend(plain.id);
    state.markup.subelements().append(shape(QRectF(0, 0, 4, 4))); // drawn later, on top

    const ShotState result = LinkedAnnotations::reconcile(state);
    const auto &elements = result.markup.subelements();
    const ShapeElement *box = elements.shape(plain.id);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->shape, ShapeElement::Shape::rectangle());
    EXPECT_EQ(box->rotation, 0);
    EXPECT_EQ(box->opacity, 1);
    EXPECT_EQ(box->fillColor, QColor(Qt::black));
    EXPECT_FALSE(box->strokeColor.has_value());
    EXPECT_EQ(elements.indexOf(plain.id), elements.size() - 3);
    EXPECT_EQ(elements.indexOf(state.mosaics.first().imageID), elements.size() - 2);
}

// Mended: entries of deleted elements were kept for ever, so a shot's tables grew with every
// deletion past what a project file may hold. Only the most recent ones stay now.
TEST(LinkedReconcile, KeepsOnlyTheMostRecentEntriesOfDeletedElements)
{
    ShotState state = richState();
    const QList<MarkupID<ShapeElement>> liveMasks = state.masks;
    QList<MarkupID<ShapeElement>> goneMasks;
    for (int k = 0; k < 150; ++k) {
        goneMasks.append(MarkupID<ShapeElement>::make());
        state.masks.append(goneMasks.last());
        state.mosaics.append(MosaicLink{goneMasks.last(), MarkupID<ImageElement>::make()});
        state.steps.append(NumberedStep{MarkupID<ShapeElement>::make(), k + 2});
        state.links.append(AnnotationLink{MarkupID<ShapeElement>::make(), MarkupID<ShapeElement>::make(), QPointF(k, k)});
    }
    const ShotState result = LinkedAnnotations::reconcile(state);
    ASSERT_EQ(result.masks.size(), 101);
    EXPECT_EQ(result.masks.first(), liveMasks.first()) << "live entries stay, in order";
    EXPECT_EQ(result.masks.mid(1), goneMasks.mid(50)) << "the newest gone ones stay";
    ASSERT_EQ(result.mosaics.size(), 101);
    EXPECT_EQ(result.mosaics.at(1).maskID, goneMasks.at(50)) << "a mosaic link goes with its mask";
    ASSERT_EQ(result.steps.size(), 101);
    EXPECT_EQ(result.steps.first(), state.steps.first());
    EXPECT_EQ(result.steps.at(1).number, 52);
    EXPECT_EQ(result.links.size(), 101);
    EXPECT_EQ(LinkedAnnotations::reconcile(result), result);

    // Near the project file's limit fewer gone entries stay: live and gone never pass 1000.
    ShotState crowded = richState();
    for (int k = 0; k < 995; ++k) {
        ShapeElement mask = shape(QRectF(k % 100, k / 100, 2, 2));
        crowded.markup.subelements().append(mask);
        crowded.masks.append(mask.id);
    }
    for (int k = 0; k < 20; ++k)
        crowded.masks.append(MarkupID<ShapeElement>::make());
    EXPECT_EQ(LinkedAnnotations::reconcile(crowded).masks.size(), 1000);
}

namespace {
using DocumentReconcile = AnnotatedDocument;
}

TEST_F(DocumentReconcile, LeavesAConsistentDocumentAlone)
{
    document.addAnnotation("note", QPointF(100, 100));
    TestSupport::run(document.addMask(QRectF(200, 50, 60, 60)));
    const QList<ElementID> selection{ElementID(document.links().first().bubbleID)};
    select(selection);
    const int before = changes, steps = undo()->undoCount();
    const ShotState state = document.state();
    document.reconcile();
    EXPECT_EQ(changes, before);
    EXPECT_EQ(document.state(), state);
    EXPECT_EQ(undo()->undoCount(), steps);
    EXPECT_EQ(document.canvas()->selection(), selection);
}

TEST_F(DocumentReconcile, RepairsADirectEditWithoutAnUndoStepAndKeepsTheSurvivingSelection)
{
    document.addAnnotation("one", QPointF(100, 100));
    document.addAnnotation("two", QPointF(300, 200));
    const AnnotationLink one = document.links().at(0), two = document.links().at(1);
    // The user drags the first bubble on the canvas; the second loses its arrow.
    ShotState edited = document.state();
    ShapeElement bubble = *edited.markup.subelements().shape(one.bubbleID);
    bubble.frame.translate(150, 100);
    edited.markup.subelements().updateOrAppend(bubble);
    edited.markup.subelements().removeElement(two.arrowID);
    document.applyGesture(edited);
    select({ElementID(one.bubbleID), ElementID(two.bubbleID)});
    const int before = changes, steps = undo()->undoCount();

    document.reconcile();
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(undo()->undoCount(), steps);
    EXPECT_NEAR(distance(points(*elements().shape(one.arrowID)).end, one.anchor), 0, 1e-9) << "still ends on its anchor";
    EXPECT_EQ(elements().shape(two.bubbleID), nullptr);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(one.bubbleID)});
    EXPECT_EQ(document.links().size(), 2) << "the broken link's entry stays for an undo";
}
