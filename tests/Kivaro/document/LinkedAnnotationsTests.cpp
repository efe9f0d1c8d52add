#include "AnnotatedDocument.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "Kivaro/document/LinkedAnnotations.h"

#include "KivaroCore/AnnotationPlacement.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

QPointF mapped(const ShapeElement &line, QPointF unit)
{
    return {line.frame.x() + unit.x() * line.frame.width(), line.frame.y() + unit.y() * line.frame.height()};
}

double distanceToLine(QPointF p, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    return std::abs(d.x() * (a.y() - p.y()) - d.y() * (a.x() - p.x())) / std::hypot(d.x(), d.y());
}

// A picture with one linked bubble: the bubble's own text and the link's arrow, both
// consistent.
struct Linked {
    ShotState state;
    AnnotationLink link;
    Linked()
    {
        state = richState(400, 300);
        state.links.clear();
        ShapeElement bubble = shape(QRectF(200, 40, 120, 48));
        bubble.shape = ShapeElement::Shape::roundedRectangle(0.1);
        bubble.attributedText = AttributedText(QStringLiteral("note"));
        const QPointF anchor(100, 200);
        const ShapeElement arrow = LinkedAnnotations::arrow(bubble.frame, anchor, MarkupID<ShapeElement>::make());
        state.markup.subelements().append(arrow);
        state.markup.subelements().append(bubble);
        link = AnnotationLink{bubble.id, arrow.id, anchor};
        state.links = {link};
        state = LinkedAnnotations::reconcile(state);
    }
    ShapeElement bubble() const { return *state.markup.subelements().shape(link.bubbleID); }
    ShapeElement arrow() const { return *state.markup.subelements().shape(link.arrowID); }
    void put(const ShapeElement &s) { state.markup.subelements().updateOrAppend(s); }
};

} // namespace

TEST(LinkedArrow, RunsFromTheBubbleEdgeToTheAnchorWithABoundedBend)
{
    const QRectF bubble(100, 100, 120, 48);
    const auto id = MarkupID<ShapeElement>::make();
    const QPointF far(700, 500);
    const ShapeElement arrow = LinkedAnnotations::arrow(bubble, far, id);
    const QPointF start = mapped(arrow, arrow.shape.start), control = mapped(arrow, arrow.shape.control);
    const QPointF end = mapped(arrow, arrow.shape.end);
    EXPECT_NEAR(end.x(), far.x(), 1e-9);
    EXPECT_NEAR(end.y(), far.y(), 1e-9);
    const QPointF edge = AnnotationPlacement::connectorStart(bubble, far);
    EXPECT_NEAR(start.x(), edge.x(), 1e-9);
    EXPECT_NEAR(start.y(), edge.y(), 1e-9);
    EXPECT_NEAR(distanceToLine(control, start, end), 14, 1e-9) << "the bend is capped";
    EXPECT_NEAR(arrow.frame.left(), std::min({start.x(), end.x(), control.x()}) - 2, 1e-9);

    // A short arrow bends by 0.16 of its length.
    const ShapeElement near = LinkedAnnotations::arrow(bubble, QPointF(250, 124), id);
    const QPointF s = mapped(near, near.shape.start), c = mapped(near, near.shape.control), e = mapped(near, near.shape.end);
    EXPECT_NEAR(distanceToLine(c, s, e), 30 * 0.16, 1e-9);

    // Anchor on the bubble's centre: a 4 × 4 frame around it, every point in its middle.
    const ShapeElement centred = LinkedAnnotations::arrow(bubble, bubble.center(), id);
    EXPECT_EQ(centred.frame, QRectF(bubble.center() - QPointF(2, 2), QSizeF(4, 4)));
    EXPECT_EQ(centred.shape.start, QPointF(0.5, 0.5));
    EXPECT_EQ(centred.shape.control, QPointF(0.5, 0.5));
    EXPECT_EQ(centred.shape.end, QPointF(0.5, 0.5));
}

TEST(LinkedReconcile, AConsistentStateComesBackUnchangedAndThePassIsIdempotent)
{
    const Linked linked;
    EXPECT_EQ(LinkedAnnotations::reconcile(linked.state), linked.state);
    const ShotState rich = richState();
    EXPECT_EQ(LinkedAnnotations::reconcile(LinkedAnnotations::reconcile(rich)), LinkedAnnotations::reconcile(rich));
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
    const QPointF end = mapped(rebuilt, rebuilt.shape.end);
    EXPECT_NEAR(end.x(), 100, 1e-9);
    EXPECT_NEAR(end.y(), 200, 1e-9);
    const QPointF start = mapped(rebuilt, rebuilt.shape.start);
    const QPointF edge = AnnotationPlacement::connectorStart(bubble.frame, linked.link.anchor);
    EXPECT_NEAR(start.x(), edge.x(), 1e-9);
    EXPECT_NEAR(start.y(), edge.y(), 1e-9);
    EXPECT_EQ(result.links, linked.state.links);

    arrow = rebuilt;
    arrow.lineWidth = 1.5;
    ShotState thin = result;
    thin.markup.subelements().updateOrAppend(arrow);
    EXPECT_EQ(LinkedAnnotations::reconcile(thin).markup.subelements().shape(linked.link.arrowID)->lineWidth, 3.0);
}

