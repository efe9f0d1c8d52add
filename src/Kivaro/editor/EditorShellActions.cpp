// Bringing the editor window forward, replacing the shot after archiving it, and sharing it.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/CanvasBackgroundView.h"
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
    // Through the window manager as the user's own request: it may refuse the toolkit's (the
    // editor on another desktop, the user busy in another application).
    Platform::bringForward(m_window);
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
    self->m_activeDrawingTool.reset();
    self->mode()->setSelectedSegment(selectSegment);
    self->updateMode();
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
    setBusy(true);
    const QPointer<EditorController> self(this);
    const QPointer<ShotDocument> document = m_document;
    runBusy(
        [self, document, anchor = QPointer<QWidget>(anchor)]() -> Task<void> {
            return [](QPointer<EditorController> self, QPointer<ShotDocument> document, QPointer<QWidget> anchor) -> Task<void> {
                if (!document)
                    throw CancellationError();
                const QByteArray png = co_await document->png(std::nullopt, false);
                const QString file = SharePresenter::prepare(png, QStringLiteral("Kivaro.png"));
                if (!self)
                    co_return;
                // Busy covers rendering and the file; the menu's outcome arrives later.
                self->m_sharing->present(file, anchor, [self](std::exception_ptr error) {
                    if (self && error)
                        self->show(error);
                });
            }(self, document, anchor);
        },
        QString());
}

} // namespace Kivaro
