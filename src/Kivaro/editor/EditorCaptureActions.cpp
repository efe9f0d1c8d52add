// The capture road of the editor: starting a capture, bringing the right window back after it,
// finishing an image capture, and the recent-shots browser.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CapturePermissionPanel.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorShell.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/LinkedBubbleInteraction.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "TellumoCore/ScreenRegionCapture.h"
#include "TellumoCore/TextRecognizer.h"

#include <QGuiApplication>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Platform;

namespace Kivaro {

namespace detail {

// What a capture remembers when it starts, to bring the same view back when it ends without a
// new shot. Carried by the capture task; gone with it.
struct CaptureStart {
    std::optional<CapturePlacement> previousPlacement; // the inline editor's, when it was shown
    bool editorWasVisible = false;
    QPointer<QWidget> settingsWindow;
    bool settingsWasVisible = false;
    std::optional<QRect> editorFrame;
};

} // namespace detail

namespace {

void releaseFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool isPermissionError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Tellumo::TellumoError &e) {
        return e.domain() == QLatin1String(Tellumo::ScreenRegionCapture::errorDomain) && e.code() == 1;
    } catch (...) {
        return false;
    }
}

} // namespace

void EditorController::captureRegion(CaptureIntent intent, std::optional<CaptureSelectionMode> mode, std::optional<bool> optionHeld)
{
    if (m_busy || m_capture->isRunning())
        return;
    detail::CaptureStart start;
    start.previousPlacement = m_inlineEditor->placement();
    m_inlineEditor->dismiss();
    m_annotationPanel->dismiss();
    m_activeDrawingTool.reset();
    cancelVoice();
    setBusy(true);
    start.editorWasVisible = m_window && m_window->isVisible();
    if (ShortcutSettingsController *settings = m_shell ? m_shell->shortcutSettings() : nullptr) {
        start.settingsWindow = settings->window();
        start.settingsWasVisible = start.settingsWindow && start.settingsWindow->isVisible();
    }
    if (m_window)
        start.editorFrame = m_window->geometry();
    m_captureTask = Platform::start(capturing(this, intent, mode, optionHeld, std::move(start)), this);
    // The recognition engines rest after a while without work: a capture that ends in
    // recognition starts them while the user chooses the area.
    if (intent != CaptureIntent::image)
        Platform::start(Tellumo::TextRecognizer::prewarm(), this);
}

Task<void> EditorController::capturing(QPointer<EditorController> self, CaptureIntent intent, std::optional<CaptureSelectionMode> mode,
                                       std::optional<bool> optionHeld, detail::CaptureStart start)
{
    if (!self)
        co_return;
    std::exception_ptr error;
    try {
        // The open shot is archived before anything else: a failure leaves it where it is, once.
        co_await self->archived(self);
        if (self->m_window)
            self->m_window->hide();
        if (start.settingsWindow)
            start.settingsWindow->hide();
        self->status()->setStringValue(kivaroCopy("选择窗口或画框，按住 Alt 切换，Esc 取消。"));
        const bool option = optionHeld.value_or(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier));
        const std::optional<QImage> image = co_await self->m_capture->capture(mode.value_or(CaptureSelectionMode::window), option);
        if (!self)
            throw CancellationError();
        if (!image) {
            self->restoreView(start);
            self->status()->setStringValue(self->m_document->hasImage() ? kivaroCopy("已取消截图，上一张截图已保留。")
                                                                        : kivaroCopy("已取消截图"));
        } else {
            self->m_recent->beginSession();
            self->m_document->load(*image, false);
            if (start.editorFrame && self->m_window)
                self->m_window->setGeometry(*start.editorFrame);
            if (intent == CaptureIntent::image) {
                co_await self->finishImageCapture(CaptureCompletionPreferences::read(UserDefaults::standard()),
                                                  self->m_services.pasteboard, self->m_capture->lastPlacement());
            } else {
                const bool polish = intent == CaptureIntent::polishedText;
                self->m_activeDrawingTool.reset();
                self->mode()->setSelectedSegment(selectSegment);
                self->updateMode();
                self->m_document->fit();
                co_await self->archived(self);
                self->status()->setProgressText(polish ? kivaroCopy("正在识字并润色…") : kivaroCopy("正在识字…"));
                if (self->textRecognition)
                    co_await self->textRecognition(polish, self->m_services.pasteboard);
                else
                    co_await self->copyRecognizedText(polish, self->m_services.pasteboard);
                if (!self)
                    throw CancellationError();
                self->status()->setStringValue(self->recognizedTextStatus(kivaroCopy("已复制识别文字")));
                if (self->m_window)
                    self->m_window->hide();
            }
        }
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (error) {
        if (isCancellation(error)) {
            self->restoreView(start);
        } else {
            self->showEditor();
            self->show(error);
            if (isPermissionError(error))
                self->showCapturePermission();
        }
    }
    // The inline editor holds its own copy of the frozen screen while it shows it.
    self->m_capture->forgetBackground();
    // The frozen screens, the encoder's bands and the recent-shots write leave free memory
    // behind in the allocator's arenas: a resident application gives it back.
    releaseFreeMemory();
    self->setBusy(false);
    self->m_captureTask = {};
}

