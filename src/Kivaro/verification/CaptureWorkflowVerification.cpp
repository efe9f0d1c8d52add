#include "Kivaro/verification/CaptureWorkflowVerification.h"

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/ProjectArchive.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotState.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/recent/RecentShots.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Files/PrivateFiles.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QUuid>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro::CaptureWorkflowVerification {

using namespace std::chrono_literals;
using Platform::ElementID;
using Platform::MarkupID;
using Platform::ShapeElement;

namespace {

const QPointF retargetPoint(864, 374);
const QRectF maskRect(280, 286, 200, 38);

using VerificationSupport::assertionFailed;
using VerificationSupport::check;
using VerificationSupport::failWith;
using VerificationSupport::isInside;
using VerificationSupport::writeEvidence;

void progress(const char *label)
{
    std::fprintf(stderr, "CHECK %s\n", label);
    std::fflush(stderr);
}

bool exactly(QPointF a, QPointF b)
{
    return a.x() == b.x() && a.y() == b.y();
}

Platform::Markup canvasMarkup(const ShotDocument &document)
{
    return document.markup();
}

// Where the link's arrow ends, in image points.
QPointF endpoint(const ShotDocument &document, const AnnotationLink &link)
{
    const Platform::Markup markup = canvasMarkup(document);
    const ShapeElement *arrow = markup.subelements().shape(link.arrowID);
    if (!arrow || arrow->shape.kind != ShapeElement::Shape::Kind::Line)
        failWith("箭头元素缺失");
    const QRectF frame = arrow->frame;
    return QPointF(frame.left() + arrow->shape.end.x() * frame.width(), frame.top() + arrow->shape.end.y() * frame.height());
}

void selectBubble(ShotDocument &document, const AnnotationLink &link)
{
    document.canvas()->setSelection({ElementID::shape(link.bubbleID)});
}

// Closes open groups and undoes once; the canvas must have its undo manager.
Platform::UndoManager &undoManager(const ShotDocument &document)
{
    Platform::UndoManager *manager = document.canvas() ? document.canvas()->undoManager() : nullptr;
    if (!manager)
        failWith("the canvas has no undo manager, so undo cannot be checked");
    return *manager;
}

void undoOnce(Platform::UndoManager &manager)
{
    while (manager.groupingLevel() > 0)
        manager.endUndoGrouping();
    manager.undo();
}

std::optional<Platform::AttributedText> bubbleText(const Platform::Markup &markup, const AnnotationLink &link)
{
    if (const ShapeElement *bubble = markup.subelements().shape(link.bubbleID))
        return bubble->attributedText;
    return std::nullopt;
}

QByteArray readFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        throw ShotError::message(QStringLiteral("cannot read %1").arg(path));
    QFile file;
    QByteArray bytes;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        bytes = file.readAll();
    else
        ::close(fd);
    return bytes;
}

// A folder of the run's own inside `output`: made private, never a link.
QString ownFolder(const QString &output, const QString &name)
{
    const QString path = QDir(output).filePath(name);
    if (QFileInfo(path).isSymLink())
        throw ShotError::message(QStringLiteral("the folder %1 is a symbolic link").arg(path));
    if (const auto error = Platform::ensurePrivateFolder(path))
        throw ShotError::message(*error);
    return path;
}

void setModificationTime(const QString &path, qint64 seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw ShotError::message(QStringLiteral("cannot date %1").arg(path));
}

} // namespace

