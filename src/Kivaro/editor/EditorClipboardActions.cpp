// Copying the shot: to any pasteboard (`copy`), and copy-and-hide from the dock.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/InlineCaptureEditor.h"
#include "Kivaro/editor/internal/CopyReceipt.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShots.h"
#include "KivaroCore/LaunchArguments.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Pasteboard/Pasteboard.h"

using namespace Platform;

namespace Kivaro {

namespace CopyReceipt = detail::CopyReceipt;

Task<QByteArray> EditorController::copy(std::shared_ptr<Pasteboard> to)
{
    return copyingTo(this, std::move(to));
}

// The whole contents are built first and set in one write, never after a clear: a refused write
// (another client keeps the clipboard) leaves what was there before.
Task<QByteArray> EditorController::copyingTo(QPointer<EditorController> self, std::shared_ptr<Pasteboard> to)
{
    if (!self)
        throw CancellationError();
    const QByteArray png = co_await self->m_document->png(std::nullopt, false);
    if (!to->setContents({{PasteboardType::png, png}}))
        throw ShotError::message(kivaroCopy("剪贴板写入失败。"));
    co_return png;
}

void EditorController::copyImage()
{
    if (!m_document->hasImage() || m_busy)
        return;
    setBusy(true);
    start(copying(this), this);
}

Task<void> EditorController::copying(QPointer<EditorController> self)
{
    if (!self)
        co_return;
    const std::shared_ptr<Pasteboard> pasteboard = self->m_services.pasteboard;
    std::exception_ptr error;
    QByteArray png;
    bool matched = false;
    try {
        png = co_await self->copy(pasteboard);
        matched = pasteboard->data(PasteboardType::png) == png;
        if (!self)
            co_return;
        // Archived before the window goes away.
        co_await archived(self);
    } catch (...) {
        error = std::current_exception();
    }
    if (!self)
        co_return;
    if (error) {
        if (!isCancellation(error))
            self->show(error);
        self->setBusy(false);
        co_return;
    }
    self->status()->setStringValue(kivaroCopy("已复制"));
    self->m_inlineEditor->dismiss();
    if (self->m_window)
        self->m_window->hide();
    if (const std::optional<QString> folder = CopyReceipt::folder(PrototypeVerification::processArguments())) {
        try {
            CopyReceipt::write(*folder, CopyReceipt::json(png, matched, self->m_window && self->m_window->isVisible()));
        } catch (...) {
            self->show(std::current_exception());
        }
    }
    self->setBusy(false);
}

} // namespace Kivaro
