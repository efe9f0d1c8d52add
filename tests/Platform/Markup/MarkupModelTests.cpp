#include "MarkupFixtures.h"

#include "Platform/Markup/UndoManager.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace Platform;
using namespace MarkupFixtures;

TEST(MarkupOrderedSet, KeepsDrawingOrderAndLooksUpByTypedIdentity)
{
    MarkupOrderedSet set;
    const ShapeElement a = rectangle(QRectF(0, 0, 10, 10));
    const ShapeElement b = rectangle(QRectF(5, 5, 10, 10));
    const ImageElement picture = imageElement(MarkupFixtures::picture(4, 4));
    set.append(picture);
    set.append(a);
    set.append(b);
    ASSERT_EQ(set.size(), 3);
    EXPECT_EQ(set.shape(b.id)->frame, b.frame);
    // An identity of another kind finds nothing.
    EXPECT_EQ(set.shape(MarkupID<ShapeElement>(picture.id.uuid())), nullptr);
    EXPECT_FALSE(set.contains(ElementID::stroke(MarkupID<StrokeElement>(a.id.uuid()))));

    ShapeElement moved = a;
    moved.frame.translate(3, 0);
    set.updateOrAppend(moved);
    EXPECT_EQ(set.indexOf(a.id), 1) << "updateOrAppend replaces in place";
    set.append(moved);
    EXPECT_EQ(set.indexOf(a.id), 2) << "append moves an existing identity on top";
    EXPECT_EQ(set.size(), 3);

    set.removeElement(picture.id);
    set.removeElement(MarkupID<ShapeElement>::make()); // absent: harmless
    EXPECT_EQ(set.size(), 2);
    EXPECT_EQ(set.indexOf(b.id), 0);
    EXPECT_EQ(set.indexOf(a.id), 1);
}

TEST(MarkupValue, CopiesAreIndependentAndEqualityFollowsContent)
{
    const Markup original = richMarkup();
    Markup copy = original;
    EXPECT_EQ(copy, original);
    ShapeElement changed = *copy.subelements().at(1).shape();
    changed.opacity = 0.5;
    copy.subelements().updateOrAppend(changed);
    EXPECT_NE(copy, original);
    EXPECT_EQ(original.subelements().at(1).shape()->opacity, 1.0);

    // Images compare by content, not by identity of the buffer.
    const QImage pixels = picture(30, 20);
    EXPECT_EQ(MarkupImage(pixels), MarkupImage(pixels.copy()));
    EXPECT_EQ(MarkupImage(pixels), MarkupImage(pixels.convertToFormat(QImage::Format_ARGB32)));
    QImage other = pixels.copy();
    other.setPixel(29, 19, qRgb(0, 0, 0));
    EXPECT_NE(MarkupImage(pixels), MarkupImage(other));
    EXPECT_NE(MarkupImage(pixels), MarkupImage());

    // Mended: an X11 capture's RGB32 carries 0x00 in the unused byte where a decoded PNG has 0xff.
    QImage captured = pixels.copy();
    for (int y = 0; y < captured.height(); ++y)
        for (int x = 0; x < captured.width(); ++x)
            reinterpret_cast<QRgb *>(captured.scanLine(y))[x] &= 0x00ffffff;
    EXPECT_EQ(MarkupImage(captured), MarkupImage(QImage::fromData(MarkupImage(captured).pngData(), "PNG")));
    EXPECT_EQ(MarkupImage(captured).image().pixel(3, 2), pixels.pixel(3, 2));
}

TEST(AttributedText, MergesEqualRunsAndAnswersAttributesByIndex)
{
    TextAttributes plain;
    TextAttributes red = plain;
    red.foregroundColor = Qt::red;
    AttributedText text(QStringLiteral("ab"), plain);
    text.append(QStringLiteral("cd"), plain);
    EXPECT_EQ(text.runs().size(), 1);
    text.append(QStringLiteral("ef"), red);
    EXPECT_EQ(text.runs().size(), 2);
    EXPECT_EQ(text.attributesAt(4)->foregroundColor, QColor(Qt::red));
    EXPECT_FALSE(text.attributesAt(6).has_value());
    EXPECT_FALSE(text.setRuns({TextRun{2, plain}}));
    EXPECT_TRUE(text.setRuns({TextRun{3, red}, TextRun{3, red}}));
    EXPECT_EQ(text.runs().size(), 1);
}

