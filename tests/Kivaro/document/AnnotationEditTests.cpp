#include "DocumentFixtures.h"

#include "Kivaro/document/ProjectArchive.h"

#include <QFile>
#include <QTemporaryDir>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

using PrivacyMasks = AnnotatedDocument;
using Deletion = AnnotatedDocument;
using NumberedSteps = AnnotatedDocument;

const QString kSizeMessage = QStringLiteral("请拖出至少 4 像素的遮挡区域。");
const QString kNothingMessage = QStringLiteral("请先选中需要删除的气泡或箭头。");

QImage patchOf(const ShotDocument &document, int index = 0)
{
    return document.markup().subelements().image(document.state().mosaics.at(index).imageID)->image.image();
}

} // namespace

TEST_F(PrivacyMasks, AMaskIsAClearShapeOverItsPatchOnTopAsOneStep)
{
    const ShotState before = document.state();
    TestSupport::run(document.addMask(QRectF(10, 20, 3.6, 30.2)));
    const ShotState state = document.state();
    ASSERT_EQ(state.mosaics.size(), 1);
    const MosaicLink link = state.mosaics.first();
    EXPECT_EQ(state.masks, QList<MarkupID<ShapeElement>>{link.maskID});
    EXPECT_EQ(elements().indexOf(link.imageID), elements().size() - 2);
    EXPECT_EQ(elements().indexOf(link.maskID), elements().size() - 1);
    const QRectF frame = elements().shape(link.maskID)->frame;
    EXPECT_EQ(frame, QRectF(10, 20, 4, 31)) << "rounded outward to whole pixels";
    EXPECT_EQ(elements().image(link.imageID)->frame, frame);
    EXPECT_EQ(patchOf(document), MosaicRenderer::patch(state.mosaicBackground, frame));
    expectOneStep(before, QStringLiteral("添加隐私遮挡"));
}

TEST_F(PrivacyMasks, RectanglesAreClippedToThePictureAndRefusedBelowFourPixels)
{
    TestSupport::run(document.addMask(QRectF(440, 330, -60, -40))); // dragged up and left, past the corner
    EXPECT_EQ(elements().shape(document.masks().first())->frame, QRectF(380, 290, 20, 10));
    EXPECT_EQ(patchOf(document).size(), QSize(20, 10));

    for (const QRectF rect : {QRectF(400, 10, 30, 30), QRectF(10, 10, 2.9, 30), QRectF(-50, -50, 20, 20), QRectF(qQNaN(), 0, 10, 10)})
        expectRefused(kSizeMessage, [&] { TestSupport::run(document.addMask(rect)); });
    ShotDocument empty;
    EXPECT_EQ(refusal([&] { TestSupport::run(empty.addMask(QRectF(0, 0, 10, 10))); }), kSizeMessage);
}

TEST_F(PrivacyMasks, AProjectWithoutBackgroundGetsOneAtItsFirstMask)
{
    ShotState bare = document.state();
    bare.mosaicBackground.reset();
    QTemporaryDir dir;
    QFile file(dir.filePath("bare.kivaro"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ProjectArchive::encodeNow(bare));
    file.close();
    document.open(file.fileName());
    TestSupport::run(document.addMask(QRectF(10, 10, 40, 40)));
    const auto background = document.state().mosaicBackground;
    EXPECT_EQ(background, MosaicRenderer::background(picture(400, 300), 24));
    TestSupport::run(document.addMask(QRectF(100, 10, 40, 40)));
    EXPECT_EQ(document.state().mosaicBackground, background) << "later masks reuse it";
}

TEST_F(PrivacyMasks, TheGrainRepixelatesEveryPatchWhereItsMaskIsNow)
{
    TestSupport::run(document.addMask(QRectF(10, 10, 100, 80)));
    TestSupport::run(document.addMask(QRectF(200, 100, 120, 90)));
    // The user moves the second mask on the canvas; the editor then reconciles.
    ShapeElement moved = *elements().shape(document.masks().at(1));
    moved.frame = QRectF(150.5, 120, 100, 100);
    ShotState dragged = document.state();
    dragged.markup.subelements().updateOrAppend(moved);
    document.applyGesture(dragged);
    document.reconcile();
    const ShotState before = document.state();

    const int steps = undo()->undoCount();
    TestSupport::run(document.setMosaicGrain(24));
    TestSupport::run(document.setMosaicGrain(30));
    EXPECT_EQ(undo()->undoCount(), steps) << "the current grain and unoffered ones are ignored";

    TestSupport::run(document.setMosaicGrain(64));
    EXPECT_EQ(document.mosaicGrain(), 64);
    const auto background = MosaicRenderer::background(picture(400, 300), 64);
    EXPECT_EQ(document.state().mosaicBackground, background);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(patchOf(document, k), MosaicRenderer::patch(background, elements().shape(document.masks().at(k))->frame)) << k;
        EXPECT_EQ(document.state().mosaics.at(k), before.mosaics.at(k)) << "patches keep their identities";
    }
    EXPECT_EQ(elements().shape(document.masks().at(1))->frame, QRectF(150, 120, 101, 100));
    expectOneStep(before, QStringLiteral("调整马赛克颗粒"));
}