TEST(LinkedReconcile, TheLinkColourComesFromTheBubbleUnlessItIsTheNeutralGrey)
{
    Linked linked;
    ShapeElement bubble = linked.bubble();
    bubble.strokeColor = QColor(Qt::red);
    bubble.allowedInteractions = MarkupInteraction::Select;
    linked.put(bubble);
    ShotState result = LinkedAnnotations::reconcile(linked.state);
    EXPECT_EQ(result.markup.subelements().shape(linked.link.arrowID)->strokeColor, QColor(Qt::red));
    EXPECT_TRUE(result.markup.subelements().shape(linked.link.bubbleID)->allowedInteractions.testFlag(MarkupInteraction::Move));

    bubble.strokeColor = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    ShapeElement arrow = linked.arrow();
    arrow.strokeColor = QColor(Qt::darkGreen);
    linked.put(bubble);
    linked.put(arrow);
    result = LinkedAnnotations::reconcile(linked.state);
    EXPECT_EQ(result.markup.subelements().shape(linked.link.arrowID)->strokeColor, QColor(Qt::darkGreen));
    EXPECT_EQ(result.markup.subelements().shape(linked.link.bubbleID)->strokeColor, QColor(Qt::darkGreen));

    bubble.strokeColor.reset();
    linked.put(bubble);
    result = LinkedAnnotations::reconcile(linked.state);
    EXPECT_EQ(result.markup.subelements().shape(linked.link.arrowID)->strokeColor, AnnotationStyle::accent());
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
        EXPECT_EQ(LinkedAnnotations::reconcile(result), result);
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
    EXPECT_EQ(elements.indexOf(state.mosaics.first().maskID), elements.size() - 1);
}

// What the canvas's own undo of a mask deletion relies on: the mask's link survives its
// shape's absence, and the patch comes back under its old identity with the shape.
TEST(LinkedReconcile, ADeletedMaskKeepsItsMosaicLinkAndGetsItsPatchBack)
{
    const ShotState state = LinkedAnnotations::reconcile(richState());
    const MosaicLink link = state.mosaics.first();
    const ShapeElement mask = *state.markup.subelements().shape(link.maskID);
    ShotState deleted = state;
    deleted.markup.subelements().removeElement(link.maskID);
    deleted = LinkedAnnotations::reconcile(deleted);
    EXPECT_EQ(deleted.markup.subelements().image(link.imageID), nullptr);
    EXPECT_EQ(deleted.mosaics, state.mosaics);
    EXPECT_EQ(deleted.masks, state.masks);

    deleted.markup.subelements().append(mask);
    const ShotState restored = LinkedAnnotations::reconcile(deleted);
    ASSERT_NE(restored.markup.subelements().image(link.imageID), nullptr);
    EXPECT_EQ(restored.markup.subelements().image(link.imageID)->frame, mask.frame);
}

// Mended: entries of deleted elements were kept for ever, so a shot's tables grew with every
// deletion past what a project file may hold. Only the most recent ones stay now.
TEST(LinkedReconcile, KeepsOnlyTheMostRecentEntriesOfDeletedElements)
{
    ShotState state = richState();
    const QList<MarkupID<ShapeElement>> liveMasks = state.masks;
    QList<MarkupID<ShapeElement>> goneMasks;
    for (int k = 0; k < 150; ++k) {
        const auto mask = MarkupID<ShapeElement>::make();
        goneMasks.append(mask);
        state.masks.append(mask);
        state.mosaics.append(MosaicLink{mask, MarkupID<ImageElement>::make()});
        state.steps.append(NumberedStep{MarkupID<ShapeElement>::make(), k + 2});
        state.links.append(AnnotationLink{MarkupID<ShapeElement>::make(), MarkupID<ShapeElement>::make(), QPointF(k, k)});
    }
    const ShotState result = LinkedAnnotations::reconcile(state);
    ASSERT_EQ(result.masks.size(), 101);
    EXPECT_EQ(result.masks.first(), liveMasks.first()) << "live entries stay, in order";
    EXPECT_EQ(result.masks.mid(1), goneMasks.mid(50)) << "the newest gone ones stay";
    ASSERT_EQ(result.mosaics.size(), 101);
    EXPECT_EQ(result.mosaics.at(1).maskID, goneMasks.at(50)) << "a mosaic link goes with its mask";
    EXPECT_EQ(result.steps.size(), 101);
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
    document.addAnnotation(QStringLiteral("note"), QPointF(100, 100));
    TestSupport::run(document.addMask(QRectF(200, 50, 60, 60)));
    select({ElementID(document.links().first().bubbleID)});
    const int before = changes, steps = undo()->undoCount();
    const ShotState state = document.state();
    document.reconcile();
    EXPECT_EQ(changes, before);
    EXPECT_EQ(document.state(), state);
    EXPECT_EQ(undo()->undoCount(), steps);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(document.links().first().bubbleID)});
}

TEST_F(DocumentReconcile, RepairsADirectEditWithoutAnUndoStepAndKeepsTheSurvivingSelection)
{
    document.addAnnotation(QStringLiteral("one"), QPointF(100, 100));
    document.addAnnotation(QStringLiteral("two"), QPointF(300, 200));
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
    const ShapeElement arrow = *elements().shape(one.arrowID);
    EXPECT_NEAR(arrow.frame.x() + arrow.shape.end.x() * arrow.frame.width(), 100, 1e-9) << "still ends on its anchor";
    EXPECT_EQ(elements().shape(two.bubbleID), nullptr);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(one.bubbleID)});
    EXPECT_EQ(document.links().size(), 2) << "the broken link's entry stays for an undo";
}
