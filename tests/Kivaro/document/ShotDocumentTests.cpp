#include "DocumentFixtures.h"
#include "Kivaro/document/ShotRenderer.h"
#include "Platform/Image/PngEncoder.h"
#include "Platform/Markup/MarkupRenderer.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QPainter>

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

// The export draws bands of rows in parallel, each with only the elements that reach into it;
// the pixels equal one drawing of the whole, elements across the band seams included.
TEST(ShotRenderer, BandsDrawnInParallelEqualOneDrawingOfTheWhole)
{
    Kivaro::ShotState state = DocumentFixtures::richState(300, 1400);
    using namespace Platform;
    ShapeElement bubble = DocumentFixtures::shape(QRectF(20, 230, 200, 60));
    bubble.fillColor = QColor(255, 255, 255, 250);
    TextAttributes attributes;
    attributes.fontSize = 22;
    bubble.attributedText = AttributedText(QStringLiteral("跨过分界线的文字 across the seam"), attributes);
    ShapeElement arrow = DocumentFixtures::shape(QRectF(40, 480, 200, 80));
    arrow.shape = ShapeElement::Shape::line({0, 0}, {1.4, -0.5}, {1, 1});
    arrow.endLineMarker = ShapeElement::LineMarker::Arrow;
    arrow.lineWidth = 6;
    ShapeElement turned = DocumentFixtures::shape(QRectF(100, 740, 160, 50));
    turned.rotation = 0.7;
    StrokeElement stroke;
    stroke.ink.color = Qt::red;
    stroke.ink.width = 9;
    for (int k = 0; k < 40; ++k)
        stroke.points.append(StrokePoint{QPointF(30 + k * 5, 1010 + (k % 7) * 6), 0, QSizeF(9, 9), 1, 1, 0, 1.57});
    stroke.id = MarkupID<StrokeElement>::make();
    for (const MarkupElement &e : std::initializer_list<MarkupElement>{bubble, arrow, turned, stroke})
        state.markup.subelements().append(e);

    const QImage banded = Kivaro::ShotRenderer::render(state, std::nullopt, false);
    QImage whole(banded.size(), QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::transparent);
    {
        QPainter painter(&whole);
        drawMarkup(painter, state.markup);
        const ShapeElement *mask = state.markup.subelements().shape(state.masks.first());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(mask->frame, Kivaro::MosaicRenderer::patch(state.mosaicBackground, mask->frame));
    }
    EXPECT_EQ(banded.format(), whole.format());
    EXPECT_TRUE(banded == whole);
    // Every drawn pixel lies inside its element's drawn bounds.
    for (const MarkupElement &element : {MarkupElement(bubble), MarkupElement(arrow), MarkupElement(turned), MarkupElement(stroke)}) {
        Markup alone(state.markup.bounds());
        alone.subelements().append(element);
        QImage image(banded.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        drawMarkup(painter, alone);
        painter.end();
        const QRect inside = drawnBounds(element).toAlignedRect();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) != 0) {
                    ASSERT_TRUE(inside.contains(x, y)) << x << "," << y << " outside the drawn bounds of an element";
                }
            }
        }
    }
}

