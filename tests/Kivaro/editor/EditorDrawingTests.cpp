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
#include "Kivaro/controls/KivaroTextLabel.h"
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
    EXPECT_LT((frame.topLeft() - QPointF(100, 80)).manhattanLength() + (frame.bottomRight() - QPointF(300, 200)).manhattanLength(), 1e-6);
    EXPECT_EQ(panel()->shapeID, selected[0]);
    EXPECT_EQ(editor->activeDrawingTool(), DrawingTool::rectangle);
    // A drag starting off the picture adds nothing, silently.
    const ShotState before = editor->document()->state();
    editor->completeDrawing(view(QPointF(-20, 80)), view(QPointF(300, 200)));
    EXPECT_TRUE(editor->document()->state() == before);
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

// ---- the colour-and-width row ----------------------------------------------------------------

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
    EXPECT_EQ(*shape(mask), maskBefore);
    EXPECT_EQ(undo()->undoCount(), steps + 1);
    EXPECT_EQ(undo()->undoActionName(), QStringLiteral("标注样式"));
    EXPECT_EQ(editor->overlay()->inkColor, pink);
    undo()->undo();
    EXPECT_TRUE(editor->document()->state() == before);

    // Nothing selected: no step; the next drawing takes the new width.
    canvas()->setSelection({});
    editor->showFloatingTools();
    styleView()->width()->selectItemAt(2);
    styleView()->change();
    EXPECT_EQ(undo()->undoCount(), steps);
    editor->completeDrawing(view(QPointF(50, 300)), view(QPointF(200, 320)));
    EXPECT_EQ(shape(editor->document()->selectedDrawingIDs().first())->lineWidth, 8.0);
}

// ---- the floating panel ----------------------------------------------------------------------

TEST_F(EditorDrawing, TheTextPanelCommitsTextAsTypedAndKeepsBlankOrRefusedText)
{
    select(EditorController::textSegment);
    editor->begin(view(QPointF(200, 150)));
    editor->end();
    AnnotationInputView *input = panel()->input();
    ASSERT_TRUE(input);
    EXPECT_EQ(panel()->panel()->size(), QSize(300, 164));
    EXPECT_EQ(panel()->imageAnchor, QPointF(200, 150));
    // The hint names the key that commits, as the menus name theirs: Ctrl+Return, whole and
    // left of the check button.
    QStringList hints;
    for (const KivaroTextLabel *label : panel()->panel()->findChildren<KivaroTextLabel *>()) {
        hints << label->text();
        if (label->text() == QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText)) {
            EXPECT_GE(label->width(), label->sizeHint().width());
            EXPECT_LE(label->mapTo(panel()->panel(), QPoint(label->width(), 0)).x(), 256);
        }
    }
    EXPECT_TRUE(hints.contains(QStringLiteral("Ctrl+Return"))) << hints.join(u'|').toStdString();
    EXPECT_FALSE(hints.join(QString()).contains(u'⌘'));

    input->setPlainText(QStringLiteral("  \n  "));
    QTest::keyClick(input, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(panel()->isVisible()) << "blank text is not passed on";
    EXPECT_TRUE(editor->document()->links().isEmpty());

    input->setPlainText(QStringLiteral(" spaced text "));
    QTest::keyClick(input, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(editor->document()->links().size(), 1);
    const AnnotationLink link = editor->document()->links().first();
    // The document trims what it stores; the panel passes the text on as typed (below).
    EXPECT_EQ(shape(link.bubbleID)->attributedText.string(), QStringLiteral("spaced text"));
    EXPECT_EQ(link.anchor, QPointF(200, 150));
    EXPECT_FALSE(panel()->isVisible());

    // Editing the link's text: the field starts with it; a refused text stays for correcting.
    editor->showTextEditor(link.anchor, link);
    ASSERT_TRUE(panel()->input());
    EXPECT_EQ(panel()->input()->toPlainText(), QStringLiteral("spaced text"));
    panel()->input()->setPlainText(QString(501, QLatin1Char('x')));
    panel()->input()->commit();
    EXPECT_EQ(panel()->input()->toPlainText().size(), 501);
    EXPECT_FALSE(statusText().isEmpty());
    // A tool button drops the text and opens the tool panel.
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

// ---- cancelling voice work -------------------------------------------------------------------

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
    // A style change on a new line, which is selected.
    arm(DrawingTool::line);
    editor->completeDrawing(view(QPointF(20, 300)), view(QPointF(200, 380)));
    record();
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
