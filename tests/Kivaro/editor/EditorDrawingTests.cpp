// The editor's drawing: finished drags and strokes through the view-to-picture mapping, the
// colour-and-width row, the floating text and tool panels, dragging linked bubbles, the press
// and release of the text and re-pointing modes, and a whole scripted session.

#include "EditorFixtures.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/ClosureButton.h"
#include "Kivaro/editor/DrawingStyleView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/LinkedBubbleInteraction.h"
#include "Kivaro/editor/TransparencyGridView.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "NativeAppAppearance/NativePopupButton.h"

#include <QTest>

using namespace Kivaro;
using namespace EditorTesting;
using namespace Platform;

namespace {

class EditorDrawing : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        loadPicture();
        waitUntil([] { return false; }, 20);
    }
    MarkupCanvas *canvas() const { return editor->document()->canvas(); }
    UndoManager *undo() const { return canvas()->undoManager(); }
    // The overlay point showing an image point (the canvas and the overlay share their geometry).
    QPointF view(QPointF imagePoint) const { return canvas()->viewPoint(imagePoint); }
    Markup markup() const { return editor->document()->markup(); }
    const ShapeElement *shape(const MarkupID<ShapeElement> &id) const
    {
        m_markup = markup();
        return m_markup.subelements().shape(id);
    }
    void arm(DrawingTool tool) { editor->chooseTool(DrawingTools::rawValue(tool)); }
    void select(int segment)
    {
        editor->mode()->setSelectedSegment(segment);
        editor->modeChanged();
    }
    AnnotationFloatingPanel *panel() const { return editor->annotationPanel(); }
    DrawingStyleView *styleView() const { return panel()->panel()->findChild<DrawingStyleView *>(); }

    mutable Markup m_markup;
};

} // namespace

// ---- shapes and strokes ----------------------------------------------------------------------

TEST_F(EditorDrawing, ADragWithTheArmedToolAddsItsShapeInPictureCoordinatesAndTheToolStaysArmed)
{
    arm(DrawingTool::rectangle);
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::selectSegment);
    EXPECT_TRUE(panel()->isVisible()) << "choosing a tool reopens the tool panel";
    editor->completeDrawing(view(QPointF(100, 80)), view(QPointF(300, 200)));
    const QList<MarkupID<ShapeElement>> selected = editor->document()->selectedDrawingIDs();
    ASSERT_EQ(selected.size(), 1);
    const QRectF frame = shape(selected[0])->frame;
    EXPECT_NEAR(frame.left(), 100, 1e-6);
    EXPECT_NEAR(frame.top(), 80, 1e-6);
    EXPECT_NEAR(frame.width(), 200, 1e-6);
    EXPECT_NEAR(frame.height(), 120, 1e-6);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("矩形"));
    EXPECT_EQ(panel()->shapeID, selected[0]);
    EXPECT_EQ(editor->activeDrawingTool(), DrawingTool::rectangle);
    EXPECT_FALSE(editor->anchor());

    // A drag starting off the picture adds nothing, silently.
    const ShotState before = editor->document()->state();
    editor->completeDrawing(view(QPointF(-20, 80)), view(QPointF(300, 200)));
    EXPECT_TRUE(editor->document()->state() == before);
    // So does any drag while busy.
    editor->setBusy(true);
    editor->completeDrawing(view(QPointF(10, 10)), view(QPointF(300, 200)));
    EXPECT_TRUE(editor->document()->state() == before);
    editor->setBusy(false);
}

TEST_F(EditorDrawing, AStrokeLeavingThePictureIsFlattenedAlongItsEdge)
{
    arm(DrawingTool::pen);
    editor->setDrawingWidth(8.0);
    editor->completeFreehand({view(QPointF(600, 100)), view(QPointF(700, 150)), view(QPointF(620, 420))});
    const Markup now = markup();
    const StrokeElement *stroke = now.subelements().at(now.subelements().size() - 1).stroke();
    ASSERT_TRUE(stroke);
    ASSERT_EQ(stroke->points.size(), 3);
    EXPECT_NEAR(stroke->points[0].location.x(), 600, 1e-6);
    EXPECT_DOUBLE_EQ(stroke->points[1].location.x(), 640);
    EXPECT_NEAR(stroke->points[1].location.y(), 150, 1e-6);
    EXPECT_DOUBLE_EQ(stroke->points[2].location.y(), 400);
    EXPECT_EQ(stroke->points[0].size, QSizeF(8, 8));
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("画笔"));
}

