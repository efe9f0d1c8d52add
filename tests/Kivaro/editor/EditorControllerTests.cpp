// The editor's state machine: what each mode, the armed tool, a pending re-pointing and the busy
// state enable; closing; errors; and the consistency pass after markup edits.

#include "EditorFixtures.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/TransparencyGridView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Markup/DocumentLimits.h"
#include "Support/KeyboardTesting.h"

#include <QFile>

using namespace Kivaro;
using namespace EditorTesting;

namespace {

using Phase = VoiceFeedbackView::Phase;

class EditorModes : public EditorTest {
protected:
    void select(int segment)
    {
        editor->mode()->setSelectedSegment(segment);
        editor->modeChanged();
    }
    bool overlayTakesClicks() const { return !editor->overlay()->testAttribute(Qt::WA_TransparentForMouseEvents); }
    bool canvasEditable() const { return editor->document()->canvas()->isEditable(); }
};

} // namespace

TEST_F(EditorModes, UntilAPictureIsLoadedOnlyTheBackgroundAndTheStatusLineShow)
{
    editor->window()->show();
    EXPECT_FALSE(editor->dock()->isVisible());
    EXPECT_FALSE(editor->canvasHost()->isVisible());
    EXPECT_FALSE(editor->shareButton()->isEnabled());
    loadPicture();
    EXPECT_TRUE(editor->dock()->isVisible());
    EXPECT_TRUE(editor->canvasHost()->isVisible());
    EXPECT_TRUE(editor->shareButton()->isEnabled());
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::selectSegment));
}

TEST_F(EditorModes, SelectAndEditWithoutAToolLeavesClicksToTheCanvasAndEveryOtherStateToTheOverlay)
{
    loadPicture();
    EXPECT_FALSE(overlayTakesClicks());
    EXPECT_TRUE(canvasEditable());
    EXPECT_EQ(editor->mode()->symbol(EditorController::selectSegment), QStringLiteral("cursorarrow"));

    editor->setActiveDrawingTool(DrawingTool::arrow);
    editor->updateMode();
    EXPECT_TRUE(overlayTakesClicks());
    EXPECT_FALSE(canvasEditable());
    EXPECT_EQ(editor->overlay()->drawingTool, DrawingTool::arrow);
    EXPECT_EQ(editor->overlay()->inkWidth, 5.0);
    EXPECT_EQ(editor->mode()->symbol(EditorController::selectSegment), QStringLiteral("arrow.up.right"));
    EXPECT_EQ(editor->mode()->segmentToolTip(EditorController::selectSegment), QStringLiteral("箭头"));

    editor->setActiveDrawingTool(DrawingTool::ellipse);
    editor->updateMode();
    EXPECT_EQ(editor->overlay()->inkWidth, 3.0);
    editor->setDrawingWidth(8);
    editor->updateMode();
    EXPECT_EQ(editor->overlay()->inkWidth, 8.0);

    // Another segment disarms the tool; the mosaic mode drags rectangles and shows the grain.
    select(EditorController::mosaicSegment);
    EXPECT_FALSE(editor->activeDrawingTool());
    EXPECT_TRUE(overlayTakesClicks());
    EXPECT_TRUE(editor->overlay()->rectangleMode);
    EXPECT_FALSE(editor->overlay()->drawingTool);
    EXPECT_TRUE(editor->mosaicGrainControl()->isVisible());
    EXPECT_FALSE(canvasEditable());

    select(EditorController::textSegment);
    EXPECT_FALSE(editor->overlay()->rectangleMode);
    EXPECT_FALSE(editor->mosaicGrainControl()->isVisible());
    EXPECT_EQ(editor->canvasBottomGap(), 26);
}

TEST_F(EditorModes, VoiceModeMakesRoomForThePanelAboveTheDock)
{
    loadPicture();
    const int height = editor->canvasHost()->height();
    select(EditorController::voiceSegment);
    EXPECT_EQ(editor->canvasBottomGap(), 98);
    EXPECT_EQ(editor->canvasHost()->height(), height - 72);
    EXPECT_EQ(editor->dock()->geometry().top() - editor->canvasHost()->geometry().bottom() - 1, 98);
}

