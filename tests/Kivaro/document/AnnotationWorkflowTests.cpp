// One scripted session on the sample picture, as the editor drives the document: two linked
// bubbles, a mask, three steps, a deletion, a grain change, undo and redo, saving, reopening
// and both renderings.

#include "DocumentFixtures.h"

#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/SampleImage.h"

#include "Platform/Image/ImageDecoding.h"

#include <QSet>
#include <QTemporaryDir>

using namespace Kivaro;
using namespace DocumentFixtures;

namespace {

QImage decoded(const QByteArray &png)
{
    return Platform::decodeImage(png).image.convertToFormat(QImage::Format_ARGB32);
}

QSet<QRgb> coloursIn(const QImage &image, const QRect &area)
{
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            colours.insert(image.pixel(x, y));
    return colours;
}

} // namespace

TEST(AnnotationWorkflow, ASessionOnTheSamplePictureSurvivesUndoSavingAndReopening)
{
    ShotDocument document;
    document.canvas()->resize(1000, 700);
    document.load(SampleImage::make(), false);
    UndoManager *undo = document.canvas()->undoManager();

    document.addAnnotation(QStringLiteral("太阳的颜色偏暖，和调色板一致"), QPointF(456, 283));
    document.addAnnotation(QStringLiteral("Palette colours come from the landscape"), QPointF(705, 427));
    // Over the title of the card.
    const QRectF masked(36, 106, 440, 72);
    TestSupport::run(document.addMask(masked));
    QList<MarkupID<ShapeElement>> steps;
    for (const QPointF p : {QPointF(110, 330), QPointF(300, 420), QPointF(728, 537)})
        steps.append(*document.addNumberedStep(p));
    ASSERT_EQ(document.links().size(), 2);
    ASSERT_EQ(document.masks().size(), 1);
    EXPECT_EQ(document.nextStepNumber(), 4);

    const ShotState beforeDeletion = document.state();
    document.canvas()->setSelection({ElementID(steps.at(1))});
    document.deleteSelectedAnnotation();
    ASSERT_EQ(document.steps().size(), 2);
    EXPECT_EQ(document.steps().last().number, 3);
    const ShotState afterDeletion = document.state();

    TestSupport::run(document.setMosaicGrain(12));
    const ShotState fine = document.state();
    EXPECT_EQ(undo->undoActionName(), QStringLiteral("调整马赛克颗粒"));

    undo->undo();
    EXPECT_EQ(document.state(), afterDeletion);
    undo->undo();
    EXPECT_EQ(document.state(), beforeDeletion);
    EXPECT_EQ(document.canvas()->selection(), QList<ElementID>{ElementID(steps.at(1))}) << "the marker that came back";
    undo->redo();
    EXPECT_EQ(document.state(), afterDeletion);
    undo->redo();
    EXPECT_EQ(document.state(), fine);
    EXPECT_FALSE(undo->canRedo());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.kivaro"));
    TestSupport::run(document.save(path));
    EXPECT_FALSE(document.hasUnsavedChanges());
    EXPECT_EQ(document.state(), fine) << "nothing left to repair before saving";
    ShotDocument reopened;
    reopened.open(path);
    EXPECT_EQ(reopened.state(), document.state());
    EXPECT_EQ(reopened.nextStepNumber(), 4);
    EXPECT_EQ(reopened.mosaicGrain(), 12);

    const QByteArray exported = TestSupport::run(reopened.png(std::nullopt, false));
    const QByteArray forRecognition = TestSupport::run(reopened.png(std::nullopt, true));
    EXPECT_EQ(exported, TestSupport::run(document.png(std::nullopt, false))) << "equal states render to equal bytes";

    const QImage image = decoded(exported);
    const QImage recognition = decoded(forRecognition);
    const QImage plain = SampleImage::make().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(960, 600));
    const QRect area = masked.toRect().adjusted(1, 1, -1, -1);
    // Pixelated: the picture's own pixels under the mask are replaced by cells of 12 × 12.
    const QImage expected = MosaicRenderer::patch(reopened.state().mosaicBackground, masked).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(image.pixel(area.center()), expected.pixel(area.center() - masked.topLeft().toPoint()));
    EXPECT_LE(coloursIn(image, area).size(), (area.width() / 12 + 2) * (area.height() / 12 + 2));
    EXPECT_GT(coloursIn(plain, area).size(), coloursIn(image, area).size());
    EXPECT_EQ(coloursIn(recognition, area), QSet<QRgb>{qRgb(0, 0, 0)}) << "black for text recognition";
    // Outside the mask both renderings show the same annotated picture.
    EXPECT_EQ(image.pixel(5, 300), recognition.pixel(5, 300));
    EXPECT_EQ(image.pixel(5, 300), plain.pixel(5, 300));
}

// Mended: the tables of a long-lived shot kept an entry for every mask and step ever deleted on
// the canvas, until the project written from it was refused by its own reader.
TEST(AnnotationWorkflow, ALongSessionOfCanvasDeletionsStillSavesAReadableProject)
{
    ShotDocument document;
    document.canvas()->resize(800, 600);
    document.load(DocumentFixtures::picture(300, 200), false);
    for (int k = 0; k < 1100; ++k) {
        TestSupport::run(document.addMask(QRectF(10, 10, 40, 40)));
        document.addNumberedStep(QPointF(150, 100));
        document.canvas()->setSelection({ElementID(document.masks().last()), ElementID(document.steps().last().shapeID)});
        document.canvas()->deleteSelection(); // on the canvas: the entries stay behind
        document.reconcile();                  // as the editor does after a canvas edit
    }
    EXPECT_LE(document.masks().size(), 100);
    EXPECT_LE(document.steps().size(), 100);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.kivaro"));
    TestSupport::run(document.save(path));
    ShotDocument reopened;
    reopened.open(path);
    EXPECT_EQ(reopened.state(), document.state());
    EXPECT_EQ(ProjectArchive::decode(TestSupport::run(document.archiveData())).masks.size(), document.masks().size());
}
