#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/CapturePermissionPanel.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorDockView.h"
#include "Kivaro/editor/EditorShell.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/LinkedBubbleInteraction.h"
#include "Kivaro/editor/TransparencyGridView.h"
#include "Kivaro/editor/internal/EditorViews.h"
#include "Kivaro/editor/internal/ErrorText.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/AnnotationStyle.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/recent/RecentShotsWindow.h"
#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Dialogs/QtAlertPresenter.h"
#include "Platform/Dialogs/QtFilePanels.h"
#include "Platform/Pasteboard/Pasteboard.h"
#include "Platform/Pointer/PointerSource.h"
#include "Platform/ScreenCapture/ScreenSource.h"
#include "Platform/Sharing/DesktopApplications.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMenu>

using namespace NativeAppAppearance;
using namespace Platform;

namespace Kivaro {

using detail::EditorViews;

namespace {

EditorController::Services withDefaults(EditorController::Services services)
{
    if (!services.pasteboard)
        services.pasteboard = generalPasteboard();
    if (!services.filePanels)
        services.filePanels = std::make_shared<QtFilePanels>();
    if (!services.alerts)
        services.alerts = std::make_shared<QtAlertPresenter>();
    if (!services.pointer)
        services.pointer = PointerSource::forPlatform();
    if (!services.sharingServices)
        services.sharingServices = std::make_shared<DesktopApplications>();
    return services;
}

} // namespace

EditorController::EditorController(Services services, QObject *parent)
    : QObject(parent),
      m_services(withDefaults(std::move(services))),
      m_document(new ShotDocument(this)),
      m_voice(m_services.voice),
      m_capture(m_services.screens ? new RegionCapture(m_services.screens, this) : new RegionCapture(this)),
      m_recent(new RecentShots(m_services.recentDirectory, this)),
      m_recentWindow(new RecentShotsWindow(this)),
      m_sharing(new SharePresenter(m_services.sharingServices, this)),
      m_inlineEditor(new InlineCaptureEditor(this)),
      m_annotationPanel(new AnnotationFloatingPanel(this)),
      m_capturePermissionPanel(new CapturePermissionPanel(this)),
      m_tellumo(new IntegratedTellumo(m_services.keyStore, m_services.polishingSession, this)),
      m_textHistoryWindow(new TextHistoryWindow(m_services.pasteboard, this)),
      m_views(std::make_unique<EditorViews>()),
      m_drawingColor(AnnotationStyle::accent().isValid() ? AnnotationStyle::accent() : QColor(Qt::blue))
{
    loadView();
}

EditorController::~EditorController()
{
    // The borrowed views go home before anything they belong to is destroyed.
    m_inlineEditor->dismiss();
    // The canvas is the document's: it leaves with its undo history before the views go.
    if (m_document->canvas())
        m_document->canvas()->setParent(nullptr);
    if (m_moreMenu && NativeMenu::isShowing(m_moreMenu))
        NativeMenu::shared().close();
    delete m_moreMenu.data();
    // No event of the window's destruction reaches the filter: it compares with the window.
    view()->removeEventFilter(this);
    m_window->removeEventFilter(this);
    delete m_window.data();
}

HoldOverlay *EditorController::overlay() const
{
    return m_views->overlay;
}

TransparencyGridView *EditorController::transparencySurround() const
{
    return m_views->surround;
}

VoiceFeedbackView *EditorController::voiceFeedback() const
{
    return m_views->voiceFeedback;
}

KivaroButton *EditorController::shareButton() const
{
    return m_views->shareButton;
}

CompactStatusLabel *EditorController::status() const
{
    return m_views->status;
}

EditorDockView *EditorController::dock() const
{
    return m_views->dock;
}

TransparencyGridView *EditorController::canvasHost() const
{
    return m_views->canvasHost;
}

NativePopupButton *EditorController::mosaicGrainControl() const
{
    return m_views->grain;
}

KivaroModes *EditorController::mode() const
{
    return m_views->mode;
}

KivaroWindow *EditorController::window() const
{
    return m_window;
}

QMenu *EditorController::moreMenu() const
{
    return m_moreMenu;
}

CanvasBackgroundView *EditorController::view() const
{
    return m_views->root;
}

// ---- busy and modes ------------------------------------------------------------------------

void EditorController::setBusy(bool busy)
{
    m_busy = busy;
    const int segment = mode()->selectedSegment();
    m_document->canvas()->setEditable(!busy && segment == selectSegment && !m_activeDrawingTool && !m_retargeting);
    shareButton()->setEnabled(!busy && m_document->hasImage());
    mode()->setEnabled(!busy);
    mosaicGrainControl()->setEnabled(!busy);
}

void EditorController::updateMode()
{
    const int segment = mode()->selectedSegment();
    m_canvasBottomGap = segment == voiceSegment ? 98 : 26;
    if (segment != selectSegment)
        m_activeDrawingTool.reset();

    const QString toolName = m_activeDrawingTool ? DrawingTools::label(*m_activeDrawingTool) : kivaroCopy("选择与编辑");
    mode()->setSymbol(selectSegment, m_activeDrawingTool ? DrawingTools::symbol(*m_activeDrawingTool) : QStringLiteral("cursorarrow"));
    mode()->setSegmentToolTip(selectSegment, toolName);
    mode()->setImageDescription(selectSegment, toolName);

    HoldOverlay *hold = overlay();
    hold->setActive(!(segment == selectSegment && !m_activeDrawingTool && !m_retargeting));
    hold->rectangleMode = segment == mosaicSegment;
    mosaicGrainControl()->setVisible(segment == mosaicSegment);
    selectGrainItem();
    hold->drawingTool = m_retargeting ? std::nullopt : m_activeDrawingTool;
    hold->inkColor = m_drawingColor;
    hold->inkWidth = m_drawingWidth.value_or(m_activeDrawingTool == DrawingTool::arrow ? 5.0 : 3.0);
    m_document->canvas()->setEditable(!m_busy && segment == selectSegment && !m_activeDrawingTool && !m_retargeting);
    m_annotationPanel->dismiss();
    status()->setStringValue(m_retargeting ? kivaroCopy("点击新的指向位置") : QString());

    VoiceFeedbackView *panel = voiceFeedback();
    if (segment == voiceSegment) {
        if (m_document->hasImage() && !m_busy) {
            panel->language()->selectItemAt(m_localeIndex);
            if (m_voiceReady) {
                panel->present(VoiceFeedbackView::Phase::ready, kivaroCopy("按住问题位置讲话"), kivaroCopy("松手生成箭头和文字 · Esc 取消"));
                panel->language()->show();
            }
        }
    } else {
        panel->dismiss();
    }
    // The dock's width and the canvas's bottom gap follow the mode.
    layoutView();
    m_inlineEditor->refresh();
}

void EditorController::updateCanvasVisibility()
{
    const bool image = m_document->hasImage();
    dock()->setVisible(image);
    canvasHost()->setVisible(image);
    shareButton()->setEnabled(image && !m_busy);
}

void EditorController::updateTitle()
{
    if (!m_window)
        return;
    const std::optional<QString> &file = m_document->fileURL();
    // "[*]" is where the window system's title shows the edited mark.
    m_window->setTitle((file ? QFileInfo(*file).fileName() : QStringLiteral("Kivaro")) + QStringLiteral("[*]"));
    m_window->setWindowModified(m_document->hasUnsavedChanges());
}

void EditorController::selectGrainItem()
{
    if (!mosaicGrainControl()->selectItemWithTag(QVariant::fromValue(int(m_document->mosaicGrain()))))
        mosaicGrainControl()->selectItem(nullptr);
}

void EditorController::modeChanged()
{
    if (m_busy)
        return;
    cancelVoice();
    m_activeDrawingTool.reset();
    updateMode();
    if (mode()->selectedSegment() == voiceSegment && !m_voiceReady)
        prepareVoice();
}

void EditorController::cancelOperation()
{
    // A bubble being dragged goes back where it was (the drag's own Esc, should the key reach
    // the window's shortcut first).
    if (m_linkedInteraction && m_linkedInteraction->cancelDrag())
        return;
    m_annotationPanel->dismiss();
    overlay()->cancel();
    cancelVoice();
    if (QWidget *inline_ = m_inlineEditor->window(); inline_ && !m_busy)
        windowShouldClose(inline_);
}

void EditorController::viewDidLayout()
{
    if (m_inlineEditor->isShown())
        m_inlineEditor->refresh();
    else if (!m_busy)
        m_document->fit();
    m_annotationPanel->follow();
}

void EditorController::fit()
{
    if (m_inlineEditor->isShown())
        m_inlineEditor->refresh();
    else
        m_document->fit();
}

// ---- errors --------------------------------------------------------------------------------

void EditorController::show(std::exception_ptr error)
{
    const QString text = detail::errorText(error);
    status()->setStringValue(text);
    if (m_inlineEditor->isShown() || (m_window && m_window->isVisible()))
        return;
    if (m_document->hasImage()) {
        showEditor();
        return;
    }
    if (ShortcutSettingsController *settings = presentSettingsWindow())
        settings->setMessage(text, resolve(DynamicColor::systemRed, AppearanceManager::shared().effectiveApplicationAppearance()));
}

// ---- the long-action pattern -----------------------------------------------------------------

void EditorController::runBusy(std::function<Task<void>()> work, QString success)
{
    start(busyOperation(this, std::move(work), std::move(success)), this);
}

Task<void> EditorController::busyOperation(QPointer<EditorController> self, std::function<Task<void>()> work, QString success)
{
    std::exception_ptr error;
    try {
        co_await work();
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (!error)
        self->status()->setStringValue(success);
    else if (!isCancellation(error))
        self->show(error);
    self->setBusy(false);
}

// ---- closing -------------------------------------------------------------------------------

bool EditorController::windowShouldClose(QWidget *window)
{
    m_annotationPanel->dismiss();
    if (m_allowsClose)
        return true;
    if (m_busy) {
        status()->setStringValue(kivaroCopy("请先完成当前操作，或按 Esc 取消录音。"));
        return false;
    }
    setBusy(true);
    start(closing(this, window), this);
    return false;
}

Task<std::exception_ptr> EditorController::archiving(QPointer<EditorController> self)
{
    try {
        if (!self)
            throw CancellationError();
        // This write takes the document as it is now, so a debounced write still waiting would
        // only repeat it, and report its failure after the decision this one leads to.
        self->m_recent->pending().cancel();
        co_await self->m_recent->flush(self->m_document);
    } catch (...) {
        co_return std::current_exception();
    }
    co_return nullptr;
}

Task<void> EditorController::archived(QPointer<EditorController> self)
{
    const std::exception_ptr error = co_await archiving(self);
    if (!self)
        throw CancellationError();
    if (error && (isCancellation(error) || !self->goesOnUnarchived(error)))
        std::rethrow_exception(error);
}

bool EditorController::archiveFailureShown() const
{
    return m_archiveFailureShown && *m_archiveFailureShown == m_recent->generation();
}

bool EditorController::goesOnUnarchived(const std::exception_ptr &error)
{
    if (archiveFailureShown()) {
        // The user knows this shot is not archived: said again, and not held up again.
        status()->setStringValue(detail::errorText(error));
        return true;
    }
    m_archiveFailureShown = m_recent->generation();
    return false;
}

Task<void> EditorController::closing(QPointer<EditorController> self, QPointer<QWidget> window)
{
    if (!self)
        co_return;
    const std::exception_ptr error = co_await archiving(self);
    if (!self || isCancellation(error))
        co_return;
    if (!error) {
        self->hideWindow(window);
    } else if (!self->goesOnUnarchived(error)) {
        // Shown once with the window left open, so the user learns the shot was not archived.
        self->show(error);
    } else {
        // The write keeps failing: the user may still put the editor away. The error is shown
        // again the next time the window shows; the shot stays loaded.
        self->m_errorForNextShow = detail::errorText(error);
        self->hideWindow(window);
    }
    self->setBusy(false);
}

void EditorController::scheduledWriteFailed(std::exception_ptr error)
{
    // After the user closed the editor anyway, a later write of the same shot that fails too
    // does not bring the window back: its error waits for the next time the window shows.
    if (archiveFailureShown() && !m_inlineEditor->isShown() && !(m_window && m_window->isVisible())) {
        const QString text = detail::errorText(error);
        status()->setStringValue(text);
        m_errorForNextShow = text;
        return;
    }
    // Shown now: the user has learnt that this shot is not archived.
    m_archiveFailureShown = m_recent->generation();
    show(error);
}

void EditorController::hideWindow(QWidget *window)
{
    if (window)
        window->hide();
    if (window && window == m_inlineEditor->window())
        m_inlineEditor->dismiss();
}

bool EditorController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        if (!windowShouldClose(m_window))
            event->ignore();
        return !event->isAccepted();
    }
    if (watched == m_window && event->type() == QEvent::Show && m_errorForNextShow) {
        // Set again, so it stays its full time in the status line now that it can be seen.
        status()->setStringValue(*m_errorForNextShow);
        m_errorForNextShow.reset();
    }
    if (watched == view() && event->type() == QEvent::Resize)
        layoutView();
    // Posted to the root view when a child's preferred size changed.
    if (watched == view() && event->type() == QEvent::LayoutRequest)
        placeVoicePanel();
    return QObject::eventFilter(watched, event);
}

} // namespace Kivaro
