#include "DocumentFixtures.h"

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {
using LoadedDocument = AnnotatedDocument;
}

// Equality is the only test of whether a document changed.
TEST(ShotState, EqualityComparesEveryFieldByValue)
{
    const ShotState a = richState();
    ShotState b = a;
    b.mosaicBackground = QByteArray(*a.mosaicBackground); // an equal copy in another buffer
    b.mosaicBackground->detach();
    ImageElement base = *a.markup.subelements().at(0).image();
    base.image = MarkupImage(picture(200, 100)); // the same pixels, built apart
    b.markup.subelements().updateOrAppend(base);
    EXPECT_EQ(a, b);

    const std::function<void(ShotState &)> edits[] = {
        [](ShotState &s) { s.links[0].anchor.rx() += 1e-9; },
        [](ShotState &s) { s.masks.clear(); },
        [](ShotState &s) { s.mosaics.append(s.mosaics.first()); },
        [](ShotState &s) { s.mosaicBackground.reset(); },
        [](ShotState &s) { (*s.mosaicBackground)[40] = char(~(*s.mosaicBackground)[40]); },
        [](ShotState &s) { s.steps[0].number = 2; },
        [](ShotState &s) { s.mosaicGrain = 24; },
        [](ShotState &s) {
            ShapeElement moved = *s.markup.subelements().at(1).shape();
            moved.frame.translate(1, 0);
            s.markup.subelements().updateOrAppend(moved);
        },
    };
    for (size_t k = 0; k < std::size(edits); ++k) {
        ShotState c = a;
        edits[k](c);
        EXPECT_FALSE(c == a) << "edit " << k;
    }
}

TEST(ShotDocument, AnEmptyDocumentHasNothingToFitAndALoadedOneAFreshHistory)
{
    ShotDocument document;
    EXPECT_EQ(document.state().markup.bounds(), QRectF());
    EXPECT_FALSE(document.hasImage());
    const double zoom = document.canvas()->zoomScale();
    document.fit();
    EXPECT_EQ(document.canvas()->zoomScale(), zoom);

    int changes = 0;
    document.didChange = [&] { ++changes; };
    document.load(picture(200, 100), false);
    const ShotState state = document.state();
    EXPECT_EQ(state.markup.bounds(), QRectF(0, 0, 200, 100));
    ASSERT_EQ(state.markup.subelements().size(), 1);
    EXPECT_EQ(state.markup.subelements().at(0).allowedInteractions(), MarkupInteractions()) << "an inert picture";
    EXPECT_EQ(state.mosaicBackground, MosaicRenderer::background(picture(200, 100), 24));
    EXPECT_FALSE(document.canvas()->undoManager()->canUndo());
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_EQ(changes, 1);
}

TEST_F(LoadedDocument, ReplaceIsOneNamedStepUndoRedoSwapStatesBackAndGesturesLeaveNoStep)
{
    const ShotState before = document.state();
    const ShapeElement box = shape(QRectF(10, 10, 20, 20));
    document.replace(with(box), before, QStringLiteral("数字步骤"));
    EXPECT_TRUE(document.hasUnsavedChanges());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(undo()->groupingLevel(), 0);
    undo()->undo();
    EXPECT_EQ(document.state(), before);
    EXPECT_FALSE(document.hasUnsavedChanges()) << "unedited again, by value";
    EXPECT_EQ(undo()->redoActionName(), QStringLiteral("数字步骤"));
    undo()->redo();
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(box.id)}) << "a redone addition shows selected";
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("数字步骤"));

    const int notified = changes;
    document.applyGesture(with(shape(QRectF(1, 1, 5, 5))));
    EXPECT_EQ(undo()->undoCount(), 1);
    EXPECT_EQ(changes, notified) << "a gesture sends no notification";
}

TEST_F(LoadedDocument, UndoOfADeletionSelectsWhatReappearsAndEditsKeepSurvivingSelection)
{
    const ShapeElement a = shape(QRectF(10, 10, 20, 20)), b = shape(QRectF(50, 10, 20, 20));
    draw(a);
    draw(b);
    EXPECT_EQ(undo()->undoCount(), 2) << "two commits in one event are two steps";
    select({ElementID(a.id), ElementID(b.id)});
    ShotState deleted = document.state();
    deleted.markup.subelements().removeElement(a.id);
    document.replace(deleted, document.state(), QStringLiteral("删除标注"));
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(b.id)});
    select({});
    undo()->undo();
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(a.id)});
}

// Mended: a host destroyed with the canvas it adopted left the document pointing at nothing.
TEST_F(LoadedDocument, OutlivesAHostThatTookItsCanvasAlongWithTheContentLastShown)
{
    const ShapeElement removed = shape(QRectF(60, 60, 20, 20));
    draw(shape(QRectF(10, 10, 40, 30)));
    draw(removed);
    select({ElementID(removed.id)});
    document.canvas()->deleteSelection(); // an edit of the canvas's own
    const ShotState before = document.state();
    {
        QWidget host;
        document.canvas()->setParent(&host);
    }
    ASSERT_NE(document.canvas(), nullptr);
    EXPECT_EQ(document.canvas()->parent(), nullptr);
    EXPECT_EQ(document.state(), before);
    draw(shape(QRectF(100, 100, 20, 20)));
    EXPECT_EQ(document.state().markup.subelements().size(), before.markup.subelements().size() + 1);
    undo()->undo();
    EXPECT_EQ(document.state(), before);
}

TEST_F(LoadedDocument, SelectedDrawingsLeaveOutMasksAndThePicture)
{
    const ShapeElement drawing = shape(QRectF(10, 10, 20, 20)), mask = shape(QRectF(40, 10, 20, 20));
    ShotState next = with(drawing);
    next.markup.subelements().append(mask);
    next.masks = {mask.id};
    document.replace(next, document.state(), QStringLiteral("x"));
    select({ElementID(mask.id), elements().at(0).elementID(), ElementID(drawing.id)});
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
