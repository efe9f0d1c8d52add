#include "MarkupFixtures.h"

#include "Platform/Markup/MarkupCanvas.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Platform;
using namespace MarkupFixtures;

namespace {

struct CanvasScene : ::testing::Test {
    MarkupCanvas canvas;
    ShapeElement movable = rectangle(QRectF(10, 10, 40, 40), MarkupInteraction::Select | MarkupInteraction::Move |
                                                                 MarkupInteraction::Resize | MarkupInteraction::Delete);
    ShapeElement fixed = rectangle(QRectF(100, 10, 40, 40), MarkupInteraction::Select);
    ImageElement background = imageElement(picture(200, 100));

    void SetUp() override
    {
        canvas.resize(400, 200); // zoom 2 for the 200 × 100 markup, never shown
        Markup markup(QRectF(0, 0, 200, 100));
        markup.subelements().append(background);
        markup.subelements().append(movable);
        markup.subelements().append(fixed);
        canvas.setMarkup(markup);
        canvas.setContentVisibleFrame(QRectF(0, 0, 200, 100));
    }
    QRectF frameOf(const ShapeElement &s) const { return canvas.markup()->subelements().shape(s.id)->frame; }
    QPointF view(double x, double y) const { return canvas.viewPoint(QPointF(x, y)); }
};

} // namespace

TEST_F(CanvasScene, VisibleFrameAndZoomMapViewPointsToMarkupPoints)
{
    EXPECT_DOUBLE_EQ(canvas.zoomScale(), 2.0);
    EXPECT_EQ(canvas.contentVisibleFrame(), QRectF(0, 0, 200, 100));
    EXPECT_EQ(canvas.markupPoint(QPointF(100, 50)), QPointF(50, 25));
    QSignalSpy visible(&canvas, &MarkupCanvas::contentVisibleFrameChanged);
    canvas.setContentVisibleFrame(QRectF(-24, -24, 248, 148));
    EXPECT_EQ(visible.count(), 1);
    EXPECT_DOUBLE_EQ(canvas.zoomScale(), qMin(400.0 / 248, 200.0 / 148));
    EXPECT_NEAR(canvas.contentVisibleFrame().center().x(), 100, 1e-9);
    canvas.setZoomScale(1);
    EXPECT_EQ(canvas.contentVisibleFrame().size(), QSizeF(400, 200));
}

TEST_F(CanvasScene, SelectsMovesAndResizesOnlyWhatEachElementAllows)
{
    QSignalSpy selection(&canvas, &MarkupCanvas::selectionChanged);
    QSignalSpy changed(&canvas, &MarkupCanvas::markupChanged);
    canvas.pressAt(view(5, 90)); // the picture cannot be selected
    EXPECT_TRUE(canvas.selection().isEmpty());
    canvas.pressAt(view(20, 20));
    canvas.dragTo(view(25, 22));
    canvas.releaseAt(view(30, 25));
    EXPECT_EQ(canvas.selection(), QList<ElementID>{ElementID(movable.id)});
    EXPECT_EQ(frameOf(movable), QRectF(20, 15, 40, 40));
    EXPECT_EQ(selection.count(), 1);
    EXPECT_EQ(changed.count(), 1) << "one notification per committed gesture";

    canvas.pressAt(view(110, 20)); // selectable, not movable
    canvas.releaseAt(view(150, 60));
    EXPECT_EQ(canvas.selection(), QList<ElementID>{ElementID(fixed.id)});
    EXPECT_EQ(frameOf(fixed), fixed.frame);

    canvas.pressAt(view(30, 30));
    canvas.releaseAt(view(30, 30));
    canvas.pressAt(view(60, 55)); // bottom-right handle of the moved rectangle
    canvas.releaseAt(view(70, 60));
    EXPECT_EQ(frameOf(movable), QRectF(20, 15, 50, 45));

    canvas.pressAt(view(115, 20), Qt::ShiftModifier);
    EXPECT_EQ(canvas.selection().size(), 2);
    canvas.pressAt(view(190, 90)); // empty spot clears
    EXPECT_TRUE(canvas.selection().isEmpty());
}

TEST_F(CanvasScene, EditsAreUndoableStepsAndDeleteHonoursTheInteractions)
{
    UndoManager *undo = canvas.undoManager();
    canvas.pressAt(view(20, 20));
    canvas.releaseAt(view(30, 20));
    QCoreApplication::processEvents();
    canvas.setSelection({ElementID(movable.id), ElementID(fixed.id), ElementID(background.id)});
    canvas.deleteSelection();
    QCoreApplication::processEvents();
    EXPECT_EQ(canvas.markup()->subelements().size(), 2);
    EXPECT_EQ(canvas.selection(), (QList<ElementID>{ElementID(fixed.id), ElementID(background.id)}));
    EXPECT_EQ(undo->undoCount(), 2);
    undo->undo();
    EXPECT_EQ(frameOf(movable), QRectF(20, 10, 40, 40));
    undo->undo();
    EXPECT_EQ(frameOf(movable), movable.frame);
    undo->redo();
    undo->redo();
    EXPECT_EQ(canvas.markup()->subelements().shape(movable.id), nullptr);
}

TEST(MarkupCanvas, SeveralCanvasesLiveSideBySideAndPaintWithoutAWindow)
{
    MarkupCanvas a, b;
    a.resize(100, 50);
    b.resize(100, 50);
    Markup markup(QRectF(0, 0, 100, 50));
    markup.setBackgroundColor(Qt::white);
    const ShapeElement box = rectangle(QRectF(0, 0, 50, 50), MarkupInteraction::Select | MarkupInteraction::Delete);
    markup.subelements().append(box);
    a.setMarkup(markup);
    b.setMarkup(markup);
    a.setContentVisibleFrame(markup.bounds());
    b.setContentVisibleFrame(markup.bounds());
    a.setSelection({ElementID(box.id)});
    a.deleteSelection();
    EXPECT_EQ(a.markup()->subelements().size(), 0);
    EXPECT_EQ(b.markup()->subelements().size(), 1);
    EXPECT_FALSE(b.undoManager()->canUndo());
    const QImage shot = b.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(25, 25)), QColor(200, 30, 30));
    EXPECT_EQ(QColor(shot.pixel(75, 25)), QColor(Qt::white));
}
