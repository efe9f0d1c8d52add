#include "Kivaro/verification/CaptureImprovementsVerification.h"
#include "Kivaro/verification/RunRecords.h"
#include "Kivaro/verification/support/EvidenceFiles.h"
#include "Kivaro/verification/support/VerificationChecks.h"
#include "Kivaro/verification/ShortcutRoutingVerification.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotState.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "Kivaro/verification/CaptureVerificationSupport.h"
#include "Kivaro/verification/PrototypeVerification.h"
#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupCanvas.h"
#include "Platform/Markup/UndoManager.h"

#include <QDir>
#include <QJsonArray>
#include <QPainter>

#include <chrono>

namespace Kivaro::CaptureImprovementsVerification {

using namespace std::chrono_literals;
using Platform::ShapeElement;
using Platform::TextAlignment;
using VerificationSupport::check;
using VerificationSupport::failWith;
using VerificationSupport::verificationFailed;

const QStringList &evidenceNames()
{
    static const QStringList names{
        QStringLiteral("capture-settings.png"),   QStringLiteral("mosaic.kivaro"),          QStringLiteral("mosaic-export.png"),
        QStringLiteral("mosaic-editor.png"),      QStringLiteral("single-line-centered.png"), QStringLiteral("grain-12-editor.png"),
        QStringLiteral("grain-24-editor.png"),    QStringLiteral("grain-40-editor.png"),    QStringLiteral("grain-64-editor.png"),
        QStringLiteral("capture-window-mode.png"), QStringLiteral("capture-region-mode.png"), QStringLiteral("friendly-annotations.png"),
        QStringLiteral("capture-improvements.json"),
    };
    return names;
}

QByteArray passRecord()
{
    const QStringList checks{
        QStringLiteral("command-comma settings"),       QStringLiteral("command-w settings and editor"),
        QStringLiteral("mosaic pixels and OCR isolation"), QStringLiteral("mosaic project and move undo"),
        QStringLiteral("window highlight"),             QStringLiteral("Option switches both directions"),
        QStringLiteral("region drag"),
    };
    return CaptureVerificationSupport::orderedJson({{QStringLiteral("status"), QStringLiteral("passed")},
                                                    {QStringLiteral("environment"), QStringLiteral("native-linux")},
                                                    {QStringLiteral("checks"), QJsonArray::fromStringList(checks)}},
                                                   true);
}

QImage stripes()
{
    QImage image(960, 600, QImage::Format_RGB32);
    image.fill(QColor::fromRgbF(0.96f, 0.96f, 0.96f));
    // The system teal and orange of the light appearance, alternating in stripes 5 pixels wide.
    // The mosaic averages each block, and stripes whose pair width divided the grains (3 pixels
    // wide, a pair of 6 for the grains 12 and 24) would give every grain the same flat colour:
    // the grain checks could not tell one grain from another.
    const QColor teal(48, 176, 199), orange(255, 149, 0);
    QPainter painter(&image);
    for (int x = 0, i = 0; x < 960; x += 5, ++i)
        painter.fillRect(QRect(x, 0, 5, 600), i % 2 == 0 ? teal : orange);
    return image;
}

namespace {


ShotDocument &documentOf(EditorController *editor)
{
    if (!editor || !editor->document() || !editor->document()->canvas())
        failWith(QStringLiteral("the application has no editor document to drive"));
    return *editor->document();
}

Platform::UndoManager *undoManager(const ShotDocument &document)
{
    return document.canvas() ? document.canvas()->undoManager() : nullptr;
}

void closeUndoGroups(const ShotDocument &document)
{
    if (Platform::UndoManager *manager = undoManager(document))
        while (manager->groupingLevel() > 0)
            manager->endUndoGrouping();
}

// One undo; a run whose canvas keeps no undo cannot check what depends on it.
void undoOnce(const ShotDocument &document)
{
    Platform::UndoManager *manager = undoManager(document);
    if (!manager)
        failWith(QStringLiteral("the canvas has no undo manager, so undo cannot be checked"));
    manager->undo();
}

QColor pixel(const QByteArray &png, int x, int y, const char *identity)
{
    const QImage image = QImage::fromData(png, "PNG");
    check(!image.isNull() && image.rect().contains(x, y), verificationFailed, identity);
    return image.pixelColor(x, y).toRgb();
}

QString file(const QString &output, const QString &name)
{
    return QDir(output).filePath(name);
}

std::optional<TextAlignment> alignment(const ShotDocument &document, const AnnotationLink &link)
{
    const Platform::Markup markup = document.markup();
    const ShapeElement *bubble = markup.subelements().shape(link.bubbleID);
    if (!bubble)
        return std::nullopt;
    const std::optional<Platform::TextAttributes> first = bubble->attributedText.attributesAt(0);
    if (!first || !first->paragraphStyle)
        return std::nullopt;
    return first->paragraphStyle->alignment;
}

Platform::Task<void> snapshotEditor(EditorController *editor, QString path)
{
    co_await Platform::sleep(400ms);
    PrototypeVerification::snapshot(editor->view(), path);
}

} // namespace

Platform::Task<void> run(EditorController *editor, QString output)
{
    RunRecords::remove(output, RunRecords::Run::captureImprovements);
    co_await shortcutRouting(editor, output);
    co_await mosaic(editor, output);
    co_await friendlyAnnotations(editor, output);
    co_await grainPopup(editor, output);
    co_await selection(editor, output, SampleImage::make());
    co_await friendlyEvidence(editor, output);
    VerificationSupport::writeEvidence(file(output, QStringLiteral("capture-improvements.json")), passRecord());
}

Platform::Task<void> shortcutRouting(EditorController *editor, QString output)
{
    co_await ShortcutRoutingVerification::run(editor, output);
}

Platform::Task<void> mosaic(EditorController *editor, QString output)
{
    ShotDocument &document = documentOf(editor);
    editor->showEditor();
    document.load(stripes(), true);
    co_await document.addMask(QRectF(80, 80, 320, 160));
    const QByteArray first = co_await document.png(std::nullopt, false);

    {
        const QColor a = pixel(first, 100, 100, "mosaic-coarse-opaque-blocks");
        const QColor b = pixel(first, 101, 100, "mosaic-coarse-opaque-blocks");
        check(std::abs(a.redF() - b.redF()) < 0.01 && a.alphaF() > 0.99, verificationFailed, "mosaic-coarse-opaque-blocks");
        check(a.redF() > 0.05 && a.blueF() > 0.05, verificationFailed, "mosaic-not-black");
    }
    {
        const QByteArray forRecognition = co_await document.png(std::nullopt, true);
        check(pixel(forRecognition, 100, 100, "mosaic-removed-before-ocr").redF() < 0.01, verificationFailed, "mosaic-removed-before-ocr");
    }

    closeUndoGroups(document);
    co_await document.setMosaicGrain(64);
    const QByteArray coarse = co_await document.png(std::nullopt, false);
    check(coarse != first && document.mosaicGrain() == 64, verificationFailed, "existing-mosaic-grain-updated");

    closeUndoGroups(document);
    co_await document.setMosaicGrain(12);
    closeUndoGroups(document);
    const QByteArray fine = co_await document.png(std::nullopt, false);
    check(fine != coarse && fine != first, verificationFailed, "fine-grain-from-original");

    undoOnce(document);
    const QByteArray undone = co_await document.png(std::nullopt, false);
    check(document.mosaicGrain() == 64 && undone == coarse, verificationFailed, "grain-undo-restores-pixels");

    const QString project = file(output, QStringLiteral("mosaic.kivaro"));
    co_await document.save(project);
    document.open(project);
    {
        const ShotState reopened = document.state();
        check(reopened.mosaics.size() == 1 && reopened.mosaicBackground && document.mosaicGrain() == 64, verificationFailed, "mosaic-project-roundtrip");
    }

    // Move and resize the mask as a drag on the canvas would.
    closeUndoGroups(document);
    const ShotState before = document.state();
    if (before.masks.isEmpty() || before.mosaics.isEmpty() || !before.markup.subelements().shape(before.masks.first()))
        check(false, verificationFailed, "mosaic-move-resize-linked");
    const auto maskID = before.masks.first();
    const MosaicLink link = before.mosaics.first();
    {
        ShotState working = before;
        ShapeElement moved = *working.markup.subelements().shape(maskID);
        moved.frame = QRectF(280, 200, 360, 180);
        working.markup.subelements().updateOrAppend(moved);
        document.applyGesture(LinkedAnnotations::reconcile(working));
        if (!(document.state() == before))
            document.replace(document.state(), before, kivaroCopy(QStringLiteral("移动标注")));
        closeUndoGroups(document);
    }
    {
        const Platform::Markup now = document.markup();
        const auto *patch = now.subelements().image(link.imageID);
        const ShapeElement *mask = now.subelements().shape(link.maskID);
        check(patch && mask && patch->frame == mask->frame, verificationFailed, "mosaic-move-resize-linked");
    }

    undoOnce(document);
    co_await Platform::sleep(150ms);
    {
        const Platform::Markup now = document.markup();
        const ShapeElement *mask = now.subelements().shape(maskID);
        const QRectF maskFrame = mask ? mask->frame : QRectF();
        const auto *patch = now.subelements().image(link.imageID);
        check(maskFrame == before.markup.subelements().shape(maskID)->frame && patch && mask && patch->frame == mask->frame
                  && document.state().mosaics == before.mosaics, verificationFailed,
              "mosaic-move-undo");
    }

    ShotState deleted = before;
    deleted.markup.subelements().removeElement(Platform::ElementID::shape(maskID));
    deleted = LinkedAnnotations::reconcile(deleted);
    check(!deleted.markup.subelements().image(link.imageID) && deleted.mosaics == before.mosaics, verificationFailed,
          "mosaic-deletion-retains-undo-association");
    deleted.markup.subelements().updateOrAppend(*before.markup.subelements().shape(maskID));
    const ShotState restored = LinkedAnnotations::reconcile(deleted);
    check(restored.markup.subelements().image(link.imageID) != nullptr, verificationFailed, "mosaic-native-undo-restores-pixels");

    VerificationSupport::writeEvidence(file(output, QStringLiteral("mosaic-export.png")), first);
    document.load(SampleImage::make(), true);
    co_await document.addMask(QRectF(70, 115, 560, 65));
    document.addAnnotation(QStringLiteral("马赛克隐藏敏感内容"), QPointF(240, 150));
    co_await snapshotEditor(editor, file(output, QStringLiteral("mosaic-editor.png")));
}

Platform::Task<void> friendlyAnnotations(EditorController *editor, QString output)
{
    ShotDocument &document = documentOf(editor);
    // Without a linked annotation these checks cannot be made, and a skipped check never
    // counts as a passed one.
    if (document.links().isEmpty())
        failWith(QStringLiteral("the friendly annotation checks need a linked annotation, and the document has none"));
    const AnnotationLink link = document.links().first();
    document.editText(link, QStringLiteral("这里需要调整"));
    check(alignment(document, link) == TextAlignment::Center, verificationFailed, "single-line-centered-after-edit");
    {
        const Platform::Markup markup = document.markup();
        const ShapeElement *bubble = markup.subelements().shape(link.bubbleID);
        const ShapeElement *arrow = markup.subelements().shape(link.arrowID);
        check(arrow && arrow->lineWidth == 3.0, verificationFailed, "friendly-arrow-width");
        check(bubble && arrow->strokeColor == bubble->strokeColor, verificationFailed, "arrow-and-bubble-share-color");
    }
    co_await snapshotEditor(editor, file(output, QStringLiteral("single-line-centered.png")));
    document.editText(link, QStringLiteral("这里需要调整\n这是第二行"));
    check(alignment(document, link) == TextAlignment::Left, verificationFailed, "multi-line-left-after-edit");
    document.editText(link, QStringLiteral("这是比较长的文字标注，会自动换行并继续保持左对齐。"));
    check(alignment(document, link) == TextAlignment::Left, verificationFailed, "wrapped-text-left-after-edit");
    document.editText(link, QStringLiteral("这里需要调整"));
}

Platform::Task<void> grainPopup(EditorController *editor, QString output)
{
    ShotDocument &document = documentOf(editor);
    if (!editor->mode() || !editor->mosaicGrainControl())
        failWith(QStringLiteral("the editor has no mode control or grain pop-up"));
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    if (!editor->busy()) {
        editor->cancelVoice();
        editor->setActiveDrawingTool(std::nullopt);
        editor->updateMode();
    }
    for (const qint64 grain : {12, 24, 40, 64}) {
        const bool offered = editor->mosaicGrainControl()->selectItemWithTag(QVariant::fromValue(grain));
        check(offered, verificationFailed, "grain-popup-applies-value");
        editor->changeMosaicGrain();
        for (int poll = 0; poll < 100 && editor->busy(); ++poll)
            co_await Platform::sleep(20ms);
        check(document.mosaicGrain() == grain, verificationFailed, "grain-popup-applies-value");
        co_await snapshotEditor(editor, file(output, QStringLiteral("grain-%1-editor.png").arg(grain)));
    }
    editor->setActiveDrawingTool(std::nullopt);
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
}

Platform::Task<void> friendlyEvidence(EditorController *editor, QString output)
{
    ShotDocument &document = documentOf(editor);
    document.load(SampleImage::make(), true);
    document.addAnnotation(QStringLiteral("这里需要调整"), QPointF(850, 535));
    document.addAnnotation(QStringLiteral("点击这里没有响应，\n希望可以直接打开详情。"), QPointF(330, 300));
    co_await snapshotEditor(editor, file(output, QStringLiteral("friendly-annotations.png")));
}

} // namespace Kivaro::CaptureImprovementsVerification