Platform::Task<void> run(EditorController *editor, QString output)
{
    if (!editor || !editor->document())
        failWith("the application has no editor to drive");
    ShotDocument &document = *editor->document();
    if (!document.canvas())
        failWith("the document has no canvas");
    const QDir folder(output);
    // An earlier run's files never pass for this run's.
    RunRecords::remove(output, RunRecords::Run::captureWorkflow);

    // 1. A moved bubble keeps its arrow on the anchor.
    progress("linked-workflow-start");
    if (document.links().isEmpty())
        failWith("关联记录缺失");
    const AnnotationLink start = document.links().first();
    Platform::Markup markup = canvasMarkup(document);
    const ShapeElement *bubble = markup.subelements().shape(start.bubbleID);
    if (!bubble)
        failWith("关联记录缺失");
    ShapeElement moved = *bubble;
    moved.frame.translate(-240, -80);
    markup.subelements().updateOrAppend(moved);
    document.canvas()->setMarkup(markup);
    document.reconcile();
    check(exactly(endpoint(document, start), start.anchor), assertionFailed, "bubble-anchor-fixed");

    // 2. Re-pointing from the selected bubble.
    selectBubble(document, start);
    document.retargetSelected(retargetPoint);
    if (document.links().isEmpty())
        failWith("指向记录缺失");
    const AnnotationLink retargeted = document.links().first();
    check(exactly(endpoint(document, retargeted), retargetPoint), assertionFailed, "retarget-arrow");

    // 3. The project file keeps links, anchors and identities.
    const QByteArray linkedArchive = co_await ProjectArchive::encode(LinkedAnnotations::reconcile(document.state()));
    progress("linked-archive");
    const ShotState decoded = ProjectArchive::decode(linkedArchive);
    check(!decoded.links.isEmpty() && exactly(decoded.links.first().anchor, retargetPoint), assertionFailed, "link-roundtrip");
    check(decoded.links.first().bubbleID == start.bubbleID, assertionFailed, "element-id-roundtrip");

    // 4. A linked delete is one step, and one undo brings it all back.
    selectBubble(document, start);
    Platform::UndoManager &manager = undoManager(document);
    manager.removeAllActions();
    document.deleteSelectedAnnotation();
    progress("linked-delete");
    check(document.links().isEmpty() && canvasMarkup(document).subelements().size() == 1, assertionFailed, "linked-delete");
    undoOnce(manager);
    check(document.links().size() == 1 && canvasMarkup(document).subelements().size() == 3, assertionFailed, "linked-delete-undo");
    progress("linked-undo");
    co_await Platform::sleep(200ms);

    // 5. A text edit keeps the bubble and its arrow.
    progress("undo-settled");
    const QString text = QStringLiteral("保存按钮没有响应。");
    document.editText(retargeted, text);
    progress("text-edit-returned");
    {
        const Platform::Markup edited = canvasMarkup(document);
        const ShapeElement *editedBubble = edited.subelements().shape(retargeted.bubbleID);
        check(editedBubble && editedBubble->fillColor && edited.subelements().shape(retargeted.arrowID), assertionFailed,
              "text-edit-keeps-bubble-arrow");
    }

    // 6. The edit is one undo step.
    undoOnce(undoManager(document));
    check(bubbleText(canvasMarkup(document), retargeted) == bubbleText(decoded.markup, retargeted), assertionFailed, "edit-after-undo-can-undo");
    undoManager(document).redo();
    {
        const std::optional<Platform::AttributedText> redone = bubbleText(canvasMarkup(document), retargeted);
        check(redone && redone->string() == text, assertionFailed, "edit-after-undo-can-redo");
    }
    co_await Platform::sleep(200ms);

    // 7. The older project shape: raw markup data.
    progress("legacy-start");
    const QByteArray raw = canvasMarkup(document).dataRepresentation();
    progress("legacy-archive");
    check(ProjectArchive::decode(raw).markup.subelements().size() == 3, assertionFailed, "legacy-project");

    // 8. A privacy mask: opaque mosaic in the PNG, kept through save and reopen.
    co_await document.addMask(maskRect);
    const QByteArray masked = co_await document.png(std::nullopt, false);
    progress("masked-png");
    writeEvidence(folder.filePath(QStringLiteral("05-redacted.png")), masked);
    const QImage maskedImage = QImage::fromData(masked, "PNG");
    if (maskedImage.isNull() || !maskedImage.rect().contains(350, 305))
        failWith("遮挡图片解码失败");
    const QColor sampled = maskedImage.pixelColor(350, 305).toRgb();
    check(sampled.alphaF() > 0.99 && sampled.redF() > 0.05, assertionFailed, "opaque-mosaic-pixels");
    const QString project = folder.filePath(QStringLiteral("linked-and-masked.kivaro"));
    co_await document.save(project);
    document.open(project);
    check(document.masks().size() == 1 && document.links().size() == 1, assertionFailed, "mask-link-persistence");

    // 9. Saving to the history: project, preview, private mode. The run's own folder only.
    RecentShots *store = editor->recent();
    std::unique_ptr<RecentShots> ownStore;
    if (!store || !isInside(store->directory(), output)) {
        ownStore = std::make_unique<RecentShots>(ownFolder(output, QStringLiteral("recent-data")));
        store = ownStore.get();
    }
    store->beginSession();
    co_await store->flush(&document);
    const QList<RecentShot> saved = store->entries();
    if (saved.isEmpty())
        failWith("历史截图未保存");
    const RecentShot newest = saved.first();
    const ShotState reread = ProjectArchive::decode(readFile(newest.projectURL));
    check(reread.masks.size() == 1 && !reread.links.isEmpty() && exactly(reread.links.first().anchor, retargetPoint), assertionFailed,
          "recent-content");
    check(QFileInfo::exists(newest.previewURL), assertionFailed, "recent-thumbnail");
    struct stat info = {};
    check(::lstat(QFile::encodeName(newest.projectURL).constData(), &info) == 0 && (info.st_mode & 07777) == 0600, assertionFailed,
          "private-history-file");

    // 10. Resuming does not add an entry.
    const qsizetype count = saved.size();
    store->resumeSession(newest.id);
    co_await store->flush(&document);
    check(store->entries().size() == count, assertionFailed, "history-resume-no-duplicate");

    // 11. Retention in a store of its own: 20 entries, foreign files kept.
    const QString retention = ownFolder(output, QStringLiteral("retention-test"));
    RecentShots retained(retention);
    const QString keep = QDir(retention).filePath(QStringLiteral("keep.txt"));
    writeEvidence(keep, QByteArrayLiteral("unrelated"));
    for (int i = 0; i < 22; ++i) {
        const QString staged =
            QDir(retention).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".kivaro"));
        writeEvidence(staged, linkedArchive);
        setModificationTime(staged, i);
    }
    co_await retained.flush(&document);
    check(retained.entries().size() == 20, assertionFailed, "history-retention-20");
    check(QFileInfo::exists(keep), assertionFailed, "history-keeps-unrelated-files");
}

} // namespace Kivaro::CaptureWorkflowVerification