// During a hold the overlay paints what lay beneath it at the press, and its feedback on top.
TEST_F(EditorDrawing, WhileHoldingTheCanvasStaysVisibleUnderTheLiveStroke)
{
    arm(DrawingTool::pen);
    panel()->dismiss();
    QWidget *host = editor->canvasHost();
    const QImage before = host->grab().toImage();
    HoldOverlay *overlay = editor->overlay();
    pointer->setPressedButtons(Qt::LeftButton);
    overlay->press(view(QPointF(100, 100)), 10);
    overlay->dragTo(view(QPointF(300, 100)));
    const QImage during = host->grab().toImage();
    const qreal ratio = during.devicePixelRatio();
    const auto pixel = [&](const QImage &image, QPointF imagePoint) {
        const QPointF at = overlay->mapTo(host, view(imagePoint)) * ratio;
        return image.pixelColor(at.toPoint());
    };
    EXPECT_EQ(pixel(during, QPointF(500, 300)), pixel(before, QPointF(500, 300))) << "the picture away from the stroke";
    EXPECT_EQ(pixel(during, QPointF(50, 350)), pixel(before, QPointF(50, 350)));
    EXPECT_EQ(pixel(during, QPointF(200, 100)).rgb(), editor->drawingColor().rgb()) << "the stroke's middle";
    pointer->setPressedButtons(Qt::NoButton);
    overlay->release(view(QPointF(300, 100)), 20);
    EXPECT_FALSE(overlay->testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(EditorDrawing, ChoosingAToolFromAnyModeArmsItInSelectAndEditAndUnknownValuesArmNone)
{
    select(EditorController::textSegment);
    arm(DrawingTool::ellipse);
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::selectSegment);
    EXPECT_EQ(editor->overlay()->drawingTool, DrawingTool::ellipse);
    const QList<ClosureButton *> buttons = panel()->toolButtons();
    ASSERT_EQ(buttons.size(), 7);
    EXPECT_EQ(buttons[2]->contentTintColor(), NativeAppAppearance::NativeColor(NativeAppAppearance::DynamicColor::controlAccent));
    EXPECT_EQ(buttons[0]->contentTintColor(), NativeAppAppearance::NativeColor(NativeAppAppearance::DynamicColor::secondaryLabel));
    EXPECT_EQ(buttons[6]->toolTip(), QStringLiteral("取消"));

    // The panel's own button: the panel closes before the choice reopens it.
    buttons[5]->click();
    EXPECT_EQ(editor->activeDrawingTool(), DrawingTool::pen);
    EXPECT_TRUE(panel()->isVisible());
    editor->chooseTool(3);
    EXPECT_FALSE(editor->activeDrawingTool());
    editor->chooseTool(10);
    EXPECT_FALSE(editor->activeDrawingTool());
}

// ---- the colour-and-width row ----------------------------------------------------------------

TEST_F(EditorDrawing, TheStyleRowShowsTheEditorsColourAndWidth)
{
    std::unique_ptr<QWidget> fresh(editor->drawingStyleView());
    auto *style = qobject_cast<DrawingStyleView *>(fresh.get());
    ASSERT_TRUE(style);
    EXPECT_EQ(style->width()->titleOfSelectedItem(), QStringLiteral("3 px"));
    EXPECT_EQ(style->color()->titleOfSelectedItem(), QStringLiteral("蓝色"));
    EXPECT_EQ(style->color()->accessibleName(), QStringLiteral("标注颜色"));
    EXPECT_EQ(style->width()->accessibleName(), QStringLiteral("线条粗细"));
    EXPECT_EQ(DrawingStyleView(QColor(Qt::green), 8.0).width()->titleOfSelectedItem(), QStringLiteral("8 px"));
    EXPECT_EQ(DrawingStyleView(QColor(Qt::green), 7.9).width()->titleOfSelectedItem(), QStringLiteral("5 px"));
    EXPECT_EQ(DrawingStyleView(QColor(Qt::green), 4.9).color()->titleOfSelectedItem(), QStringLiteral("蓝色"));
    EXPECT_EQ(DrawingStyleView(DrawingStyleView::colors()[1], 4.9).color()->titleOfSelectedItem(), QStringLiteral("橙色"));
}

TEST_F(EditorDrawing, PickingAStyleRestylesTheSelectedDrawingsButNotMasksInOneStep)
{
    arm(DrawingTool::arrow);
    const auto first = editor->document()->addDrawing(DrawingTool::arrow, QPointF(20, 20), QPointF(120, 60), std::nullopt, std::nullopt);
    const auto second = editor->document()->addDrawing(DrawingTool::arrow, QPointF(20, 120), QPointF(220, 160), std::nullopt, std::nullopt);
    TestSupport::run(editor->document()->addMask(QRectF(300, 200, 80, 60)));
    const MarkupID<ShapeElement> mask = editor->document()->masks().first();
    const ShapeElement maskBefore = *shape(mask);
    canvas()->setSelection({*first, *second, mask});
    const ShotState before = editor->document()->state();
    const int steps = undo()->undoCount();

    editor->showFloatingTools();
    DrawingStyleView *style = styleView();
    ASSERT_TRUE(style);
    style->color()->selectItemAt(2);
    style->change();
    const QColor pink = DrawingStyleView::colors()[2];
    EXPECT_EQ(shape(*first)->strokeColor, pink);
    EXPECT_EQ(shape(*second)->strokeColor, pink);
    EXPECT_EQ(shape(*first)->lineWidth, 3.0) << "the row's width (3 px) goes with the colour";
    EXPECT_EQ(*shape(mask), maskBefore);
    EXPECT_EQ(undo()->undoCount(), steps + 1);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("标注样式"));
    EXPECT_EQ(editor->drawingColor(), pink);
    EXPECT_EQ(editor->overlay()->inkColor, pink);
    undo()->undo();
    EXPECT_TRUE(editor->document()->state() == before);

    // Nothing selected: no step; the next drawing takes the new width.
    canvas()->setSelection({});
    editor->showFloatingTools();
    styleView()->width()->selectItemAt(2);
    styleView()->change();
    EXPECT_EQ(undo()->undoCount(), steps);
    EXPECT_EQ(editor->drawingWidth(), 8.0);
    EXPECT_EQ(editor->overlay()->inkWidth, 8.0);
    editor->completeDrawing(view(QPointF(50, 300)), view(QPointF(200, 320)));
    EXPECT_EQ(shape(editor->document()->selectedDrawingIDs().first())->lineWidth, 8.0);
}

