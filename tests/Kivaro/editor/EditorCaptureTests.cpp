// The editor's capture road on fixture screens: a real overlay (offscreen widgets) over
// in-process screens, the editor's own recent-shots folder and a private pasteboard.

#include "CaptureRoadFixtures.h"

#include "Kivaro/editor/CapturePermissionPanel.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/TransparencyGridView.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroTableRow.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/sharing/ShareRowButton.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Markup/MarkupCanvas.h"

#include <QLabel>
#include <QMenu>
#include <QTest>

using namespace Kivaro;
using namespace EditorTesting;

namespace {

QImage decoded(const std::optional<QByteArray> &png)
{
    return png ? QImage::fromData(*png, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}

} // namespace

TEST_F(CaptureRoadTest, AFreshInstallationCopiesTheRegionArchivesItAndKeepsTheEditorHidden)
{
    ASSERT_TRUE(captureRegion());
    ASSERT_TRUE(editor->document()->hasImage());
    EXPECT_EQ(decoded(pasteboard->data(Platform::PasteboardType::png)), capturedRegion());
    EXPECT_EQ(pasteboard->data(Platform::PasteboardType::png), TestSupport::run(editor->document()->png(std::nullopt, false)));
    EXPECT_EQ(recentFiles().size(), 2) << recentFiles().join(u' ').toStdString();
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_FALSE(editor->inlineEditor()->isShown());
    EXPECT_EQ(statusText(), QStringLiteral("截图已复制到剪贴板。"));
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::selectSegment);
    EXPECT_EQ(editor->capture()->lastPlacement()->frame, QRectF(120, 100, 520, 250));
}

TEST_F(CaptureRoadTest, WithCopyingOffTheClipboardIsLeftAloneAndTheShotIsStillArchived)
{
    setPreference(CaptureCompletionPreferences::copiesImageKey, false);
    pasteboard->setContents({{Platform::PasteboardType::plainText, QByteArray("before")}});
    const long long count = pasteboard->changeCount();
    ASSERT_TRUE(captureRegion());
    EXPECT_EQ(pasteboard->changeCount(), count);
    EXPECT_EQ(pasteboard->data(Platform::PasteboardType::plainText), QByteArray("before"));
    EXPECT_EQ(recentFiles().size(), 2);
    EXPECT_EQ(statusText(), QStringLiteral("截图已保存到历史。"));
}

TEST_F(CaptureRoadTest, WithTheEditorOnTheInlineEditorLaysTheCanvasExactlyOverTheCapturedRectangle)
{
    setPreference(CaptureCompletionPreferences::opensEditorKey, true);
    editor->window()->show();
    ASSERT_TRUE(captureRegion());
    InlineCaptureEditor *inline_ = editor->inlineEditor();
    ASSERT_TRUE(inline_->isShown());
    EXPECT_FALSE(editor->window()->isVisible());
    EXPECT_EQ(inline_->window()->geometry(), QRect(0, 0, 960, 600));
    EXPECT_TRUE(inline_->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // Qt coordinates: y down, so the rectangle's top is 600 - 350.
    EXPECT_EQ(QRect(editor->canvasHost()->mapTo(inline_->window(), QPoint(0, 0)), editor->canvasHost()->size()), QRect(120, 250, 520, 250));
    EXPECT_EQ(editor->document()->canvas()->size(), QSize(520, 250));
    EXPECT_DOUBLE_EQ(editor->document()->canvas()->zoomScale(), 1.0);
    EXPECT_EQ(editor->document()->canvas()->contentVisibleFrame(), QRectF(0, 0, 520, 250));
    for (QWidget *view : {static_cast<QWidget *>(editor->canvasHost()), static_cast<QWidget *>(editor->dock()),
                          static_cast<QWidget *>(editor->status()), static_cast<QWidget *>(editor->voiceFeedback())})
        EXPECT_EQ(view->parentWidget(), inline_->background());
    // The dock is below the rectangle (there is room), at least 360 wide, and on the screen.
    const QRect dock = editor->dock()->geometry();
    EXPECT_GE(dock.width(), 360);
    EXPECT_EQ(dock.top(), 250 + 250 + 16);
    EXPECT_EQ(inline_->exitButton()->geometry(), QRect(640 - 114, 250 - 8 - 32, 114, 32));
    EXPECT_TRUE(editor->status()->isPlated()) << "readable over the frozen screen";

    // Leaving gives the views back to the editor window with its own layout.
    const QRect before = editor->dock()->geometry();
    inline_->exitButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !inline_->isShown() && !editor->busy(); }));
    EXPECT_EQ(editor->canvasHost()->parentWidget(), editor->view());
    EXPECT_EQ(editor->dock()->parentWidget(), editor->view());
    EXPECT_NE(editor->dock()->geometry(), before);
    EXPECT_FALSE(editor->status()->isPlated());
    EXPECT_FALSE(editor->window()->isVisible()) << "leaving the inline editor does not open the window";
    EXPECT_TRUE(editor->document()->hasImage());
}