void EditorController::restoreView(const detail::CaptureStart &start)
{
    if (start.previousPlacement)
        m_inlineEditor->present(this, *start.previousPlacement);
    else if (start.editorWasVisible)
        showEditor();
    else if (start.settingsWasVisible)
        presentSettingsWindow();
}

void EditorController::captureWithShortcutAction()
{
    captureRegion(CaptureIntents::read(UserDefaults::standard()), CaptureSelectionMode::window, std::nullopt);
}

void EditorController::captureRegionWithShortcutAction()
{
    captureRegion(CaptureIntents::read(UserDefaults::standard()), CaptureSelectionMode::region, std::nullopt);
}

void EditorController::startCapture()
{
    captureRegion(CaptureIntent::image, std::nullopt, std::nullopt);
}

void EditorController::showCapturePermission()
{
    m_capturePermissionPanel->show();
}

Task<void> EditorController::finishImageCapture(CaptureCompletionPreferences preferences, std::shared_ptr<Pasteboard> pasteboard,
                                                std::optional<CapturePlacement> placement)
{
    return finishing(this, preferences, std::move(pasteboard), std::move(placement));
}

Task<void> EditorController::finishing(QPointer<EditorController> self, CaptureCompletionPreferences preferences,
                                       std::shared_ptr<Pasteboard> pasteboard, std::optional<CapturePlacement> placement)
{
    if (!self)
        throw CancellationError();
    self->m_activeDrawingTool.reset();
    self->mode()->setSelectedSegment(selectSegment);
    self->updateMode();
    self->m_document->fit();
    // Copied first, then archived: a refused clipboard skips both the archive and the editor.
    if (preferences.copiesImage)
        co_await self->copy(pasteboard);
    if (!self)
        throw CancellationError();
    co_await archived(self);
    if (preferences.opensEditor) {
        if (placement)
            self->m_inlineEditor->present(self, *placement);
        else
            self->showEditor();
    } else if (self->m_window) {
        self->m_window->hide();
    }
    self->status()->setStringValue(preferences.copiesImage ? kivaroCopy("截图已复制到剪贴板。") : kivaroCopy("截图已保存到历史。"));
}

void EditorController::showRecent()
{
    if (m_busy)
        return;
    setBusy(true);
    Platform::start(showingRecent(this), this);
}

Task<void> EditorController::showingRecent(QPointer<EditorController> self)
{
    if (!self)
        co_return;
    const std::exception_ptr error = co_await archiving(self);
    if (!self || isCancellation(error))
        co_return;
    if (error && !self->goesOnUnarchived(error)) {
        self->show(error);
        self->setBusy(false);
        co_return;
    }
    QList<RecentShot> shots;
    try {
        shots = self->m_recent->entries();
    } catch (...) {
        self->show(std::current_exception());
        self->setBusy(false);
        co_return;
    }
    const QPointer<EditorController> weak = self;
    self->m_recentWindow->show(
        shots,
        [weak](const RecentShot &shot, QWidget *anchor) {
            if (weak && !weak->m_busy)
                weak->shareShot(shot, anchor);
        },
        [weak](const RecentShot &shot) {
            if (!weak)
                return;
            const QString project = shot.projectURL;
            weak->replaceAfterArchiving(shot.id, [weak, project] {
                if (!weak)
                    throw CancellationError();
                weak->m_document->open(project);
                // A recent shot is continued in its entry, never saved over the history's file.
                weak->m_document->setFileURL(std::nullopt);
                if (weak->m_document->didChange)
                    weak->m_document->didChange();
                weak->showEditor();
                weak->status()->setStringValue(kivaroCopy("已恢复最近截图，可以继续编辑。"));
            });
        });
    self->setBusy(false);
}

void EditorController::exitInlineCapture()
{
    QWidget *inline_ = m_inlineEditor->window();
    if (!inline_)
        return;
    // Esc on the inline window while a bubble is dragged (the canvas without the focus) puts
    // the bubble back, as the editor window's Esc does.
    if (m_linkedInteraction && m_linkedInteraction->cancelDrag())
        return;
    if (m_anchor || (m_voiceTask && !m_voiceTask.isFinished())) {
        overlay()->cancel();
        cancelVoice();
    }
    windowShouldClose(inline_);
}

} // namespace Kivaro