// ---- the floating panel ----------------------------------------------------------------------

TEST_F(EditorDrawing, ThePanelSitsBesideItsAnchorInsideTheHostWindow)
{
    const QRect host(100, 100, 800, 600);
    EXPECT_EQ(AnnotationFloatingPanel::placement(QPointF(300, 200), QSize(270, 48), host), QPoint(314, 212));
    // Near the right edge: pushed left to end 14 inside the frame.
    EXPECT_EQ(AnnotationFloatingPanel::placement(QPointF(880, 200), QSize(270, 48), host).x(), 900 - 14 - 270);
    // Near the bottom: no lower than 78 above the bottom edge.
    EXPECT_EQ(AnnotationFloatingPanel::placement(QPointF(300, 690), QSize(300, 164), host).y(), 700 - 78 - 164);
    // Above the top: kept 14 inside.
    EXPECT_EQ(AnnotationFloatingPanel::placement(QPointF(300, 0), QSize(270, 48), host).y(), 114);

    // With nothing selected the tool panel stands by the picture's centre; with a shape, by its
    // far corner.
    editor->showFloatingTools();
    EXPECT_FALSE(panel()->shapeID);
    EXPECT_EQ(panel()->imageAnchor, QPointF(320, 200));
    EXPECT_EQ(editor->floatingPanelPosition(), editor->overlay()->mapToGlobal(view(QPointF(320, 200))));
    EXPECT_EQ(panel()->panel()->size(), QSize(360, 116));
    const auto id = editor->document()->addDrawing(DrawingTool::ellipse, QPointF(10, 20), QPointF(110, 90), std::nullopt, std::nullopt);
    editor->showFloatingTools();
    EXPECT_EQ(panel()->shapeID, id);
    EXPECT_EQ(editor->floatingPanelPosition(), editor->overlay()->mapToGlobal(view(QPointF(110, 90))));
}