TEST_F(CaptureRoadTest, PresentingTwiceLeavesOneWindowAndEveryBorrowedViewWithOneParent)
{
    editor->document()->load(picture(400, 300), false);
    const CapturePlacement placement{QRectF(0, 0, 960, 600), QRectF(100, 100, 400, 300), screenImage};
    editor->inlineEditor()->present(editor.get(), placement);
    QPointer<QWidget> first = editor->inlineEditor()->window();
    editor->inlineEditor()->present(editor.get(), placement);
    EXPECT_NE(editor->inlineEditor()->window(), first.data());
    waitUntil([&] { return first.isNull(); }, 1000);
    EXPECT_TRUE(first.isNull()) << "the first inline window is gone";
    EXPECT_EQ(editor->canvasHost()->parentWidget(), editor->inlineEditor()->background());
    editor->inlineEditor()->dismiss();
    editor->inlineEditor()->dismiss();
    EXPECT_EQ(editor->canvasHost()->parentWidget(), editor->view());
    EXPECT_TRUE(editor->canvasHost()->isVisibleTo(editor->view()));
}

TEST(InlineLayout, TheDockGoesAboveARectangleAtTheBottomAndEverythingStaysOnTheScreen)
{
    const QSizeF screen(1000, 700);
    const QSizeF dock(300, 48), voice(300, 60);
    // y up: a rectangle at the bottom edge has no room below it.
    const InlineCaptureEditor::Layout bottom = InlineCaptureEditor::layout(QRectF(100, 0, 200, 100), screen, dock, voice);
    EXPECT_EQ(bottom.dock, QRectF(20, 116, 360, 52)) << "360 wide, centred on the rectangle, clamped 12 from the edge";
    EXPECT_EQ(bottom.status, QRectF(20, 94, 360, 18));
    EXPECT_EQ(bottom.voicePanel, QRectF(20, 176, 360, 78));
    // A rectangle over the whole screen: the dock, the voice panel and the exit button stay 12
    // inside every edge.
    const InlineCaptureEditor::Layout full = InlineCaptureEditor::layout(QRectF(0, 0, 1000, 700), screen, dock, voice);
    for (const QRectF &r : {full.dock, full.voicePanel, full.exitButton}) {
        EXPECT_GE(r.left(), 12);
        EXPECT_GE(r.top(), 12);
        EXPECT_LE(r.right(), 1000 - 12);
        EXPECT_LE(r.bottom(), 700 - 12);
    }
    // A screen narrower than 384 points: the dock is the screen width less 24.
    EXPECT_EQ(InlineCaptureEditor::layout(QRectF(10, 10, 50, 50), QSizeF(300, 700), dock, voice).dock.width(), 276);
}

TEST_F(CaptureRoadTest, CancellingBringsBackTheInlineEditorThatWasOpenAtTheSamePlace)
{
    setPreference(CaptureCompletionPreferences::opensEditorKey, true);
    ASSERT_TRUE(captureRegion());
    ASSERT_TRUE(editor->inlineEditor()->isShown());
    const QRectF frame = editor->inlineEditor()->placement()->frame;
    const Kivaro::ShotState state = editor->document()->state();

    editor->captureRegion(CaptureIntent::image, CaptureSelectionMode::region, false);
    EXPECT_FALSE(editor->inlineEditor()->isShown()) << "the capture puts the inline editor away first";
    ASSERT_TRUE(escape());
    ASSERT_TRUE(waitCaptureEnded());
    ASSERT_TRUE(editor->inlineEditor()->isShown());
    EXPECT_EQ(editor->inlineEditor()->placement()->frame, frame);
    EXPECT_TRUE(editor->document()->state() == state);
    EXPECT_EQ(statusText(), QStringLiteral("已取消截图，上一张截图已保留。"));
}