TEST_F(EditorModes, BusyDisablesEditingAndTheControlsAndIdleEnablesOnlyWhatTheModeAllows)
{
    loadPicture();
    editor->setBusy(true);
    EXPECT_FALSE(canvasEditable());
    EXPECT_FALSE(editor->shareButton()->isEnabled());
    EXPECT_FALSE(editor->mode()->isEnabled());
    EXPECT_FALSE(editor->mosaicGrainControl()->isEnabled());

    // A mode change while busy is ignored.
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    editor->modeChanged();
    EXPECT_FALSE(editor->overlay()->rectangleMode);

    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->setActiveDrawingTool(DrawingTool::pen);
    editor->setBusy(false);
    EXPECT_FALSE(canvasEditable()) << "an armed tool keeps the canvas from taking edits";
    EXPECT_TRUE(editor->shareButton()->isEnabled());
    EXPECT_TRUE(editor->mode()->isEnabled());
    editor->setActiveDrawingTool(std::nullopt);
    editor->setBusy(false);
    EXPECT_TRUE(canvasEditable());
}

TEST_F(EditorModes, VoiceModePreparesSpeechOnceThenShowsTheReadyPromptAndCancelReturnsToIt)
{
    loadPicture();
    select(EditorController::voiceSegment);
    EXPECT_TRUE(editor->busy());
    EXPECT_EQ(editor->voiceFeedback()->phase(), Phase::preparing);
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(editor->voiceReady());
    EXPECT_EQ(voice->preparedLocales, QStringList{QStringLiteral("zh-CN")});
    EXPECT_EQ(editor->voiceFeedback()->phase(), Phase::ready);
    EXPECT_EQ(editor->voiceFeedback()->headline()->text(), QStringLiteral("按住问题位置讲话"));
    EXPECT_FALSE(editor->voiceFeedback()->language()->isHidden());

    select(EditorController::selectSegment);
    EXPECT_EQ(editor->voiceFeedback()->phase(), Phase::hidden);
    select(EditorController::voiceSegment);
    EXPECT_EQ(editor->voiceFeedback()->phase(), Phase::ready);
    EXPECT_EQ(voice->preparedLocales.size(), 1) << "prepared speech is not prepared again";

    // Another language from the More menu prepares that one.
    editor->selectSpeechLanguage(1);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(editor->localeIndex(), 1);
    EXPECT_EQ(voice->preparedLocales.last(), QStringLiteral("en-US"));
}

TEST_F(EditorModes, AFailedPreparationOffersRetryTypingAndCancel)
{
    loadPicture();
    voice->failure = QStringLiteral("没有可用的麦克风。");
    select(EditorController::voiceSegment);
    ASSERT_TRUE(waitIdle());
    VoiceFeedbackView *panel = editor->voiceFeedback();
    EXPECT_EQ(panel->phase(), Phase::failed);
    EXPECT_EQ(panel->detail()->text(), QStringLiteral("没有可用的麦克风。"));
    EXPECT_FALSE(panel->retryButton()->isHidden());
    EXPECT_FALSE(panel->textButton()->isHidden());
    EXPECT_FALSE(panel->cancelButton()->isHidden());
    // Retrying prepares again; typing instead switches to the text mode.
    EXPECT_TRUE(panel->retryButton()->isEnabled());
    EXPECT_TRUE(panel->textButton()->isEnabled());
    EXPECT_TRUE(panel->cancelButton()->isEnabled());
    EXPECT_FALSE(editor->voiceReady());

    panel->cancelButton()->click();
    EXPECT_EQ(panel->phase(), Phase::hidden);
    EXPECT_EQ(statusText(), QStringLiteral("已取消"));
    EXPECT_EQ(voice->cancels, 1);
    // Nothing left to cancel: the status line is left alone.
    editor->status()->setStringValue(QStringLiteral("x"));
    editor->cancelVoice();
    EXPECT_EQ(statusText(), QStringLiteral("x"));
}