TEST_F(EditorDrawing, TheTextPanelCommitsTextAsTypedAndKeepsBlankOrRefusedText)
{
    select(EditorController::textSegment);
    editor->begin(view(QPointF(200, 150)));
    editor->end();
    AnnotationInputView *input = panel()->input();
    ASSERT_TRUE(input);
    EXPECT_EQ(panel()->panel()->size(), QSize(300, 164));
    EXPECT_EQ(panel()->imageAnchor, QPointF(200, 150));

    input->setPlainText(QStringLiteral("  \n  "));
    QTest::keyClick(input, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(panel()->isVisible()) << "blank text is not passed on";
    EXPECT_TRUE(editor->document()->links().isEmpty());

    input->setPlainText(QStringLiteral("first"));
    input->moveCursor(QTextCursor::End);
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_EQ(input->toPlainText(), QStringLiteral("first\n")) << "Return alone starts a new line";
    input->setPlainText(QStringLiteral(" spaced text "));
    QTest::keyClick(input, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(editor->document()->links().size(), 1);
    const AnnotationLink link = editor->document()->links().first();
    // The document trims what it stores; the panel passes the text on as typed (below).
    EXPECT_EQ(shape(link.bubbleID)->attributedText.string(), QStringLiteral("spaced text"));
    EXPECT_EQ(link.anchor, QPointF(200, 150));
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(statusText(), QStringLiteral("已添加"));

    // Editing the link's text: the field starts with it; a refused text stays for correcting.
    editor->showTextEditor(link.anchor, link);
    ASSERT_TRUE(panel()->input());
    EXPECT_EQ(panel()->input()->toPlainText(), QStringLiteral("spaced text"));
    EXPECT_EQ(panel()->shapeID, link.bubbleID);
    panel()->input()->setPlainText(QString(501, QLatin1Char('x')));
    panel()->input()->commit();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(panel()->input()->toPlainText().size(), 501);
    EXPECT_FALSE(statusText().isEmpty());

    // Esc closes it; a tool button drops the text and opens the tool panel.
    QTest::keyClick(panel()->input(), Qt::Key_Escape);
    EXPECT_FALSE(panel()->isVisible());
    editor->showTextEditor(QPointF(50, 50));
    panel()->toolButtons()[0]->click();
    EXPECT_FALSE(panel()->input());
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(editor->activeDrawingTool(), DrawingTool::arrow);

    QStringList received;
    panel()->show(editor->window(), QString(), [&](const QString &text) {
        received << text;
        return false;
    }, nullptr, std::nullopt, {});
    panel()->input()->setPlainText(QStringLiteral("  padded\n"));
    panel()->input()->commit();
    EXPECT_EQ(received, QStringList{QStringLiteral("  padded\n")});
    EXPECT_TRUE(panel()->isVisible()) << "a commit answered false leaves the panel open";
}

TEST_F(EditorDrawing, TheTextPanelOnADeletedBubbleIsEmptyAndItsCommitReportsTheError)
{
    editor->document()->addAnnotation(QStringLiteral("gone soon"), QPointF(300, 300));
    const AnnotationLink link = editor->document()->links().first();
    canvas()->setSelection({link.bubbleID});
    editor->document()->deleteSelectedAnnotation();
    editor->showTextEditor(link.anchor, link);
    ASSERT_TRUE(panel()->input());
    EXPECT_TRUE(panel()->input()->toPlainText().isEmpty());
    panel()->input()->setPlainText(QStringLiteral("again"));
    panel()->input()->commit();
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_FALSE(statusText().isEmpty());
}

// ---- presses in the text and re-pointing modes -----------------------------------------------

TEST_F(EditorDrawing, APressOffThePictureOrWhileBusyLeavesNoAnchor)
{
    select(EditorController::textSegment);
    editor->begin(view(QPointF(-10, 50)));
    EXPECT_FALSE(editor->anchor());
    editor->setBusy(true);
    editor->begin(view(QPointF(10, 50)));
    EXPECT_FALSE(editor->anchor());
    editor->setBusy(false);
    editor->end();
    EXPECT_FALSE(panel()->isVisible());

    // The voice mode without prepared speech asks for the microphone first.
    voice->failure = QStringLiteral("no microphone");
    select(EditorController::voiceSegment);
    ASSERT_TRUE(waitIdle());
    editor->begin(view(QPointF(10, 50)));
    EXPECT_FALSE(editor->anchor());
    EXPECT_EQ(statusText(), QStringLiteral("请先选择麦克风工具"));
}

TEST_F(EditorDrawing, AReleaseWhileRePointingMovesTheArrowToThePressedPoint)
{
    editor->document()->addAnnotation(QStringLiteral("这里"), QPointF(100, 100));
    const AnnotationLink link = editor->document()->links().first();
    canvas()->setSelection({link.bubbleID});
    editor->retarget();
    ASSERT_TRUE(editor->retargeting());
    editor->begin(view(QPointF(500, 300)));
    EXPECT_EQ(editor->anchor(), QPointF(500, 300));
    editor->end();
    EXPECT_FALSE(editor->retargeting());
    EXPECT_FALSE(editor->retargetLink());
    EXPECT_EQ(editor->document()->links().first().anchor, QPointF(500, 300));
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("修改指向"));
    EXPECT_TRUE(canvas()->isEditable());
}

TEST_F(EditorDrawing, AnnotatingOutsideVoiceModeAddsTheNoteAndClosesTheVoicePanel)
{
    select(EditorController::textSegment);
    editor->annotate(QStringLiteral("note"), QPointF(400, 200));
    EXPECT_EQ(editor->document()->links().size(), 1);
    EXPECT_EQ(statusText(), QStringLiteral("已添加"));
    EXPECT_EQ(editor->voiceFeedback()->phase(), VoiceFeedbackView::Phase::hidden);
    EXPECT_THROW(editor->annotate(QStringLiteral("   "), QPointF(400, 200)), ShotError);
    EXPECT_EQ(editor->document()->links().size(), 1);
}

// Esc after a failed voice note must not end someone else's busy state.
TEST_F(EditorDrawing, CancellingVoiceDuringACopyLeavesTheEditorBusyUntilTheCopyEnds)
{
    voice->failure = QStringLiteral("no model");
    select(EditorController::voiceSegment);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(editor->voiceFeedback()->phase(), VoiceFeedbackView::Phase::failed);
    editor->copyImage();
    ASSERT_TRUE(editor->busy());
    editor->cancelOperation();
    EXPECT_EQ(statusText(), QStringLiteral("已取消"));
    EXPECT_TRUE(editor->busy()) << "the copy is still writing";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(statusText(), QStringLiteral("已复制"));

    // What voice work made busy, cancelling does end.
    voice->failure.reset();
    editor->window()->show();
    editor->setVoiceReady(false);
    editor->prepareVoice();
    ASSERT_TRUE(editor->busy());
    editor->cancelVoice();
    EXPECT_FALSE(editor->busy());
}

// ---- linked bubbles --------------------------------------------------------------------------

TEST_F(EditorDrawing, ABubbleDragsWithItsArrowStopsAtTheEdgeAndCommitsOnceOrGoesBackOnEscape)
{
    editor->document()->addAnnotation(QStringLiteral("drag"), QPointF(300, 250));
    const AnnotationLink link = editor->document()->links().first();
    LinkedBubbleInteraction *drag = editor->linkedInteraction();
    const QRectF start = shape(link.bubbleID)->frame;
    const ShapeElement arrowStart = *shape(link.arrowID);
    const ShotState before = editor->document()->state();
    const int steps = undo()->undoCount();

    // Pressed and released without moving: nothing to undo.
    ASSERT_TRUE(drag->pressAt(start.center(), 1));
    EXPECT_EQ(canvas()->selection(), QList<ElementID>{ElementID::shape(link.bubbleID)});
    ASSERT_TRUE(drag->releaseAt());
    EXPECT_EQ(undo()->undoCount(), steps);

    ASSERT_TRUE(drag->pressAt(start.center(), 1));
    ASSERT_TRUE(drag->dragTo(start.center() + QPointF(-2000, 30)));
    EXPECT_EQ(shape(link.bubbleID)->frame.left(), 0) << "stops at the picture's edge";
    EXPECT_NE(*shape(link.arrowID), arrowStart);
    EXPECT_EQ(undo()->undoCount(), steps) << "live moves register nothing";
    EXPECT_TRUE(drag->cancelDrag());
    EXPECT_TRUE(editor->document()->state() == before);

    ASSERT_TRUE(drag->pressAt(start.center(), 1));
    ASSERT_TRUE(drag->dragTo(start.center() + QPointF(40, -30)));
    ASSERT_TRUE(drag->releaseAt());
    EXPECT_EQ(shape(link.bubbleID)->frame, start.translated(40, -30));
    EXPECT_EQ(editor->document()->links().first().anchor, QPointF(300, 250));
    EXPECT_EQ(undo()->undoCount(), steps + 1);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("移动标注"));
    undo()->undo();
    EXPECT_TRUE(editor->document()->state() == before);
}