TEST_F(CaptureRoadTest, CancellingWithNoShotBringsBackTheSettingsWindowAndSaysSo)
{
    FakeShell shell;
    editor->setShell(&shell);
    shell.makeWindow();
    shell.window()->show();
    editor->captureWithShortcutAction();
    ASSERT_TRUE(overlayView());
    EXPECT_FALSE(shell.window()->isVisible()) << "hidden while the screen is chosen";
    ASSERT_TRUE(escape());
    ASSERT_TRUE(waitCaptureEnded());
    EXPECT_TRUE(shell.window()->isVisible());
    EXPECT_EQ(statusText(), QStringLiteral("已取消截图"));
    EXPECT_FALSE(editor->document()->hasImage());
    editor->setShell(nullptr);
}

TEST_F(CaptureRoadTest, ACancelledTaskBringsBackTheEditorWindowWithoutAMessage)
{
    loadPicture();
    editor->startCapture();
    ASSERT_TRUE(overlayView());
    EXPECT_FALSE(editor->window()->isVisible());
    editor->captureTask().cancel();
    ASSERT_TRUE(waitCaptureEnded());
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_TRUE(editor->capture()->overlays().isEmpty());
    EXPECT_EQ(statusText(), QStringLiteral("选择窗口或画框，按住 Alt 切换，Esc 取消。")) << "no message of its own";
}

TEST_F(CaptureRoadTest, ARequestWhileBusyOrWhileACaptureRunsIsDropped)
{
    editor->setBusy(true);
    editor->captureRegionWithShortcutAction();
    EXPECT_FALSE(editor->captureTask());
    editor->setBusy(false);

    editor->captureRegionWithShortcutAction();
    ASSERT_TRUE(overlayView());
    editor->captureWithShortcutAction();
    editor->startCapture();
    EXPECT_EQ(source->freezeCount(), 1);
    EXPECT_EQ(editor->capture()->overlays().size(), 1);
    ASSERT_TRUE(drag({120, 100}, {640, 350}));
    ASSERT_TRUE(waitCaptureEnded());
    EXPECT_EQ(source->freezeCount(), 1);
}

TEST_F(CaptureRoadTest, ARefusedPermissionShowsTheErrorAndThePanel)
{
    permission->granted = false;
    editor->startCapture();
    ASSERT_TRUE(waitCaptureEnded());
    EXPECT_EQ(statusText(), Tellumo::ScreenRegionCapture::permissionError().description());
    CapturePermissionPanel *panel = editor->capturePermissionPanel();
    ASSERT_TRUE(panel->window());
    EXPECT_TRUE(panel->window()->isVisible());
    EXPECT_EQ(source->freezeCount(), 0);

    // Asking again while no display answers keeps the panel and says what to do on X11.
    panel->openSettings();
    EXPECT_EQ(permission->requests, 1);
    EXPECT_TRUE(panel->window()->isVisible());
    EXPECT_EQ(panel->message()->text(),
              QStringLiteral("没有可连接的 X 显示，Kivaro 无法读取屏幕。请在 X11 桌面会话中启动 Kivaro（DISPLAY 指向该显示），然后再截图。"));
    // Once the display answers, the same button closes it.
    permission->granted = true;
    QWidget *window = panel->window();
    panel->settingsButton()->click();
    EXPECT_FALSE(window->isVisible());
    editor->showCapturePermission();
    EXPECT_EQ(panel->window(), window) << "one window, reused";
    EXPECT_EQ(panel->window()->windowTitle(), QStringLiteral("允许 Kivaro 截取屏幕"));
    panel->laterButton()->click();
    EXPECT_FALSE(window->isVisible());
}

