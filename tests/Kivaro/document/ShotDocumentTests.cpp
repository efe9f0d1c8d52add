#include "DocumentFixtures.h"

#include "Kivaro/document/ShotDocument.h"

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

struct LoadedDocument : ::testing::Test {
    ShotDocument document;
    int changes = 0;
    void SetUp() override
    {
        document.canvas()->resize(800, 600);
        document.didChange = [this] { ++changes; };
        document.load(picture(200, 100), false);
    }
    // A new state with one more shape, as an editing operation builds it.
    ShotState withShape(const ShapeElement &s) const
    {
        ShotState next = document.state();
        next.markup.subelements().append(s);
        return next;
    }
};

} // namespace

TEST(ShotDocumentEmpty, HasNoImageNothingToFitAndNoChanges)
{
    ShotDocument document;
    EXPECT_EQ(document.state().markup.bounds(), QRectF());
    EXPECT_FALSE(document.hasImage());
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_EQ(document.mosaicGrain(), 24);
    const double zoom = document.canvas()->zoomScale();
    document.fit();
    EXPECT_EQ(document.canvas()->zoomScale(), zoom);
}

TEST_F(LoadedDocument, LoadMakesOneInertPictureAndAFreshHistory)
{
    const ShotState state = document.state();
    EXPECT_EQ(state.markup.bounds(), QRectF(0, 0, 200, 100));
    ASSERT_EQ(state.markup.subelements().size(), 1);
    EXPECT_EQ(state.markup.subelements().at(0).kind(), MarkupKind::Image);
    EXPECT_EQ(state.markup.subelements().at(0).allowedInteractions(), MarkupInteractions());
    EXPECT_TRUE(state.mosaicBackground.has_value());
    EXPECT_FALSE(document.fileURL().has_value());
    EXPECT_FALSE(document.canvas()->undoManager()->canUndo());
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(document.hasImage());
}

TEST_F(LoadedDocument, ReplaceIsOneNamedStepAndUndoRedoSwapStatesBack)
{
    const ShotState before = document.state();
    const ShapeElement box = shape(QRectF(10, 10, 20, 20));
    document.replace(withShape(box), before, QStringLiteral("数字步骤"));
    EXPECT_TRUE(document.hasUnsavedChanges());
    EXPECT_EQ(changes, 2);
    UndoManager *undo = document.canvas()->undoManager();
    EXPECT_EQ(undo->undoActionName(), QStringLiteral("数字步骤"));
    EXPECT_EQ(undo->groupingLevel(), 0);
    undo->undo();
    EXPECT_EQ(document.state(), before);
    EXPECT_FALSE(document.hasUnsavedChanges()) << "unedited again, by value";
    EXPECT_EQ(undo->redoActionName(), QStringLiteral("数字步骤"));
    undo->redo();
    EXPECT_NE(document.markup().subelements().shape(box.id), nullptr);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(box.id)}) << "a redone addition shows selected";
    EXPECT_EQ(undo->undoActionName(), QStringLiteral("数字步骤"));
}

TEST_F(LoadedDocument, UndoOfADeletionSelectsWhatReappearsAndEditsKeepSurvivingSelection)
{
    const ShapeElement a = shape(QRectF(10, 10, 20, 20));
    const ShapeElement b = shape(QRectF(50, 10, 20, 20));
    document.replace(withShape(a), document.state(), QStringLiteral("a"));
    document.replace(withShape(b), document.state(), QStringLiteral("b"));
    EXPECT_EQ(document.canvas()->undoManager()->undoCount(), 2) << "two commits in one event are two steps";
    document.canvas()->setSelection({ElementID(a.id), ElementID(b.id)});
    ShotState deleted = document.state();
    deleted.markup.subelements().removeElement(a.id);
    document.replace(deleted, document.state(), QStringLiteral("删除标注"));
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(b.id)});
    document.canvas()->setSelection({});
    document.canvas()->undoManager()->undo();
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(a.id)});
}

TEST_F(LoadedDocument, GesturesLeaveNoUndoAndSendNoNotification)
{
    const int before = changes;
    document.applyGesture(withShape(shape(QRectF(1, 1, 5, 5))));
    EXPECT_EQ(document.markup().subelements().size(), 2);
    EXPECT_FALSE(document.canvas()->undoManager()->canUndo());
    EXPECT_EQ(changes, before);
}

TEST_F(LoadedDocument, SelectedDrawingsLeaveOutMasksAndThePicture)
{
    const ShapeElement drawing = shape(QRectF(10, 10, 20, 20));
    const ShapeElement mask = shape(QRectF(40, 10, 20, 20));
    ShotState next = withShape(drawing);
    next.markup.subelements().append(mask);
    next.masks = {mask.id};
    document.replace(next, document.state(), QStringLiteral("x"));
    document.canvas()->setSelection({ElementID(mask.id), document.markup().subelements().at(0).elementID(), ElementID(drawing.id)});
    EXPECT_EQ(document.selectedDrawingIDs(), QList<MarkupID<ShapeElement>>{drawing.id});
}

TEST_F(LoadedDocument, KeepsItsGrainAcrossLoadsAndFitsSmallPicturesUp)
{
    ShotState coarse = document.state();
    coarse.mosaicGrain = 40;
    document.replace(coarse, document.state(), QStringLiteral("调整马赛克颗粒"));
    document.load(picture(10, 10), false);
    EXPECT_EQ(document.mosaicGrain(), 40);
    EXPECT_EQ(document.state().mosaicBackground, MosaicRenderer::background(picture(10, 10), 40));

    document.canvas()->resize(1000, 800);
    document.fit();
    EXPECT_DOUBLE_EQ(document.canvas()->zoomScale(), 800.0 / 58);
    EXPECT_NEAR(document.canvas()->contentVisibleFrame().center().x(), 5, 1e-9);
    EXPECT_NEAR(document.canvas()->contentVisibleFrame().center().y(), 5, 1e-9);
}

TEST(ShotDocuments, SeveralLiveSideBySideWithTheirOwnHistory)
{
    ShotDocument one, two;
    one.load(picture(50, 50), false);
    two.load(picture(60, 40), true);
    one.replace([&] {
        ShotState s = one.state();
        s.markup.subelements().append(shape(QRectF(1, 1, 5, 5)));
        return s;
    }(), one.state(), QStringLiteral("x"));
    EXPECT_TRUE(one.canvas()->undoManager()->canUndo());
    EXPECT_FALSE(two.canvas()->undoManager()->canUndo());
    EXPECT_TRUE(two.isSample());
    EXPECT_EQ(two.markup().bounds(), QRectF(0, 0, 60, 40));
}