TEST_F(EditorDrawing, MasksCornersOfASelectedBubbleAndTheEarlierOfTwoBubblesStayWithTheCanvas)
{
    editor->document()->addAnnotation(QStringLiteral("one"), QPointF(200, 200));
    editor->document()->addAnnotation(QStringLiteral("two"), QPointF(210, 205));
    const AnnotationLink first = editor->document()->links()[0];
    const AnnotationLink second = editor->document()->links()[1];
    LinkedBubbleInteraction *drag = editor->linkedInteraction();
    const QRectF a = shape(first.bubbleID)->frame;
    const QRectF b = shape(second.bubbleID)->frame;
    const QRectF both = a.intersected(b);
    if (!both.isEmpty()) {
        ASSERT_TRUE(drag->pressAt(both.center(), 1));
        EXPECT_EQ(drag->drag()->link.bubbleID, second.bubbleID) << "the later bubble wins";
        drag->releaseAt();
    }

    // A corner of the selected bubble resizes it through the canvas; of an unselected one, drags.
    canvas()->setSelection({first.bubbleID});
    EXPECT_FALSE(drag->pressAt(a.topLeft() + QPointF(3, 4), 1));
    canvas()->setSelection({});
    const QRectF onlyA = a.adjusted(0, 0, 0, 0);
    if (!b.contains(onlyA.topLeft() + QPointF(3, 4))) {
        EXPECT_TRUE(drag->pressAt(onlyA.topLeft() + QPointF(3, 4), 1));
        drag->releaseAt();
    }

    // A mask over the bubble keeps the press for the canvas.
    TestSupport::run(editor->document()->addMask(QRectF(b.center() - QPointF(10, 10), QSizeF(20, 20))));
    EXPECT_FALSE(drag->pressAt(b.center(), 1));
    EXPECT_FALSE(drag->drag());
}

