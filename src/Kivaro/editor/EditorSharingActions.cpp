// Sharing a rendered shot: the open one (EditorShellActions.cpp) or a recent one, through the
// share presenter's private folder and the desktop's applications.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/recent/RecentShot.h"
#include "Kivaro/sharing/SharePresenter.h"

using namespace Platform;

namespace Kivaro {

void EditorController::shareShot(const RecentShot &shot, QWidget *anchor)
{
    if (m_busy)
        return;
    const QString project = shot.projectURL;
    sharePNG(anchor, [project]() -> Task<QByteArray> {
        return [](QString project) -> Task<QByteArray> {
            // A document of its own: the open shot is not touched, also when opening fails.
            ShotDocument document;
            document.open(project);
            co_return co_await document.png(std::nullopt, false);
        }(project);
    });
}

void EditorController::sharePNG(QWidget *anchor, std::function<Task<QByteArray>()> exportPNG)
{
    setBusy(true);
    Platform::start(sharing(this, anchor, std::move(exportPNG)), this);
}

Task<void> EditorController::sharing(QPointer<EditorController> self, QPointer<QWidget> anchor,
                                     std::function<Task<QByteArray>()> exportPNG)
{
    if (!self)
        co_return;
    std::exception_ptr error;
    QString file;
    try {
        const QByteArray png = co_await exportPNG();
        file = SharePresenter::prepare(png, QStringLiteral("Kivaro.png"));
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
    // Busy covers rendering and the file; the menu's outcome arrives later.
    self->m_sharing->present(file, anchor, [self](std::exception_ptr failure) {
        if (self && failure)
            self->show(failure);
    });
    self->setBusy(false);
}

} // namespace Kivaro
