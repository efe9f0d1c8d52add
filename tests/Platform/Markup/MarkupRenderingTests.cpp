#include "MarkupFixtures.h"

#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/MarkupRenderer.h"
#include "Platform/Markup/TextLayout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

using namespace Platform;
using namespace MarkupFixtures;

namespace {
QColor at(const QImage &image, int x, int y)
{
    return QColor::fromRgba(image.pixel(x, y));
}
Markup blank(int w, int h)
{
    Markup markup(QRectF(0, 0, w, h));
    markup.setBackgroundColor(Qt::white);
    return markup;
}
} // namespace

TEST(MarkupRenderer, DrawsShapesWithFillOpacityRotationAndArrowHeads)
{
    Markup markup = blank(200, 100);
    const auto filled = [&](QRectF frame, QColor colour, ShapeElement::Shape shape = {}, double opacity = 1, double rotation = 0) {
        ShapeElement s = rectangle(frame);
        s.strokeColor.reset();
        s.fillColor = colour;
        s.shape = shape;
        s.opacity = opacity;
        s.rotation = rotation;
        markup.subelements().append(s);
    };
    filled(QRectF(10, 10, 40, 30), QColor(200, 30, 30));
    filled(QRectF(100, 10, 40, 40), QColor(0, 0, 255), ShapeElement::Shape::ellipse(), 0.5);
    filled(QRectF(150, 45, 40, 10), Qt::black, {}, 1, 3.14159265358979 / 2); // upright about its centre (170, 50)
    ShapeElement arrow = rectangle(QRectF(20, 70, 140, 30)); // a horizontal line at y = 85, tip at x = 160
    arrow.shape = ShapeElement::Shape::line({0, 0.5}, {0.5, 0.5}, {1, 0.5});
    arrow.fillColor.reset();
    arrow.strokeColor = Qt::red;
    arrow.lineWidth = 4;
    arrow.endLineMarker = ShapeElement::LineMarker::Arrow;
    markup.subelements().append(arrow);

    const QImage image = renderMarkup(markup, QSize(200, 100));
    ASSERT_EQ(image.size(), QSize(200, 100));
    EXPECT_EQ(at(image, 30, 25), QColor(200, 30, 30));
    EXPECT_EQ(at(image, 5, 5), QColor(Qt::white));
    EXPECT_NEAR(at(image, 120, 30).blue(), 255, 1);
    EXPECT_NEAR(at(image, 120, 30).red(), 128, 2) << "half opacity";
    EXPECT_EQ(at(image, 101, 11), QColor(Qt::white)) << "outside the ellipse";
    EXPECT_EQ(at(image, 170, 33), QColor(Qt::black)) << "rotated bar covers its vertical";
    EXPECT_EQ(at(image, 155, 50), QColor(Qt::white)) << "and no longer its horizontal";
    EXPECT_EQ(at(image, 60, 85), QColor(Qt::red));
    EXPECT_EQ(at(image, 60, 91), QColor(Qt::white)) << "the shaft is 4 wide";
    EXPECT_EQ(at(image, 148, 88), QColor(Qt::red)) << "the arrow head is wider than the shaft";
    EXPECT_EQ(at(image, 170, 85), QColor(Qt::white)) << "nothing beyond the tip";

    // Scaled rendering maps the bounds onto the bitmap.
    EXPECT_EQ(at(renderMarkup(markup, QSize(100, 50)), 15, 12), QColor(200, 30, 30));
    EXPECT_TRUE(renderMarkup(Markup(), QSize(10, 10)).isNull());
}

TEST(MarkupRenderer, IsDeterministicAndIgnoresTheAppearance)
{
    const Markup markup = richMarkup();
    const QImage first = renderMarkup(markup, QSize(320, 200));
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(QPalette(Qt::black)); // a dark palette: light text on dark ground
    const QImage second = renderMarkup(Markup(markup), QSize(320, 200));
    QApplication::setPalette(saved);
    EXPECT_EQ(first, second);
}

