// The annotation operations of ShotDocument: text bubbles, privacy masks and their grain,
// deletion, numbered steps. Kept apart from ShotDocument.cpp (state, undo, files, rendering)
// so that neither file grows past reading in one go. Each operation builds its new state with
// a pure function of internal/ and commits it through replace().

#include "Kivaro/document/ShotDocument.h"

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/MosaicRenderer.h"
#include "Kivaro/document/internal/BubbleEdits.h"
#include "Kivaro/document/internal/MaskEdits.h"
#include "Kivaro/document/internal/SelectionEdits.h"
#include "Kivaro/document/internal/SideTables.h"
#include "Kivaro/document/internal/StepMarkers.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/DocumentLimits.h"

namespace Kivaro {

using namespace Platform;

namespace {

// Runs `operation` on the document when the task is awaited, not when it is made; a document
// destroyed by then ends the task with CancellationError. A plain coroutine over copies: no
// lambda is created inside a coroutine frame (GCC 12 frees the captures of such lambdas twice).
Task<void> whenAwaited(QPointer<ShotDocument> document, std::function<void(ShotDocument &)> operation)
{
    if (!document)
        throw CancellationError();
    operation(*document);
    co_return;
}

} // namespace

// ---- text bubbles ------------------------------------------------------------------------

void ShotDocument::addAnnotation(const QString &text, QPointF anchor)
{
    const ShotState old = state();
    replace(LinkedAnnotations::reconcile(BubbleEdits::withAnnotation(old, text, anchor)), old, kivaroCopy("添加标注"));
}

void ShotDocument::editText(const AnnotationLink &link, const QString &text)
{
    const ShotState old = state();
    replace(BubbleEdits::withText(old, link, text), old, kivaroCopy("修改标注文字"));
}

void ShotDocument::retarget(const AnnotationLink &link, QPointF point)
{
    const ShotState old = state();
    replace(LinkedAnnotations::reconcile(BubbleEdits::withAnchor(old, link, point)), old, kivaroCopy("修改指向"));
}

void ShotDocument::retargetSelected(QPointF point)
{
    const std::optional<AnnotationLink> link = selectedLink();
    if (!link)
        throw ShotError::message(kivaroCopy("先在编辑模式选中一条标注，再点击“改指向”。"));
    retarget(*link, point);
}

std::optional<AnnotationLink> ShotDocument::selectedLink() const
{
    return SelectionEdits::selectedLink(m_links, m_canvas->selection());
}

// ---- privacy masks -----------------------------------------------------------------------

Task<void> ShotDocument::addMask(QRectF rect)
{
    return whenAwaited(this, [rect](ShotDocument &document) { document.addMaskNow(rect); });
}

Task<void> ShotDocument::setMosaicGrain(qint64 grain)
{
    return whenAwaited(this, [grain](ShotDocument &document) { document.setMosaicGrainNow(grain); });
}

// The picture's bitmap is in memory, so nothing here waits: the background is rendered on the
// main thread as loading an image renders it.
void ShotDocument::addMaskNow(const QRectF &rect)
{
    settleMosaicBackground();
    if (!m_mosaicBackground) {
        // Outside any undo step: a document opened without a background keeps the one made here.
        if (const auto picture = MaskEdits::basePicture(markup()))
            m_mosaicBackground = MosaicRenderer::background(picture->image.image(), m_mosaicGrain);
    }
    const std::optional<QRectF> frame = MaskEdits::maskFrame(rect, markup().bounds());
    if (!frame)
        throw ShotError::message(kivaroCopy("请拖出至少 4 像素的遮挡区域。"));
    const QImage patch = MosaicRenderer::patch(m_mosaicBackground, *frame);
    if (patch.isNull())
        throw ShotError::message(kivaroCopy("请重新载入图片后添加马赛克。"));
    const ShotState old = state();
    // A project file holds at most this many masks; a shot never gets more than it can save.
    if (SideTables::liveMasks(old) >= DocumentLimits::kMaxMasks)
        throw ShotError::message(kivaroCopy("一张截图最多 1000 个隐私遮挡。"));
    replace(SideTables::pruned(MaskEdits::withMask(old, *frame, patch)), old, kivaroCopy("添加隐私遮挡"));
}

void ShotDocument::setMosaicGrainNow(qint64 grain)
{
    if (!MaskEdits::isOfferedGrain(grain) || grain == m_mosaicGrain)
        return;
    auto failed = [] { return ShotError::message(kivaroCopy("无法调整马赛克颗粒。")); };
    const auto picture = MaskEdits::basePicture(markup());
    if (!picture)
        throw failed();
    const QImage bitmap = picture->image.image();
    if (bitmap.isNull())
        throw failed();
    const std::optional<QByteArray> background = MosaicRenderer::background(bitmap, grain);
    if (!background)
        throw failed();
    const ShotState old = state();
    replace(LinkedAnnotations::reconcile(MaskEdits::withGrain(old, grain, *background)), old, kivaroCopy("调整马赛克颗粒"));
}

// ---- deletion ----------------------------------------------------------------------------

void ShotDocument::deleteSelectedAnnotation()
{
    const ShotState old = state();
    const ShotState next = SelectionEdits::withoutSelection(old, selectedLink(), selectedDrawingIDs());
    replace(LinkedAnnotations::reconcile(next), old, kivaroCopy("删除标注"));
}

// ---- numbered steps ----------------------------------------------------------------------

qint64 ShotDocument::nextStepNumber() const
{
    return StepMarkers::nextNumber(markup(), m_steps);
}

std::optional<MarkupID<ShapeElement>> ShotDocument::addNumberedStep(QPointF point)
{
    const qint64 number = nextStepNumber();
    const std::optional<ShapeElement> marker = StepMarkers::marker(point, markup().bounds(), number);
    if (!marker)
        return std::nullopt;
    const ShotState old = state();
    ShotState next = old;
    next.markup.subelements().append(*marker);
    next.steps.append(NumberedStep{marker->id, number});
    replace(SideTables::pruned(next), old, kivaroCopy("数字步骤"));
    m_canvas->setSelection({ElementID(marker->id)});
    return marker->id;
}

} // namespace Kivaro