// Mended: a shot could take more masks than a project file may hold.
TEST_F(PrivacyMasks, AShotTakesNoMoreMasksThanAProjectFileHolds)
{
    ShotState crowded = document.state();
    for (int k = 0; k < 1000; ++k) {
        ShapeElement mask = shape(QRectF(k % 300, k / 300, 5, 5));
        crowded.markup.subelements().append(mask);
        crowded.masks.append(mask.id);
    }
    document.replace(crowded, document.state(), QStringLiteral("x"));
    expectRefused(QStringLiteral("一张截图最多 1000 个隐私遮挡。"), [&] { TestSupport::run(document.addMask(QRectF(10, 10, 50, 50))); });
}

TEST_F(Deletion, ALinkGoesWholeWhicheverHalfIsSelectedAndOtherSelectionsStay)
{
    document.addAnnotation("one", QPointF(100, 100));
    const AnnotationLink link = document.links().first();
    const ShapeElement box = shape(QRectF(300, 200, 40, 40));
    draw(box);
    const ShotState before = document.state();

    select({ElementID(link.arrowID), ElementID(box.id)});
    document.deleteSelectedAnnotation();
    EXPECT_EQ(elements().shape(link.bubbleID), nullptr);
    EXPECT_EQ(elements().shape(link.arrowID), nullptr);
    EXPECT_TRUE(document.links().isEmpty());
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(box.id)}) << "only the link goes";
    select({});
    expectOneStep(before, QStringLiteral("删除标注"));
    undo()->undo();
    EXPECT_EQ(document.canvas()->selection().size(), 2) << "what reappears is selected";
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
    draw(line);
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
    EXPECT_EQ(document.steps().last().number, 3);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(ids.last())}) << "the new marker is selected";
    const ShotState three = document.state();
    undo()->undo();
    select({});
    undo()->redo();
    EXPECT_EQ(document.state(), three) << "undo and redo take the marker and its record together";
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(ids.last())});
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("数字步骤"));

    // Deleted on the canvas: the entry stays but no longer counts. The processing between the
    // deletions closes the canvas's undo group as the next user event would.
    for (int k : {2, 0}) {
        select({ElementID(ids[k])});
        document.canvas()->deleteSelection();
        QCoreApplication::processEvents();
        EXPECT_EQ(document.nextStepNumber(), 3);
    }
    undo()->undo();
    undo()->undo();
    EXPECT_EQ(document.nextStepNumber(), 4) << "the canvas's undo brings the marker back with its number";
    select({ElementID(ids[0])});
    document.deleteSelectedAnnotation();
    EXPECT_EQ(document.nextStepNumber(), 4);
}

TEST_F(NumberedSteps, AMarkerLiesWhollyInsideTheCanvasAndShowsItsNumber)
{
    const ShapeElement marker = *elements().shape(*document.addNumberedStep(QPointF(395, 295)));
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
    EXPECT_FALSE(document.addNumberedStep(QPointF(400, 100)).has_value());
    EXPECT_FALSE(document.addNumberedStep(QPointF(-1, 100)).has_value());
    document.load(picture(40, 300), false);
    EXPECT_FALSE(document.addNumberedStep(QPointF(20, 100)).has_value());
    EXPECT_FALSE(undo()->canUndo());
}