TEST(TextLayout, MeasuresInMarkupUnitsAndCountsWrappedLines)
{
    TextAttributes small, large;
    small.fontSize = 10;
    large.fontSize = 20;
    const QSizeF a = measureText(AttributedText(QStringLiteral("Kivaro"), small), 0);
    const QSizeF b = measureText(AttributedText(QStringLiteral("Kivaro"), large), 0);
    EXPECT_NEAR(b.width() / a.width(), 2.0, 0.2);
    EXPECT_NEAR(b.height(), 25, 7);

    const AttributedText sentence(QStringLiteral("one two three four five six seven eight nine ten"), large);
    EXPECT_EQ(lineCount(sentence, 10000), 1);
    EXPECT_GT(lineCount(sentence, 120), 2);
    EXPECT_EQ(lineCount(AttributedText(), 100), 0);
    EXPECT_EQ(lineCount(AttributedText(QStringLiteral("a\nb"), large), 100), 2);

    // Drawn text lands inside its frame and uses its colour.
    Markup markup = blank(200, 60);
    ShapeElement label = rectangle(QRectF(0, 0, 200, 60));
    label.fillColor.reset();
    label.strokeColor.reset();
    large.foregroundColor = QColor(0, 160, 0);
    label.attributedText = AttributedText(QStringLiteral("████"), large);
    markup.subelements().append(label);
    const QImage image = renderMarkup(markup, QSize(200, 60));
    int greenPixels = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            greenPixels += at(image, x, y) == QColor(0, 160, 0);
    EXPECT_GT(greenPixels, 100);
}

// Mended: every repaint laid every text out anew, seconds for one long word.
TEST(TextLayout, LaysATextOutOncePerWidthAndKeepsABoundedNumberOfLayouts)
{
    Markup markup = blank(200, 100);
    ShapeElement label = rectangle(QRectF(10, 10, 120, 60));
    label.attributedText = AttributedText(QStringLiteral("a label that wraps inside its frame %1").arg(QUuid::createUuid().toString()));
    markup.subelements().append(label);
    label.id = MarkupID<ShapeElement>::make();
    label.frame.translate(0, 30); // the same text at the same width: one layout serves both
    markup.subelements().append(label);

    const qint64 before = textLayoutCount();
    const QImage first = renderMarkup(markup, QSize(200, 100));
    EXPECT_EQ(textLayoutCount(), before + 1);
    EXPECT_EQ(renderMarkup(markup, QSize(200, 100)), first) << "drawn from the kept layout, pixel for pixel";
    EXPECT_EQ(lineCount(label.attributedText, 120), lineCount(label.attributedText, 120));
    EXPECT_EQ(measureText(label.attributedText, 120).width(), measureText(label.attributedText, 120).width());
    EXPECT_EQ(textLayoutCount(), before + 1) << "measuring at the drawn width reuses the layout";

    label.frame.setWidth(90);
    markup.subelements().updateOrAppend(label);
    renderMarkup(markup, QSize(200, 100));
    EXPECT_EQ(textLayoutCount(), before + 2) << "another width is another layout";

    // Filling the cache with other texts pushes the oldest layout out.
    const qsizetype room = kLayoutCacheBytes / (kLayoutBytes + kLayoutBytesPerUnit * 8);
    for (qsizetype k = 0; k <= room; ++k)
        lineCount(AttributedText(QString::number(10'000'000 + k)), 50);
    const qint64 filled = textLayoutCount();
    lineCount(label.attributedText, 120);
    EXPECT_EQ(textLayoutCount(), filled + 1);
}

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
    EXPECT_EQ(canvas.markupPoint(QPointF(100, 50)), QPointF(50, 25));
    QSignalSpy visible(&canvas, &MarkupCanvas::contentVisibleFrameChanged);
    canvas.setContentVisibleFrame(QRectF(-24, -24, 248, 148));
    EXPECT_EQ(visible.count(), 1);
    EXPECT_NEAR(canvas.contentVisibleFrame().center().x(), 100, 1e-9);
    canvas.setZoomScale(1);
    EXPECT_EQ(canvas.contentVisibleFrame().size(), QSizeF(400, 200));
}