// A failing archive of the open shot stops the first capture with the error. Once it was
// shown, it no longer stands in the way: the next capture goes on and brings its new shot.
TEST_F(CaptureRoadTest, AFailedArchiveStopsTheFirstCaptureWithTheErrorAndNotTheNext)
{
    loadPicture();
    // The recent-shots folder is a file: every write fails, whoever runs the test.
    QFile blocker(recentFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    editor->startCapture();
    ASSERT_TRUE(waitCaptureEnded());
    EXPECT_EQ(source->freezeCount(), 0);
    EXPECT_FALSE(statusText().isEmpty());
    EXPECT_NE(statusText(), QStringLiteral("选择窗口或画框，按住 Alt 切换，Esc 取消。"));
    EXPECT_TRUE(editor->window()->isVisible());

    ASSERT_TRUE(captureRegion());
    EXPECT_EQ(source->freezeCount(), 1);
    EXPECT_EQ(editor->document()->markup().bounds().size(), QSizeF(520, 250)) << "the new shot is loaded";
}

// The inline editor covers the screen and stays on top: a failing recent-shots write must not
// lock the user in. The first exit shows the error and stays; the next one leaves.
TEST_F(CaptureRoadTest, TheInlineEditorCanBeLeftAfterAFailedWriteWasShownAndKeepsTheShot)
{
    setPreference(CaptureCompletionPreferences::opensEditorKey, true);
    ASSERT_TRUE(captureRegion());
    QPointer<QWidget> window = editor->inlineEditor()->window();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QDir(recentFolder()).removeRecursively());
    QFile blocker(recentFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Kivaro::ShotState state = editor->document()->state();

    window->activateWindow();
    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(editor->inlineEditor()->isShown()) << "the first exit shows the failure";
    EXPECT_FALSE(statusText().isEmpty());
    EXPECT_TRUE(editor->status()->isVisibleTo(window)) << "in the inline window, where the user looks";

    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return !editor->inlineEditor()->isShown() && !editor->busy(); }));
    EXPECT_TRUE(editor->document()->state() == state);
    EXPECT_EQ(editor->canvasHost()->parentWidget(), editor->view());
}

TEST_F(CaptureRoadTest, ATextCaptureOfAPictureWithoutTextEndsWithAnErrorAndKeepsTheImage)
{
    setPreference(CaptureIntents::preferenceKey, QStringLiteral("text"));
    pasteboard->setString(QStringLiteral("kept"));
    editor->captureRegionWithShortcutAction();
    ASSERT_TRUE(drag({120, 100}, {640, 350}));
    ASSERT_TRUE(waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, 60000));
    EXPECT_EQ(statusText(), QStringLiteral("未识别到文字，原剪贴板已保留。"));
    EXPECT_TRUE(editor->document()->hasImage());
    EXPECT_EQ(pasteboard->string(), QStringLiteral("kept"));
    EXPECT_TRUE(editor->window()->isVisible());

    // With one installed it is called with the general pasteboard, polishing only on request.
    std::optional<bool> polished;
    editor->textRecognition = [&](bool polish, std::shared_ptr<Platform::Pasteboard> to) -> Platform::Task<void> {
        polished = polish;
        EXPECT_EQ(to, pasteboard);
        co_return;
    };
    setPreference(CaptureIntents::preferenceKey, QStringLiteral("polishedText"));
    editor->captureRegionWithShortcutAction();
    ASSERT_TRUE(drag({120, 100}, {640, 350}));
    ASSERT_TRUE(waitCaptureEnded());
    EXPECT_EQ(polished, true);
    EXPECT_EQ(statusText(), QStringLiteral("已复制识别文字"));
    EXPECT_FALSE(editor->window()->isVisible());
}