// Each phase shows other texts and controls; the panel takes the size they need, centred above
// the dock and at most 0.9 of the window's width.
TEST_F(EditorModes, TheVoicePanelTakesTheSizeOfEachPhasesContent)
{
    loadPicture();
    VoiceFeedbackView *panel = editor->voiceFeedback();
    const auto sized = [&] {
        const QSize want(qMin(panel->sizeHint().width(), int(editor->view()->width() * 0.9)), panel->sizeHint().height());
        return panel->size() == want && std::abs(2 * panel->x() + panel->width() - editor->view()->width()) <= 1;
    };
    select(EditorController::voiceSegment);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(panel->phase(), Phase::ready);
    EXPECT_TRUE(waitUntil(sized, 1000)) << panel->x() << "," << panel->width() << "x" << panel->height() << " for " << panel->sizeHint().width() << "x"
                                         << panel->sizeHint().height() << " in " << editor->view()->width();
    const int readyWidth = panel->width();

    voice->failure = QStringLiteral("麦克风没有响应，请检查系统的声音设置，然后重新选择语音标注再试一次。");
    select(EditorController::selectSegment);
    editor->setVoiceReady(false);
    select(EditorController::voiceSegment);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(panel->phase(), Phase::failed);
    EXPECT_TRUE(waitUntil(sized, 1000)) << panel->x() << "," << panel->width() << "x" << panel->height() << " for " << panel->sizeHint().width() << "x"
                                         << panel->sizeHint().height() << " in " << editor->view()->width();
    EXPECT_GT(panel->width(), readyWidth) << "three buttons and a longer text";
}

TEST_F(EditorModes, AModeChangeDuringPreparationDropsItsLateResult)
{
    loadPicture();
    select(EditorController::voiceSegment);
    ASSERT_TRUE(editor->busy());
    editor->cancelOperation(); // Escape
    EXPECT_FALSE(editor->busy());
    EXPECT_EQ(statusText(), QStringLiteral("已取消"));
    waitUntil([] { return false; }, 50);
    EXPECT_FALSE(editor->voiceReady());
    EXPECT_EQ(editor->voiceFeedback()->phase(), Phase::hidden);
}

TEST_F(EditorModes, RePointingNeedsASelectedLinkAndEscapeEndsIt)
{
    loadPicture();
    editor->retarget();
    EXPECT_EQ(statusText(), QStringLiteral("请先选中标注"));
    EXPECT_FALSE(editor->retargeting());

    editor->document()->addAnnotation(QStringLiteral("这里"), QPointF(100, 100));
    editor->document()->canvas()->setSelection({editor->document()->links().first().bubbleID});
    ASSERT_TRUE(editor->document()->selectedLink().has_value());
    editor->setActiveDrawingTool(DrawingTool::arrow);
    editor->retarget();
    EXPECT_TRUE(editor->retargeting());
    EXPECT_FALSE(editor->activeDrawingTool());
    EXPECT_EQ(statusText(), QStringLiteral("点击新的指向位置"));
    EXPECT_TRUE(overlayTakesClicks());
    EXPECT_FALSE(editor->overlay()->drawingTool);
    EXPECT_FALSE(canvasEditable());

    editor->cancelOperation();
    EXPECT_FALSE(editor->retargeting());
    EXPECT_FALSE(editor->retargetLink());
    EXPECT_TRUE(canvasEditable());
}

// ---- closing ---------------------------------------------------------------------------------

using EditorClosing = EditorTest;

TEST_F(EditorClosing, ACloseRequestArchivesTheShotThenHidesTheWindowAndKeepsTheShot)
{
    loadPicture();
    editor->window()->close();
    EXPECT_TRUE(editor->window()->isVisible()) << "hidden only after the shot is written";
    EXPECT_TRUE(editor->busy());
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_TRUE(editor->document()->hasImage());
    EXPECT_TRUE(recentFiles().contains(editor->recent()->sessionID() + QStringLiteral(".kivaro")));
}