TEST(StrokeElement, FrameIncludesThePenAndFollowsMovesAndResizes)
{
    StrokeElement stroke;
    stroke.ink.width = 4;
    stroke.points = {StrokePoint(), StrokePoint()};
    stroke.points[0].location = QPointF(10, 10);
    stroke.points[1].location = QPointF(30, 20);
    EXPECT_EQ(stroke.frame(), QRectF(8, 8, 24, 14));
    MarkupElement element(stroke);
    element.setFrame(QRectF(108, 8, 44, 24));
    EXPECT_EQ(element.frame(), QRectF(108, 8, 44, 24));
    EXPECT_EQ(element.stroke()->transform.map(QPointF(30, 20)), QPointF(150, 30));
}

namespace {
// A value whose every change registers its own undo, the way the document does.
struct Counter {
    UndoManager &undo;
    int value = 0;
    void set(int next, const QString &name = {})
    {
        const int old = value;
        undo.registerUndo([this, old] { set(old); });
        if (!name.isEmpty())
            undo.setActionName(name);
        value = next;
    }
};
void endEvent()
{
    QCoreApplication::processEvents();
}
} // namespace

TEST(UndoManager, GroupsOneEventIntoOneStepAndOnlyANewRegistrationClearsRedo)
{
    UndoManager undo;
    Counter c{undo};
    c.set(1);
    c.set(2, QStringLiteral("two"));
    EXPECT_EQ(undo.groupingLevel(), 1);
    endEvent();
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_EQ(undo.undoCount(), 1);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("two"));
    undo.undo();
    EXPECT_EQ(c.value, 0);
    ASSERT_TRUE(undo.canRedo());
    EXPECT_EQ(undo.redoActionName(), QStringLiteral("two"));
    undo.redo();
    EXPECT_EQ(c.value, 2);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("two"));

    // Redoing registers an undo without clearing the remaining redo; a new registration clears it.
    c.set(3, QStringLiteral("three"));
    endEvent();
    undo.undo();
    undo.undo();
    undo.redo();
    EXPECT_EQ(c.value, 2);
    EXPECT_TRUE(undo.canRedo());
    c.set(7);
    EXPECT_FALSE(undo.canRedo());
    endEvent();
}

TEST(UndoManager, ExplicitGroupsNestAndUndoClosesTheOpenEventGroup)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter c{undo};
    undo.beginUndoGrouping();
    c.set(1);
    undo.beginUndoGrouping();
    c.set(2, QStringLiteral("inner"));
    undo.endUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 1);
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 1);
    undo.beginUndoGrouping();
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 1) << "an empty group is dropped";

    // Without grouping by event, each registration outside a group is a step of its own.
    c.set(3);
    c.set(4);
    EXPECT_EQ(undo.undoCount(), 3);

    undo.setGroupsByEvent(true);
    c.set(5, QStringLiteral("pending"));
    EXPECT_EQ(undo.groupingLevel(), 1);
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("pending"));
    undo.undo(); // closes the event group first
    EXPECT_EQ(c.value, 4);
    EXPECT_EQ(undo.groupingLevel(), 0);
    for (int step = 0; step < 3; ++step)
        undo.undo();
    EXPECT_EQ(c.value, 0);
    EXPECT_FALSE(undo.canUndo());
    endEvent();
}

TEST(UndoManager, DisablingNestsAndRemovingAllActionsResetsGroupingAndRegistration)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter c{undo};
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    c.set(1);
    undo.enableUndoRegistration();
    c.set(2);
    EXPECT_FALSE(undo.canUndo());
    undo.enableUndoRegistration();
    undo.enableUndoRegistration(); // unbalanced: ignored
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    c.set(3);
    EXPECT_EQ(undo.undoCount(), 1);
    undo.beginUndoGrouping();
    undo.disableUndoRegistration();
    undo.removeAllActions();
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    EXPECT_FALSE(undo.canUndo());
}