TEST_F(EditorDrawing, ADoubleClickOpensTheBubblesTextAndArmedToolsOrOtherModesTurnDraggingOff)
{
    editor->document()->addAnnotation(QStringLiteral("edit me"), QPointF(300, 250));
    const AnnotationLink link = editor->document()->links().first();
    const QRectF frame = shape(link.bubbleID)->frame;
    canvas()->setSelection({});
    // Through the canvas as the window delivers it: the filter swallows the press.
    const QPoint at = view(frame.center()).toPoint();
    QTest::mouseDClick(canvas(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(panel()->input());
    EXPECT_EQ(panel()->input()->toPlainText(), QStringLiteral("edit me"));
    EXPECT_EQ(canvas()->selection(), QList<ElementID>{ElementID::shape(link.bubbleID)});
    EXPECT_FALSE(editor->linkedInteraction()->drag());
    panel()->dismiss();

    const ShotState before = editor->document()->state();
    arm(DrawingTool::arrow);
    QTest::mousePress(editor->overlay(), Qt::LeftButton, {}, at);
    EXPECT_FALSE(editor->linkedInteraction()->drag());
    pointer->setPressedButtons(Qt::NoButton);
    QTest::mouseRelease(editor->overlay(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(editor->document()->state() == before) << "a click with the arrow is too short to draw";
    select(EditorController::mosaicSegment);
    QTest::mousePress(canvas(), Qt::LeftButton, {}, at);
    EXPECT_FALSE(editor->linkedInteraction()->drag());
    QTest::mouseRelease(canvas(), Qt::LeftButton, {}, at);
}

// ---- a whole session -------------------------------------------------------------------------

TEST_F(EditorDrawing, AScriptedSessionUndoesToTheStartRedoesToTheEndAndReopensEqual)
{
    QList<ShotState> states{editor->document()->state()};
    const auto record = [&] {
        EXPECT_FALSE(editor->document()->state() == states.last());
        states << editor->document()->state();
    };
    for (const DrawingTool tool : DrawingTools::all()) {
        arm(tool);
        const QPointF from(40 + 60 * DrawingTools::rawValue(tool), 60), to(90 + 60 * DrawingTools::rawValue(tool), 160);
        if (tool == DrawingTool::pen)
            editor->completeFreehand({view(from), view((from + to) / 2), view(to)});
        else
            editor->completeDrawing(view(from), view(to));
        record();
    }
    // A style change on the selected drawing.
    editor->showFloatingTools();
    canvas()->setSelection({editor->document()->selectedDrawingIDs().isEmpty() ? ElementID() : ElementID(editor->document()->selectedDrawingIDs().first())});
    const auto lineID = editor->document()->addDrawing(DrawingTool::line, QPointF(20, 300), QPointF(200, 380), std::nullopt, std::nullopt);
    record();
    canvas()->setSelection({*lineID});
    editor->showFloatingTools();
    styleView()->color()->selectItemAt(1);
    styleView()->change();
    record();
    // A mask dragged in mosaic mode.
    select(EditorController::mosaicSegment);
    editor->addMask(QRectF(view(QPointF(420, 250)), view(QPointF(520, 330))));
    ASSERT_TRUE(waitIdle());
    record();
    // A text note and a re-pointing of its arrow.
    select(EditorController::textSegment);
    editor->begin(view(QPointF(300, 320)));
    editor->end();
    ASSERT_TRUE(panel()->input());
    panel()->input()->setPlainText(QStringLiteral("会话"));
    panel()->input()->commit();
    record();
    select(EditorController::selectSegment);
    canvas()->setSelection({editor->document()->links().first().bubbleID});
    editor->retarget();
    editor->begin(view(QPointF(600, 40)));
    editor->end();
    record();
    // A bubble drag.
    const AnnotationLink link = editor->document()->links().first();
    const QPointF centre = shape(link.bubbleID)->frame.center();
    editor->linkedInteraction()->pressAt(centre, 1);
    editor->linkedInteraction()->dragTo(centre + QPointF(-80, -40));
    editor->linkedInteraction()->releaseAt();
    record();

    const qsizetype steps = states.size() - 1;
    for (qsizetype k = steps; k > 0; --k) {
        ASSERT_TRUE(undo()->canUndo());
        undo()->undo();
        EXPECT_TRUE(editor->document()->state() == states[k - 1]) << "undo to step " << k - 1;
    }
    for (qsizetype k = 1; k <= steps; ++k) {
        undo()->redo();
        EXPECT_TRUE(editor->document()->state() == states[k]) << "redo to step " << k;
    }
    EXPECT_FALSE(undo()->canRedo());

    const QString file = path(QStringLiteral("session.kivaro"));
    panels->answer(file);
    editor->saveProject();
    ASSERT_TRUE(waitUntil([&] { return statusText() == QStringLiteral("工程已保存"); }));
    ShotDocument reopened;
    reopened.open(file);
    EXPECT_TRUE(reopened.state() == LinkedAnnotations::reconcile(states.last()));
    EXPECT_TRUE(reopened.state() == *editor->document()->savedState());
}