TEST_F(CanvasScene, SelectsMovesAndResizesOnlyWhatEachElementAllows)
{
    QSignalSpy changed(&canvas, &MarkupCanvas::markupChanged);
    canvas.pressAt(view(5, 90)); // the picture cannot be selected
    EXPECT_TRUE(canvas.selection().isEmpty());
    canvas.pressAt(view(20, 20));
    canvas.dragTo(view(25, 22));
    canvas.releaseAt(view(30, 25));
    EXPECT_EQ(canvas.selection(), QList<ElementID>{ElementID(movable.id)});
    EXPECT_EQ(frameOf(movable), QRectF(20, 15, 40, 40));
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

TEST_F(CanvasScene, BackspaceDeletesTheSelectionLikeDelete)
{
    for (const Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete}) {
        SetUp();
        canvas.setSelection({ElementID(movable.id), ElementID(fixed.id)});
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&canvas, &press);
        EXPECT_EQ(canvas.markup()->subelements().shape(movable.id), nullptr) << key;
        EXPECT_NE(canvas.markup()->subelements().shape(fixed.id), nullptr) << "it does not allow deletion";
        EXPECT_EQ(canvas.selection(), QList<ElementID>{ElementID(fixed.id)});
        canvas.undoManager()->undo();
        EXPECT_NE(canvas.markup()->subelements().shape(movable.id), nullptr) << "one undo step";
    }
}

TEST_F(CanvasScene, AnotherCanvasOfTheSameMarkupKeepsItsOwnCopyAndPaintsWithoutAWindow)
{
    MarkupCanvas other;
    other.resize(400, 200);
    other.setMarkup(*canvas.markup());
    other.setContentVisibleFrame(QRectF(0, 0, 200, 100));
    canvas.setSelection({ElementID(movable.id)});
    canvas.deleteSelection();
    EXPECT_EQ(other.markup()->subelements().size(), 3);
    EXPECT_FALSE(other.undoManager()->canUndo());
    const QImage shot = other.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(view(30, 30).toPoint())), QColor(200, 30, 30));
}

// During a move the canvas draws the unmoved elements from layers made at the gesture's start;
// what it shows equals a canvas that draws the same markup whole, elements above the moved one
// included, and the next gesture starts from the new state.
TEST_F(CanvasScene, AMovePaintsFromLayersExactlyWhatAWholeDrawingShows)
{
    Markup markup = *canvas.markup();
    markup.subelements().append(rectangle(QRectF(20, 20, 60, 30))); // over the moved one, not selectable
    canvas.setMarkup(markup);
    const auto paintedLike = [&](const MarkupCanvas &reference) {
        MarkupCanvas whole;
        whole.resize(canvas.size());
        whole.setMarkup(reference.markup());
        whole.setContentVisibleFrame(reference.contentVisibleFrame());
        whole.setSelection(reference.selection());
        return whole.grab().toImage();
    };
    canvas.pressAt(view(30, 30));
    ASSERT_EQ(canvas.selection(), QList<ElementID>{ElementID(movable.id)});
    canvas.dragTo(view(45, 38));
    EXPECT_EQ(canvas.grab().toImage(), paintedLike(canvas));
    canvas.dragTo(view(70, 60));
    EXPECT_EQ(canvas.grab().toImage(), paintedLike(canvas));
    canvas.releaseAt(view(70, 60));
    EXPECT_EQ(frameOf(movable), QRectF(50, 40, 40, 40));
    EXPECT_EQ(canvas.grab().toImage(), paintedLike(canvas));
    canvas.pressAt(view(70, 60));
    canvas.dragTo(view(20, 20));
    EXPECT_EQ(canvas.grab().toImage(), paintedLike(canvas));
    canvas.releaseAt(view(20, 20));
}

// A picture drawn at a quarter of its size shows the mean of its pixels, not a few of them: a
// one-pixel white line every four pixels becomes a dark grey instead of vanishing.
TEST(MarkupRenderer, APictureDrawnMuchSmallerAveragesItsPixels)
{
    QImage stripes(400, 400, QImage::Format_RGB32);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            stripes.setPixel(x, y, x % 4 == 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    Markup markup(QRectF(0, 0, 400, 400));
    markup.subelements().append(imageElement(stripes));
    const QImage small = renderMarkup(markup, QSize(100, 100));
    for (int y = 10; y < 90; y += 7)
        for (int x = 10; x < 90; x += 7)
            EXPECT_NEAR(qGray(small.pixel(x, y)), 64, 3) << x << "," << y;
    const MarkupImage image(stripes);
    EXPECT_EQ(image.reduced(0), image.image());
    EXPECT_EQ(image.reduced(2).size(), QSize(100, 100));
    EXPECT_EQ(image.reduced(1).pixel(4, 5), qRgb(128, 128, 128)); // columns 8 (white) and 9 (black)
}
