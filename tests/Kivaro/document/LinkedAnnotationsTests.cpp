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

// A document with two linked bubbles; tests edit a copy of its state as the canvas would.
struct Links : AnnotatedDocument {
    AnnotationLink one, two;
    ShotState state;
    void SetUp() override
    {
        AnnotatedDocument::SetUp();
        document.addAnnotation("one", QPointF(100, 100));
        document.addAnnotation("two", QPointF(300, 200));
        one = document.links().at(0);
        two = document.links().at(1);
        state = document.state();
    }
    static ShapeElement in(const ShotState &s, const MarkupID<ShapeElement> &id) { return *s.markup.subelements().shape(id); }
    void put(const ShapeElement &e) { state.markup.subelements().updateOrAppend(e); }
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

TEST_F(Links, AMovedBubbleGetsItsArrowRebuiltInPlaceAndAHalfGoneLinkLosesItsOtherHalf)
{
    ShapeElement arrow = in(state, one.arrowID);
    arrow.lineWidth = 5;
    put(arrow);
    ShapeElement bubble = in(state, one.bubbleID);
    bubble.frame.translate(150, 100);
    put(bubble);
    state.markup.subelements().removeElement(two.bubbleID);

    const ShotState result = LinkedAnnotations::reconcile(state);
    const ShapeElement rebuilt = in(result, one.arrowID);
    EXPECT_EQ(result.markup.subelements().indexOf(one.arrowID), state.markup.subelements().indexOf(one.arrowID));
    EXPECT_EQ(rebuilt.lineWidth, 5) << "any width but 1.5 carries over";
    EXPECT_NEAR(distance(points(rebuilt).end, one.anchor), 0, 1e-9);
    EXPECT_NEAR(distance(points(rebuilt).start, AnnotationPlacement::connectorStart(bubble.frame, one.anchor)), 0, 1e-9);
    EXPECT_EQ(result.markup.subelements().shape(two.arrowID), nullptr) << "the arrow of a deleted bubble goes too";
    EXPECT_EQ(result.links, state.links) << "entries stay for the canvas's undo";

    arrow = rebuilt;
    arrow.lineWidth = 1.5;
    put(arrow);
    EXPECT_EQ(in(LinkedAnnotations::reconcile(state), one.arrowID).lineWidth, 3.0);
}

TEST_F(Links, TheLinkColourComesFromTheBubbleUnlessItIsTheNeutralGrey)
{
    ShapeElement bubble = in(state, one.bubbleID);
    bubble.strokeColor = QColor(Qt::red);
    bubble.allowedInteractions = MarkupInteraction::Select;
    put(bubble);
    ShotState result = LinkedAnnotations::reconcile(state);
    EXPECT_EQ(in(result, one.arrowID).strokeColor, QColor(Qt::red));
    EXPECT_TRUE(in(result, one.bubbleID).allowedInteractions.testFlag(MarkupInteraction::Move)) << "restyled";

    bubble.strokeColor = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    ShapeElement arrow = in(state, one.arrowID);
    arrow.strokeColor = QColor(Qt::darkGreen);
    put(bubble);
    put(arrow);
    result = LinkedAnnotations::reconcile(state);
    EXPECT_EQ(in(result, one.arrowID).strokeColor, QColor(Qt::darkGreen));
    EXPECT_EQ(in(result, one.bubbleID).strokeColor, QColor(Qt::darkGreen));

    bubble.strokeColor.reset();
    put(bubble);
    EXPECT_EQ(in(LinkedAnnotations::reconcile(state), one.arrowID).strokeColor, AnnotationStyle::accent());
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

TEST_F(Links, ADocumentReconcileLeavesAConsistentDocumentAlone)
{
    TestSupport::run(document.addMask(QRectF(200, 50, 60, 60)));
    select({ElementID(one.bubbleID)});
    const int before = changes, steps = undo()->undoCount();
    const ShotState consistent = document.state();
    document.reconcile();
    EXPECT_EQ(changes, before);
    EXPECT_EQ(document.state(), consistent);
    EXPECT_EQ(undo()->undoCount(), steps);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(one.bubbleID)});
}

TEST_F(Links, ADocumentReconcileRepairsADirectEditWithoutAnUndoStepAndKeepsTheSurvivingSelection)
{
    // The user drags the first bubble on the canvas; the second loses its arrow.
    ShapeElement bubble = in(state, one.bubbleID);
    bubble.frame.translate(150, 100);
    put(bubble);
    state.markup.subelements().removeElement(two.arrowID);
    document.applyGesture(state);
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