TEST_F(EditorClosing, WhileBusyTheRequestIsRefusedWithAHint)
{
    loadPicture();
    editor->setBusy(true);
    EXPECT_FALSE(editor->windowShouldClose(editor->window()));
    EXPECT_EQ(statusText(), QStringLiteral("请先完成当前操作，或按 Esc 取消录音。"));
    waitUntil([] { return false; }, 50);
    EXPECT_TRUE(editor->window()->isVisible());
    editor->setAllowsClose(true);
    EXPECT_TRUE(editor->windowShouldClose(editor->window()));
}

// The recent-shots folder cannot be written (a file stands in its place): the first request
// keeps the window and shows why; the user may then close it anyway, losing nothing.
TEST_F(EditorClosing, AFailingArchiveHoldsTheWindowOnceAndThenLetsTheUserCloseIt)
{
    QFile blocker(recentFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    loadPicture();
    const ShotState before = editor->document()->state();

    EXPECT_FALSE(editor->windowShouldClose(editor->window()));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(editor->window()->isVisible());
    const QString error = statusText();
    EXPECT_FALSE(error.isEmpty());

    EXPECT_FALSE(editor->windowShouldClose(editor->window()));
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_EQ(statusText(), error);
    EXPECT_TRUE(editor->document()->state() == before);
    EXPECT_TRUE(QFileInfo(recentFolder()).isFile());
}

namespace {

class EditorClosingAnyway : public EditorTest {
protected:
    // A file in the recent-shots folder's place: every write fails.
    void blockRecentFolder()
    {
        QFile blocker(recentFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    void unblockRecentFolder() { ASSERT_TRUE(QFile::remove(recentFolder())); }
    // A close request that ends with the window held and the write's error in the status line.
    void closeAndExpectHeld()
    {
        editor->status()->setStringValue(QString());
        EXPECT_FALSE(editor->windowShouldClose(editor->window()));
        ASSERT_TRUE(waitIdle());
        EXPECT_TRUE(editor->window()->isVisible());
        EXPECT_FALSE(statusText().isEmpty());
    }
    void closeAndExpectHidden()
    {
        EXPECT_FALSE(editor->windowShouldClose(editor->window()));
        ASSERT_TRUE(waitIdle());
        EXPECT_FALSE(editor->window()->isVisible());
    }
    // An edit, as the user makes one: the editor schedules the shot's debounced write.
    void edit()
    {
        editor->document()->addNumberedStep(QPointF(60 + 10 * ++edits, 60));
        ASSERT_TRUE(waitUntil([this] { return editor->recent()->pending() && !editor->recent()->pending().isFinished(); }));
    }
    int edits = 0;
};

} // namespace

// The user closes anyway right after an edit: the edit's own debounced write, failing a moment
// later, must not bring the window back.
TEST_F(EditorClosingAnyway, AWriteFailingAfterTheUserClosedAnywayLeavesTheWindowClosed)
{
    blockRecentFolder();
    loadPicture();
    closeAndExpectHeld();
    edit();
    closeAndExpectHidden();
    const QString error = statusText();
    // Longer than the debounce and the consistency pass after the edit.
    waitUntil([] { return false; }, int(RecentShots::kDebounce.count()) + 400);
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_TRUE(editor->document()->hasImage());
    EXPECT_TRUE(QFileInfo(recentFolder()).isFile());

    // The next time the user brings it forward, the error is there (whatever cleared the line
    // meanwhile, such as its own five-second timer).
    editor->status()->setStringValue(QString());
    editor->showEditor();
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_EQ(statusText(), error);
}

// Closing anyway holds for the shot whose write failed, until a write succeeds.
TEST_F(EditorClosingAnyway, AfterAWriteSucceedsAFailingCloseHoldsTheWindowAgain)
{
    blockRecentFolder();
    loadPicture();
    closeAndExpectHeld();
    closeAndExpectHidden();
    editor->showEditor();

    unblockRecentFolder();
    edit();
    ASSERT_TRUE(waitUntil([&] { return editor->recent()->pending().isFinished(); }, 3000));
    ASSERT_FALSE(recentFiles().isEmpty()) << "the debounced write landed";
    QDir(recentFolder()).removeRecursively();
    blockRecentFolder();
    closeAndExpectHeld();
}

// Another shot is another chance to learn that its write fails.
TEST_F(EditorClosingAnyway, AnotherShotHoldsTheWindowOnItsFirstFailingCloseAgain)
{
    blockRecentFolder();
    loadPicture();
    closeAndExpectHeld();
    closeAndExpectHidden();

    // A new shot arrives as a capture brings it: a new recent-shots session and the picture.
    editor->recent()->beginSession();
    loadPicture(picture(320, 200));
    closeAndExpectHeld();
    closeAndExpectHidden();
}

// A shot that cannot be archived never blocks the recent shots, a copy or the next open: the
// first request shows the failure and stops; from then on each request goes on and says the
// failure again.
TEST_F(EditorClosingAnyway, AShotThatCannotBeArchivedDoesNotBlockTheRecentShotsACopyOrTheNextOpen)
{
    // A picture one pixel wider than a project file holds: every write of it fails.
    loadPicture(picture(Platform::DocumentLimits::kMaxSide + 1, 1));
    editor->showRecent();
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(statusText().isEmpty());
    EXPECT_FALSE(editor->recentWindow()->window() && editor->recentWindow()->window()->isVisible());
    editor->showRecent();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(editor->recentWindow()->window());
    EXPECT_TRUE(editor->recentWindow()->window()->isVisible());
    editor->recentWindow()->window()->hide();

    editor->copyImage();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(pasteboard->data(Platform::PasteboardType::png).has_value());
    EXPECT_FALSE(editor->window()->isVisible()) << "copied and put away";

    const QString other = path(QStringLiteral("other.png"));
    ASSERT_TRUE(picture(100, 80).save(other));
    panels->answer(other);
    editor->openImage();
    EXPECT_TRUE(waitUntil([&] { return editor->document()->markup().bounds() == QRectF(0, 0, 100, 80) && !editor->busy(); }))
        << "the open goes on";
}

// ---- errors ----------------------------------------------------------------------------------

using EditorErrors = EditorTest;

TEST_F(EditorErrors, WithTheWindowHiddenAndNoPictureTheSettingsWindowShowsTheMessageInRed)
{
    FakeShell shell;
    editor->setShell(&shell);
    editor->show(std::make_exception_ptr(ShotError::message(QStringLiteral("出错了"))));
    EXPECT_EQ(statusText(), QStringLiteral("出错了"));
    ASSERT_TRUE(shell.window());
    EXPECT_TRUE(shell.window()->isVisible());
    EXPECT_EQ(shell.refreshes, 1);
    EXPECT_EQ(shell.message, QStringLiteral("出错了"));
    EXPECT_EQ(shell.messageColor.red() > 200 && shell.messageColor.green() < 100, true) << shell.messageColor.name().toStdString();
    EXPECT_FALSE(editor->window()->isVisible());
    editor->setShell(nullptr);
}

TEST_F(EditorErrors, WithAPictureAHiddenEditorComesForwardAndAVisibleOneOnlyShowsTheText)
{
    FakeShell shell;
    editor->setShell(&shell);
    editor->document()->load(picture(), false);
    editor->show(std::make_exception_ptr(ShotError::message(QStringLiteral("一"))));
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_FALSE(shell.window());
    editor->show(std::make_exception_ptr(ShotError::message(QStringLiteral("二"))));
    EXPECT_EQ(statusText(), QStringLiteral("二"));
    EXPECT_FALSE(shell.window());
    editor->setShell(nullptr);
}

// ---- the consistency pass ----------------------------------------------------------------------

using EditorReconciliation = EditorTest;

// Moving a bubble on the canvas leaves its arrow behind until the pass rebuilds it. The pass
// waits while the pointer source reports a held button, however long, and runs once it is
// released.
TEST_F(EditorReconciliation, ThePassWaitsForTheButtonsTheWindowSystemReportsAndThenRuns)
{
    loadPicture();
    editor->document()->addAnnotation(QStringLiteral("看这里"), QPointF(320, 200));
    const AnnotationLink link = editor->document()->links().first();
    const auto arrowFrame = [&] { return editor->document()->markup().subelements().shape(link.arrowID)->frame; };
    const QRectF arrowBefore = arrowFrame();
    ASSERT_TRUE(waitUntil([&] { return !editor->reconciliationTask() || editor->reconciliationTask().isFinished(); }));

    pointer->setPressedButtons(Qt::LeftButton);
    Platform::MarkupCanvas *canvas = editor->document()->canvas();
    const QRectF bubble = editor->document()->markup().subelements().shape(link.bubbleID)->frame;
    canvas->setSelection({link.bubbleID});
    const QPointF grip = canvas->viewPoint(bubble.center());
    canvas->pressAt(grip);
    canvas->dragTo(grip + QPointF(60, 40));
    canvas->releaseAt(grip + QPointF(60, 40));
    ASSERT_EQ(arrowFrame(), arrowBefore);

    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(editor->reconciliationTask().isFinished());
    EXPECT_EQ(arrowFrame(), arrowBefore) << "no pass while a button is held";

    pointer->setPressedButtons(Qt::NoButton);
    ASSERT_TRUE(waitUntil([&] { return editor->reconciliationTask().isFinished(); }));
    EXPECT_NE(arrowFrame(), arrowBefore);
    EXPECT_TRUE(editor->recent()->pending()) << "the pass schedules the autosave";
}

TEST_F(EditorReconciliation, EachEditReplacesThePendingPass)
{
    loadPicture();
    editor->nativeMarkupChanged();
    const Platform::TaskHandle<void> first = editor->reconciliationTask();
    editor->nativeMarkupChanged();
    EXPECT_TRUE(first.isCancelled());
    ASSERT_TRUE(waitUntil([&] { return editor->reconciliationTask().isFinished(); }));
    EXPECT_TRUE(first.endedByCancellation());
    EXPECT_FALSE(editor->reconciliationTask().error());
}

TEST_F(EditorReconciliation, TheTitleNamesTheFileAndMarksUnsavedEdits)
{
    const auto shownTitle = [&] { return editor->window()->title().remove(QStringLiteral("[*]")); };
    EXPECT_EQ(shownTitle(), QStringLiteral("Kivaro"));
    loadPicture();
    EXPECT_FALSE(editor->window()->isWindowModified());
    editor->document()->addAnnotation(QStringLiteral("改动"), QPointF(50, 50));
    EXPECT_TRUE(editor->window()->isWindowModified());
    TestSupport::run(editor->document()->save(path(QStringLiteral("shot.kivaro"))));
    EXPECT_EQ(shownTitle(), QStringLiteral("shot.kivaro"));
    EXPECT_FALSE(editor->window()->isWindowModified());
}

// Keys sent to the shown editor: Tab goes from the picture to the mode control and on along the
// dock; arrows there change the mode as a click does.
TEST_F(EditorModes, TabReachesTheModeControlAfterThePictureAndArrowsChangeTheMode)
{
    using TestSupport::press;
    loadPicture();
    QWidget *window = editor->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    select(EditorController::mosaicSegment); // the grain pop-up shows
    editor->document()->canvas()->setFocus();
    const QList<QWidget *> round = TestSupport::tabRound(window);
    ASSERT_GE(round.size(), 3);
    EXPECT_EQ(round.mid(0, 3), (QList<QWidget *>{editor->document()->canvas(), editor->mode(), editor->mosaicGrainControl()}));
    EXPECT_TRUE(TestSupport::inScreenOrder(round));

    for (int presses = 0; presses < round.size() && window->focusWidget() != editor->mode(); ++presses)
        press(window, Qt::Key_Tab);
    ASSERT_EQ(window->focusWidget(), editor->mode());
    press(window, Qt::Key_Left);
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::selectSegment);
    EXPECT_FALSE(editor->overlay()->rectangleMode) << "the editor followed the arrow";
    press(window, Qt::Key_End);
    EXPECT_TRUE(editor->overlay()->rectangleMode);
}