TEST_F(CaptureRoadTest, TheRecentShotsWindowReopensAShotAndSharesAnotherWithoutTouchingTheOpenOne)
{
    ASSERT_TRUE(captureRegion());
    const Kivaro::ShotState first = editor->document()->state();
    setPreference(CaptureCompletionPreferences::copiesImageKey, false);
    editor->captureRegion(CaptureIntent::image, CaptureSelectionMode::region, false);
    ASSERT_TRUE(drag({10, 10}, {110, 90}));
    ASSERT_TRUE(waitCaptureEnded());
    const Kivaro::ShotState second = editor->document()->state();

    editor->showRecent();
    ASSERT_TRUE(waitIdle());
    RecentShotsWindow *window = editor->recentWindow();
    ASSERT_EQ(window->numberOfRows(), 2);
    // The older shot is the second row; sharing it renders that shot, not the open one.
    window->rows().at(1)->findChild<ShareRowButton *>()->click();
    ASSERT_TRUE(waitUntil([] { return NativeAppAppearance::NativeMenu::shared().isOpen(); }));
    NativeAppAppearance::NativeMenu::shared().contentView()->rows().at(0)->activate();
    ASSERT_TRUE(waitUntil([&] { return sharingServices->performed().size() == 1; }));
    const QString file = sharingServices->performed().at(0).filePath;
    EXPECT_EQ(QFileInfo(file).fileName(), QStringLiteral("Kivaro.png"));
    QFile shared(file);
    ASSERT_TRUE(shared.open(QIODevice::ReadOnly));
    EXPECT_EQ(QImage::fromData(shared.readAll(), "PNG").convertToFormat(QImage::Format_RGB32), capturedRegion());
    EXPECT_TRUE(editor->document()->state() == second);
    sharingServices->endAll();
    // The presenter keeps a started application's file for a minute; the test does not wait.
    QDir(QFileInfo(file).absolutePath()).removeRecursively();

    // A double-click continues the older shot in its own entry.
    window->selectRow(1);
    window->openSelected();
    ASSERT_TRUE(waitUntil([&] { return editor->document()->state() == first && !editor->busy(); }));
    EXPECT_EQ(statusText(), QStringLiteral("已恢复最近截图，可以继续编辑。"));
    EXPECT_FALSE(editor->document()->fileURL());
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_EQ(editor->recent()->sessionID(), QFileInfo(window->shots().at(1).projectURL).completeBaseName());
}

TEST_F(CaptureRoadTest, SharingARecentShotWhoseProjectIsUnreadableShowsTheErrorAndKeepsTheOpenShot)
{
    ASSERT_TRUE(captureRegion());
    const Kivaro::ShotState state = editor->document()->state();
    editor->showRecent();
    ASSERT_TRUE(waitIdle());
    const RecentShot shot = editor->recentWindow()->shots().at(0);
    QFile project(shot.projectURL);
    ASSERT_TRUE(project.open(QIODevice::WriteOnly | QIODevice::Truncate));
    project.write("not a project");
    project.close();
    editor->shareShot(shot, editor->recentWindow()->rows().at(0));
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(statusText().isEmpty());
    EXPECT_FALSE(NativeAppAppearance::NativeMenu::shared().isOpen());
    EXPECT_TRUE(sharingServices->performed().isEmpty());
    EXPECT_TRUE(editor->document()->state() == state);
}

TEST_F(CaptureRoadTest, ACaptureFromAVisibleEditorKeepsTheWindowsFrame)
{
    loadPicture();
    editor->window()->setGeometry(QRect(40, 50, 900, 640));
    const QRect frame = editor->window()->geometry();
    ASSERT_TRUE(captureRegion());
    EXPECT_FALSE(editor->window()->isVisible());
    editor->showEditor();
    EXPECT_EQ(editor->window()->geometry(), frame);
}

TEST_F(CaptureRoadTest, TheMoreMenusCaptureAndRecentItemsRunTheirActions)
{
    loadPicture();
    editor->showMore(editor->dock());
    QMenu *menu = editor->moreMenu();
    ASSERT_TRUE(menu);
    menu->actions()[1]->trigger(); // region capture
    ASSERT_TRUE(overlayView());
    EXPECT_EQ(editor->capture()->overlays().first()->contentView()->effectiveMode(), CaptureSelectionMode::region);
    ASSERT_TRUE(escape());
    ASSERT_TRUE(waitCaptureEnded());
    NativeAppAppearance::NativeMenu::shared().close();

    editor->showMore(editor->dock());
    editor->moreMenu()->actions()[3]->trigger(); // recent shots
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(editor->recentWindow()->window());
    EXPECT_TRUE(editor->recentWindow()->window()->isVisible());
    EXPECT_EQ(editor->recentWindow()->numberOfRows(), 1) << "the open shot was archived first";
    NativeAppAppearance::NativeMenu::shared().close();
}
