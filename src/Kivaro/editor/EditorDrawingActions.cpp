// The drawing tools on the canvas: a finished shape drag or pen stroke becomes one element of
// the document; the tool choice, the colour-and-width row, and the two uses of the floating
// panel (a text panel for a note, the tool panel) with where it stands.

#include "Kivaro/editor/EditorController.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/DrawingStyleView.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/document/ShotDocument.h"
#include "KivaroCore/AnnotationPlacement.h"
#include "KivaroCore/Localization.h"

namespace Kivaro {

using namespace Platform;

// ---- drawing -------------------------------------------------------------------------------

void EditorController::completeDrawing(QPointF from, QPointF to)
{
    if (m_busy || !m_activeDrawingTool) {
        m_anchor.reset();
        return;
    }
    const QRectF visible = m_document->canvas()->contentVisibleFrame();
    const QSizeF size = overlay()->size();
    const std::optional<QPointF> start = AnnotationPlacement::imagePoint(from, size, visible);
    // The start must lie on the picture; the end is clamped to it.
    const std::optional<QPointF> end = AnnotationPlacement::imagePoint(to, size, visible);
    if (start && end && m_document->markup().bounds().contains(*start)) {
        try {
            if (const auto id = m_document->addDrawing(*m_activeDrawingTool, *start, *end, m_drawingColor, m_drawingWidth)) {
                m_annotationPanel->shapeID = *id;
                m_annotationPanel->follow();
                status()->setStringValue(QString());
            }
        } catch (...) {
            show(std::current_exception());
        }
    }
    m_anchor.reset();
}

void EditorController::completeFreehand(const QList<QPointF> &points)
{
    if (!m_busy) {
        const QRectF visible = m_document->canvas()->contentVisibleFrame();
        const QSizeF size = overlay()->size();
        const QRectF bounds = m_document->markup().bounds();
        QList<QPointF> mapped;
        mapped.reserve(points.size());
        for (const QPointF &point : points) {
            if (const std::optional<QPointF> p = AnnotationPlacement::imagePoint(point, size, visible))
                mapped.append(QPointF(std::max(0.0, std::min(p->x(), bounds.width())), std::max(0.0, std::min(p->y(), bounds.height()))));
        }
        try {
            m_document->addFreehand(mapped, m_drawingColor, m_drawingWidth.value_or(3.0));
        } catch (...) {
            show(std::current_exception());
        }
    }
    m_anchor.reset();
}

void EditorController::chooseTool(int raw)
{
    cancelVoice();
    m_activeDrawingTool = DrawingTools::fromRawValue(raw);
    mode()->setSelectedSegment(selectSegment);
    updateMode();
    showFloatingTools();
}

void EditorController::showMarkupTools()
{
    if (m_busy)
        return;
    if (m_annotationPanel->isVisible()) {
        m_annotationPanel->dismiss();
        return;
    }
    m_activeDrawingTool.reset();
    mode()->setSelectedSegment(selectSegment);
    updateMode();
    showFloatingTools();
}

QWidget *EditorController::drawingStyleView()
{
    auto *view = new DrawingStyleView(m_drawingColor, m_drawingWidth.value_or(3.0));
    const QPointer<EditorController> self(this);
    view->changed = [self](const QColor &color, qreal width) {
        if (!self)
            return;
        self->m_drawingColor = color;
        self->m_drawingWidth = width;
        self->overlay()->inkColor = color;
        self->overlay()->inkWidth = width;
        ShotDocument *document = self->m_document;
        const QList<MarkupID<ShapeElement>> selected = document->selectedDrawingIDs();
        if (selected.isEmpty())
            return;
        const ShotState old = document->state();
        ShotState next = old;
        for (const MarkupID<ShapeElement> &id : selected) {
            const ShapeElement *found = next.markup.subelements().shape(id);
            if (!found || document->masks().contains(id))
                continue;
            ShapeElement shape = *found;
            shape.strokeColor = color;
            shape.lineWidth = width;
            next.markup.subelements().updateOrAppend(shape);
        }
        try {
            document->replace(next, old, kivaroCopy("标注样式"));
        } catch (...) {
            self->show(std::current_exception());
        }
    };
    return view;
}

// ---- the floating panel --------------------------------------------------------------------

QWidget *EditorController::panelHost() const
{
    if (QWidget *inline_ = m_inlineEditor->window())
        return inline_;
    return m_window;
}

void EditorController::showTextEditor(QPointF imagePoint, std::optional<AnnotationLink> link)
{
    QWidget *host = panelHost();
    if (!host)
        return;
    m_annotationPanel->shapeID = link ? std::optional(link->bubbleID) : std::nullopt;
    m_annotationPanel->imageAnchor = imagePoint;
    QString text;
    if (link) {
        if (const ShapeElement *bubble = m_document->markup().subelements().shape(link->bubbleID))
            text = bubble->attributedText.string();
    }
    const QPointer<EditorController> self(this);
    auto commit = [self, link, imagePoint](const QString &typed) {
        if (!self)
            return false;
        try {
            if (link)
                self->m_document->editText(*link, typed);
            else
                self->annotate(typed, imagePoint);
        } catch (...) {
            self->show(std::current_exception());
            return false;
        }
        return true;
    };
    auto tool = [self](int raw) {
        if (self)
            self->chooseTool(raw);
    };
    m_annotationPanel->show(host, text, commit, nullptr, std::nullopt, tool);
    m_annotationPanel->follow();
}

void EditorController::showFloatingTools()
{
    QWidget *host = panelHost();
    if (!host)
        return;
    std::optional<MarkupID<ShapeElement>> shape;
    for (const ElementID &id : m_document->canvas()->selection()) {
        if (id.kind() == MarkupKind::Shape) {
            shape = id.as<ShapeElement>();
            break;
        }
    }
    m_annotationPanel->shapeID = shape;
    if (!shape)
        m_annotationPanel->imageAnchor = m_document->markup().bounds().center();
    const QPointer<EditorController> self(this);
    auto tool = [self](int raw) {
        if (self)
            self->chooseTool(raw);
    };
    m_annotationPanel->show(host, std::nullopt, {}, drawingStyleView(), m_activeDrawingTool, tool);
    m_annotationPanel->follow();
}

std::optional<QPointF> EditorController::floatingPanelPosition() const
{
    if (!panelHost())
        return std::nullopt;
    QPointF anchor = m_annotationPanel->imageAnchor;
    if (m_annotationPanel->shapeID) {
        if (const ShapeElement *shape = m_document->markup().subelements().shape(*m_annotationPanel->shapeID))
            anchor = shape->frame.bottomRight();
    }
    const QRectF visible = m_document->canvas()->contentVisibleFrame();
    if (!(visible.width() > 0) || !(visible.height() > 0))
        return std::nullopt;
    const HoldOverlay *hold = overlay();
    const QPointF local((anchor.x() - visible.x()) / visible.width() * hold->width(),
                        (anchor.y() - visible.y()) / visible.height() * hold->height());
    return hold->mapToGlobal(local);
}

} // namespace Kivaro
