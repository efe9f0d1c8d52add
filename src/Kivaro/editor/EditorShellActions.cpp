// Bringing the editor window forward, replacing the shot after archiving it, and sharing it.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/EditorShell.h"
#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/sharing/SharePresenter.h"
#include "Platform/Windows/WindowActivation.h"

using namespace Platform;

namespace Kivaro {

void EditorController::showEditor()
{
    m_inlineEditor->dismiss();
    if (!m_document->hasImage()) {
        presentSettingsWindow();
        return;
    }
    if (ShortcutSettingsController *settings = m_shell ? m_shell->shortcutSettings() : nullptr)
        if (QWidget *window = settings->window())
            window->hide();
    m_window->makeKeyAndOrderFront();
}

ShortcutSettingsController *EditorController::presentSettingsWindow()
{
    ShortcutSettingsController *settings = m_shell ? m_shell->shortcutSettings() : nullptr;
    if (!settings)
        return nullptr;
    m_inlineEditor->dismiss();
    if (!settings->window())
        settings->makeWindow();
    settings->refresh();
    if (QWidget *window = settings->window())
        Platform::bringForward(window);
    return settings;
}

void EditorController::replaceAfterArchiving(std::optional<QString> historyID, std::function<void()> replacement)
{
    if (m_busy)
        return;
    cancelVoice();
    setBusy(true);
    start(replacing(this, std::move(historyID), std::move(replacement)), this);
}

Task<void> EditorController::replacing(QPointer<EditorController> self, std::optional<QString> historyID,
                                       std::function<void()> replacement)
{
    if (!self)
        co_return;
    std::exception_ptr error = co_await archiving(self);
    if (!self || isCancellation(error))
        co_return;
    if (error && self->goesOnUnarchived(error))
        error = nullptr;
    const QString before = self->status()->stringValue();
    if (!error) {
        try {
            replacement();
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (error) {
        self->show(error);
        self->setBusy(false);
        co_return;
    }
    // What the replacement said in the status line outlives the mode's reset of it.
    const QString said = self->status()->stringValue() != before ? self->status()->stringValue() : QString();
    const bool saidProgress = self->status()->isProgress();
    self->m_activeDrawingTool.reset();
    self->mode()->setSelectedSegment(selectSegment);
    self->updateMode();
    if (!said.isEmpty() && saidProgress)
        self->status()->setProgressText(said);
    else if (!said.isEmpty())
        self->status()->setStringValue(said);
    self->showEditor();
    if (historyID)
        self->m_recent->resumeSession(*historyID);
    else
        self->m_recent->beginSession();
    self->m_recent->schedule(self->m_document);
    self->setBusy(false);
}

void EditorController::shareImage(QWidget *sender)
{
    if (!m_document->hasImage() || m_busy)
        return;
    QWidget *anchor = sender ? sender : shareButton() ? static_cast<QWidget *>(shareButton()) : static_cast<QWidget *>(view());
    const QPointer<ShotDocument> document = m_document;
    sharePNG(anchor, [document]() -> Task<QByteArray> {
        if (!document)
            throw CancellationError();
        // Full size; masks show their mosaic patch.
        return document->png(std::nullopt, false);
    });
}

} // namespace Kivaro
