#include "AnnotatedDocument.h"

#include "Kivaro/document/ProjectArchive.h"

#include <QFile>
#include <QTemporaryDir>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

using PrivacyMasks = AnnotatedDocument;

const QString kSizeMessage = QStringLiteral("请拖出至少 4 像素的遮挡区域。");

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
    ASSERT_EQ(state.masks.size(), 1);
    ASSERT_EQ(state.mosaics.size(), 1);
    const MosaicLink link = state.mosaics.first();
    EXPECT_EQ(link.maskID, state.masks.first());
    const auto &all = elements();
    EXPECT_EQ(all.indexOf(link.imageID), all.size() - 2);
    EXPECT_EQ(all.indexOf(link.maskID), all.size() - 1);
    const ShapeElement mask = *all.shape(link.maskID);
    EXPECT_EQ(mask.frame, QRectF(10, 20, 4, 31)) << "rounded outward to whole pixels";
    const ImageElement patch = *all.image(link.imageID);
    EXPECT_EQ(patch.frame, mask.frame);
    EXPECT_EQ(patch.image.image(), MosaicRenderer::patch(state.mosaicBackground, mask.frame));
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("添加隐私遮挡"));

    undo()->undo();
    EXPECT_EQ(document.state(), before);
    undo()->redo();
    EXPECT_EQ(document.state(), state);
}

TEST_F(PrivacyMasks, RectanglesAreClippedToThePictureAndRefusedBelowFourPixels)
{
    TestSupport::run(document.addMask(QRectF(440, 330, -60, -40))); // dragged up and left, past the corner
    EXPECT_EQ(elements().shape(document.masks().first())->frame, QRectF(380, 290, 20, 10));
    EXPECT_EQ(patchOf(document).size(), QSize(20, 10));

    expectRefused(kSizeMessage, [&] { TestSupport::run(document.addMask(QRectF(400, 10, 30, 30))); }); // touches the edge
    expectRefused(kSizeMessage, [&] { TestSupport::run(document.addMask(QRectF(10, 10, 2.9, 30))); });
    expectRefused(kSizeMessage, [&] { TestSupport::run(document.addMask(QRectF(-50, -50, 20, 20))); });
    expectRefused(kSizeMessage, [&] { TestSupport::run(document.addMask(QRectF(qQNaN(), 0, 10, 10))); });
}

TEST_F(PrivacyMasks, AProjectWithoutBackgroundGetsOneAtItsFirstMask)
{
    ShotState bare = document.state();
    bare.mosaicBackground.reset();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bare.kivaro"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ProjectArchive::encodeNow(bare));
    file.close();
    document.open(path);
    EXPECT_FALSE(document.state().mosaicBackground.has_value());
    TestSupport::run(document.addMask(QRectF(10, 10, 40, 40)));
    const auto background = document.state().mosaicBackground;
    ASSERT_TRUE(background.has_value());
    EXPECT_EQ(background, MosaicRenderer::background(picture(400, 300), 24));
    TestSupport::run(document.addMask(QRectF(100, 10, 40, 40)));
    EXPECT_EQ(document.state().mosaicBackground, background) << "later masks reuse it";

    ShotDocument empty;
    EXPECT_EQ(refusal(empty.addMask(QRectF(0, 0, 10, 10))), kSizeMessage);
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
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("调整马赛克颗粒"));
    const auto background = MosaicRenderer::background(picture(400, 300), 64);
    EXPECT_EQ(document.state().mosaicBackground, background);
    for (int k = 0; k < 2; ++k) {
        const ShapeElement mask = *elements().shape(document.masks().at(k));
        EXPECT_EQ(patchOf(document, k), MosaicRenderer::patch(background, mask.frame)) << k;
        EXPECT_EQ(document.state().mosaics.at(k), before.mosaics.at(k)) << "patches keep their identities";
    }
    EXPECT_EQ(elements().shape(document.masks().at(1))->frame, QRectF(150, 120, 101, 100));

    undo()->undo();
    EXPECT_EQ(document.state(), before) << "grain, background and patches in one step";
}

TEST_F(PrivacyMasks, PlainMasksOfOlderFilesStayBlackThroughAGrainChange)
{
    ShapeElement plain = shape(QRectF(30, 30, 40, 40));
    ShotState older = document.state();
    older.markup.subelements().append(plain);
    older.masks = {plain.id};
    document.replace(older, document.state(), QStringLiteral("x"));
    TestSupport::run(document.setMosaicGrain(12));
    const ShapeElement box = *elements().shape(plain.id);
    EXPECT_EQ(box.fillColor, QColor(Qt::black));
    EXPECT_TRUE(document.state().mosaics.isEmpty());
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