// A freshly loaded picture is copied without a rendering pass: its PNG is the picture's own
// encoding, shared with the project file, byte for byte the encoding of the rendered pixels, and
// it decodes to exactly those pixels. X11 captures leave the padding byte 0; window captures
// may have transparent corners.
TEST(ShotRenderer, AFreshPictureIsEncodedOnceWithExactlyTheRenderedPixels)
{
    QImage captured = DocumentFixtures::picture(301, 157);
    for (int y = 0; y < captured.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(captured.scanLine(y));
        for (int x = 0; x < captured.width(); ++x)
            line[x] &= 0x00ffffff;
    }
    QImage cornered = DocumentFixtures::picture(120, 90).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            cornered.setPixel(x, y, qRgba(0, 0, 0, 0));
            cornered.setPixel(119 - x, 89 - y, qRgba(200, 40, 40, 90));
        }
    for (const QImage &image : {captured, cornered}) {
        ShotDocument document;
        document.load(image, false);
        const ShotState state = document.state();
        const QByteArray png = TestSupport::run(document.png(std::nullopt, false));
        const QImage rendered = ShotRenderer::render(state, std::nullopt, false);
        EXPECT_EQ(png, Platform::encodePng(rendered));
        EXPECT_EQ(png, state.markup.subelements().at(0).image()->image.pngData()) << "one encoding for the copy and the project";
        const QImage decoded = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_TRUE(decoded == rendered);
    }

    // Anything more than the bare picture is rendered: a preview's scale, a drawn shape, and a
    // picture holding the bytes of a file it was read from (chunks and depths of its own).
    ShotDocument document;
    document.load(DocumentFixtures::picture(200, 100), false);
    EXPECT_EQ(QImage::fromData(TestSupport::run(document.png(50, false)), "PNG").size(), QSize(50, 25));
    ShotState drawn = document.state();
    drawn.markup.subelements().append(DocumentFixtures::shape(QRectF(10, 10, 40, 30)));
    EXPECT_EQ(TestSupport::run(ShotRenderer::png(drawn, std::nullopt, false)), Platform::encodePng(ShotRenderer::render(drawn, std::nullopt, false)));
    QByteArray foreign;
    QBuffer buffer(&foreign);
    buffer.open(QIODevice::WriteOnly);
    DocumentFixtures::picture(200, 100).save(&buffer, "PNG");
    ShotState opened = document.state();
    Platform::ImageElement picture = *opened.markup.subelements().at(0).image();
    picture.image = Platform::MarkupImage(DocumentFixtures::picture(200, 100), foreign);
    opened.markup.subelements().updateOrAppend(picture);
    const QByteArray copied = TestSupport::run(ShotRenderer::png(opened, std::nullopt, false));
    EXPECT_NE(copied, foreign);
    EXPECT_EQ(copied, Platform::encodePng(ShotRenderer::render(opened, std::nullopt, false)));
}

// The mosaic background of a load is made on a worker. Whatever reads the document first gets
// the same background a load on this thread made; a project opened or a picture loaded before
// it is ready replaces it; a mask added at once is cut from it.
TEST(ShotDocument, TheBackgroundMadeBesideALoadIsTheOneEveryReaderSees)
{
    const QImage image = DocumentFixtures::picture(640, 360);
    const std::optional<QByteArray> expected = MosaicRenderer::background(image, 24);
    ASSERT_TRUE(expected);

    ShotDocument copied;
    copied.load(image, false);
    EXPECT_FALSE(copied.hasUnsavedChanges());
    const QByteArray png = TestSupport::run(copied.png(std::nullopt, false));
    EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), image);
    EXPECT_EQ(copied.state().mosaicBackground, expected);
    EXPECT_EQ(copied.savedState()->mosaicBackground, expected);
    EXPECT_FALSE(copied.hasUnsavedChanges());

    ShotDocument masked;
    masked.load(image, false);
    TestSupport::run(masked.addMask(QRectF(100, 50, 120, 80)));
    EXPECT_EQ(masked.state().mosaicBackground, expected);

    // Another shot before the first background is ready: its own background, never the first.
    const QImage second = DocumentFixtures::picture(200, 120).mirrored(true, false);
    ShotDocument reloaded;
    reloaded.load(image, false);
    reloaded.load(second, false);
    EXPECT_EQ(reloaded.state().mosaicBackground, MosaicRenderer::background(second, 24));

    QTemporaryDir folder;
    const QString project = folder.filePath(QStringLiteral("other.kivaro"));
    TestSupport::run(reloaded.save(project));
    ShotDocument opened;
    opened.load(image, false);
    opened.open(project);
    EXPECT_EQ(opened.state().mosaicBackground, MosaicRenderer::background(second, 24));
    EXPECT_FALSE(opened.hasUnsavedChanges());
}
