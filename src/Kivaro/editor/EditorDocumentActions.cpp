// The editor's actions on the whole shot: open, sample, save, export, grain, speech language,
// re-pointing, delete and privacy masks. Copying lives in EditorClipboardActions.cpp.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/internal/ErrorText.h"
#include "Kivaro/editor/internal/ProjectFiles.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/FileError.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "KivaroCore/AnnotationPlacement.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativeMenuRow.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Dialogs/AlertPresenter.h"
#include "Platform/Dialogs/FilePanels.h"

#include <QAction>
#include <QFileInfo>
#include <QSaveFile>

using namespace Platform;

namespace Kivaro {

namespace ProjectFiles = detail::ProjectFiles;

namespace {

// Renders the shot and writes the PNG at `path` atomically (a reader never sees half a file).
Task<void> writePNG(QPointer<ShotDocument> document, QString path)
{
    if (!document)
        throw CancellationError();
    const QByteArray bytes = co_await document->png(std::nullopt, false);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(path, file.errorString());
}

// The folder of the open file, where the panels start; empty for a new shot.
QString startFolder(const ShotDocument &document)
{
    return document.fileURL() ? QFileInfo(*document.fileURL()).absolutePath() : QString();
}

} // namespace

void EditorController::openImage()
{
    if (m_busy) {
        status()->setStringValue(kivaroCopy("请先完成当前语音标注。"));
        return;
    }
    start(opening(this), this);
}

Task<void> EditorController::opening(QPointer<EditorController> self)
{
    if (!self)
        co_return;
    OpenPanelOptions options;
    options.nameFilters = {ProjectFiles::openFilter()};
    options.directory = startFolder(*self->m_document);
    const std::shared_ptr<FilePanels> panels = self->m_services.filePanels;
    const std::optional<QString> path = co_await panels->chooseFileToOpen(self->m_window, options);
    // An operation that started while the panel was up wins; the choice is dropped.
    if (!self || !path || self->m_busy)
        co_return;
    const QPointer<ShotDocument> document = self->m_document;
    self->replaceAfterArchiving(std::nullopt, [document, file = *path] {
        if (document)
            document->open(file);
    });
}

void EditorController::loadSample()
{
    if (m_busy) {
        status()->setStringValue(kivaroCopy("请先完成当前语音标注。"));
        return;
    }
    const QPointer<ShotDocument> document = m_document;
    replaceAfterArchiving(std::nullopt, [document] {
        if (document)
            document->load(SampleImage::make(), true);
    });
}

void EditorController::saveProject()
{
    if (!m_document->hasImage() || m_busy)
        return;
    start(savingProject(this), this);
}

Task<void> EditorController::savingProject(QPointer<EditorController> self)
{
    if (!self)
        co_return;
    SavePanelOptions options;
    options.suggestedName = ProjectFiles::suggestedProjectName(self->m_document->fileURL());
    options.allowedExtension = QStringLiteral("kivaro");
    options.directory = startFolder(*self->m_document);
    const std::shared_ptr<FilePanels> panels = self->m_services.filePanels;
    const std::optional<QString> chosen = co_await panels->chooseSaveLocation(self->m_window, options);
    if (!self || !chosen)
        co_return;
    // The project extension is appended after the panel: the name asked about is the one written.
    const QString path = ProjectFiles::withProjectExtension(*chosen);
    if (!co_await confirmReplacing(self, path) || !self || !canWriteChosenFile(self))
        co_return;
    self->setBusy(true);
    const QPointer<ShotDocument> document = self->m_document;
    self->runBusy(
        [document, path]() -> Task<void> {
            if (!document)
                throw CancellationError();
            return document->save(path);
        },
        kivaroCopy("工程已保存"));
}

void EditorController::exportPNG()
{
    if (!m_document->hasImage() || m_busy)
        return;
    start(exporting(this), this);
}

Task<void> EditorController::exporting(QPointer<EditorController> self)
{
    if (!self)
        co_return;
    SavePanelOptions options;
    options.suggestedName = kivaroCopy("标注截图.png");
    options.allowedExtension = QStringLiteral("png");
    options.directory = startFolder(*self->m_document);
    const std::shared_ptr<FilePanels> panels = self->m_services.filePanels;
    const std::optional<QString> chosen = co_await panels->chooseSaveLocation(self->m_window, options);
    if (!self || !chosen)
        co_return;
    // The bytes are PNG whatever name the panel returns; the name asked about is the one written.
    const QString path = ProjectFiles::withPNGExtension(*chosen);
    if (!co_await confirmReplacing(self, path) || !self || !canWriteChosenFile(self))
        co_return;
    self->setBusy(true);
    const QPointer<ShotDocument> document = self->m_document;
    self->runBusy([document, path] { return writePNG(document, path); }, kivaroCopy("PNG 已导出。"));
}

// After the panel and the replace question: whether the editor can still write the chosen file.
// Another operation may have started meanwhile, or the shot may be gone; the user is told why
// nothing was written.
bool EditorController::canWriteChosenFile(QPointer<EditorController> self)
{
    if (self->m_busy) {
        self->status()->setStringValue(kivaroCopy("其他操作进行中，文件未写入。"));
        return false;
    }
    if (!self->m_document->hasImage()) {
        self->status()->setStringValue(kivaroCopy("截图已不在编辑器中，文件未写入。"));
        return false;
    }
    return true;
}

// The panels do not ask about an existing file themselves; the editor asks about the very name
// it writes.
Task<bool> EditorController::confirmReplacing(QPointer<EditorController> self, QString path)
{
    const QFileInfo target(path);
    if (!self || (!target.exists() && !target.isSymLink()))
        co_return bool(self);
    Alert alert;
    alert.message = kivaroFormat("“%@”已存在。要替换它吗？", target.fileName());
    alert.informativeText = kivaroCopy("替换后，原来的文件内容会被覆盖。");
    // Cancel first: it is the default button, so Return keeps the file.
    alert.buttons = {kivaroCopy("取消"), kivaroCopy("替换")};
    alert.cancelButton = 0;
    const std::shared_ptr<AlertPresenter> alerts = self->m_services.alerts;
    const AlertResponse response = co_await alerts->present(self->m_window, alert);
    co_return response.button == 1;
}

void EditorController::changeMosaicGrain()
{
    const QAction *item = mosaicGrainControl()->selectedItem();
    if (m_busy || !item)
        return;
    const qint64 grain = item->data().toLongLong();
    setBusy(true);
    const QPointer<EditorController> self(this);
    const QPointer<ShotDocument> document = m_document;
    start(
        [](QPointer<EditorController> self, QPointer<ShotDocument> document, qint64 grain) -> Task<void> {
            std::exception_ptr error;
            try {
                if (document)
                    co_await document->setMosaicGrain(grain);
            } catch (...) {
                error = std::current_exception();
            }
            if (!self)
                co_return;
            if (error && !isCancellation(error))
                self->show(error);
            self->setBusy(false);
            self->selectGrainItem();
        }(self, document, grain),
        this);
}

void EditorController::changeVoiceLanguageControl()
{
    if (m_busy)
        return;
    m_localeIndex = qMax(0, voiceFeedback()->language()->indexOfSelectedItem());
    changeLanguage();
    prepareVoice();
}

void EditorController::selectSpeechLanguage(int tag)
{
    m_localeIndex = tag;
    changeLanguage();
    if (mode()->selectedSegment() == voiceSegment)
        prepareVoice();
}

void EditorController::retarget()
{
    const std::optional<AnnotationLink> link = m_document->selectedLink();
    if (m_busy || !link) {
        status()->setStringValue(kivaroCopy("请先选中标注"));
        return;
    }
    m_activeDrawingTool.reset();
    m_retargeting = true;
    m_retargetLink = link;
    updateMode();
}

void EditorController::deleteAnnotation()
{
    if (m_busy)
        return;
    try {
        m_document->deleteSelectedAnnotation();
        status()->setStringValue(kivaroFormat("已删除 · %@ 恢复", NativeAppAppearance::NativeMenuRow::shortcutText(QKeySequence(Qt::CTRL | Qt::Key_Z))));
    } catch (...) {
        show(std::current_exception());
    }
}

void EditorController::addMask(QRectF viewRect)
{
    if (m_busy)
        return;
    m_anchor.reset();
    const QSizeF viewSize = overlay()->size();
    const QRectF visible = m_document->canvas()->contentVisibleFrame();
    const std::optional<QPointF> from = AnnotationPlacement::imagePoint(viewRect.topLeft(), viewSize, visible);
    const std::optional<QPointF> to = AnnotationPlacement::imagePoint(viewRect.bottomRight(), viewSize, visible);
    if (!from || !to)
        return;
    setBusy(true);
    const QPointer<ShotDocument> document = m_document;
    const QRectF imageRect(*from, QSizeF(to->x() - from->x(), to->y() - from->y()));
    runBusy(
        [document, imageRect]() -> Task<void> {
            if (!document)
                throw CancellationError();
            return document->addMask(imageRect);
        },
        kivaroCopy("已添加马赛克"));
}

} // namespace Kivaro
