#include "Kivaro/document/LinkedAnnotations.h"

#include "Kivaro/document/AnnotationStyle.h"
#include "Kivaro/document/MosaicRenderer.h"
#include "Kivaro/document/internal/SideTables.h"

#include "KivaroCore/AnnotationPlacement.h"

#include <algorithm>
#include <cmath>

namespace Kivaro::LinkedAnnotations {

using namespace Platform;

namespace {

const QColor &bubbleGrey()
{
    static const QColor grey = QColor::fromRgbF(0.82f, 0.82f, 0.82f);
    return grey;
}

QColor linkColour(const ShapeElement &bubble, const ShapeElement &arrow)
{
    if (!bubble.strokeColor)
        return accent();
    if (*bubble.strokeColor == bubbleGrey())
        return arrow.strokeColor.value_or(accent());
    return *bubble.strokeColor;
}

bool hasMosaic(const ShotState &state, const MarkupID<ShapeElement> &mask)
{
    return std::any_of(state.mosaics.cbegin(), state.mosaics.cend(), [&](const MosaicLink &m) { return m.maskID == mask; });
}

void reconcileLinks(const ShotState &state, MarkupOrderedSet &elements)
{
    for (const AnnotationLink &link : state.links) {
        const ShapeElement *bubbleFound = elements.shape(link.bubbleID);
        const ShapeElement *arrowFound = elements.shape(link.arrowID);
        if (!bubbleFound || !arrowFound) {
            elements.removeElement(link.bubbleID);
            elements.removeElement(link.arrowID);
            continue;
        }
        ShapeElement bubble = *bubbleFound;
        const ShapeElement oldArrow = *arrowFound;
        const QColor colour = linkColour(bubble, oldArrow);
        bubble.strokeColor = colour;
        bubble.attributedText = AnnotationStyle::aligned(bubble.attributedText, bubble.frame.width());
        bubble.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Style;
        elements.updateOrAppend(bubble);

        ShapeElement rebuilt = arrow(bubble.frame, link.anchor, link.arrowID);
        rebuilt.strokeColor = colour;
        rebuilt.lineWidth = oldArrow.lineWidth == 1.5 ? 3.0 : oldArrow.lineWidth;
        elements.updateOrAppend(rebuilt);
    }
}

void reconcilePlainMasks(const ShotState &state, MarkupOrderedSet &elements)
{
    for (const auto &id : state.masks) {
        if (hasMosaic(state, id))
            continue;
        const ShapeElement *found = elements.shape(id);
        if (!found)
            continue;
        ShapeElement mask = *found;
        mask.shape = ShapeElement::Shape::rectangle();
        mask.rotation = 0;
        mask.opacity = 1;
        mask.fillColor = QColor(Qt::black);
        mask.strokeColor.reset();
        mask.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
        elements.removeElement(id);
        elements.append(mask);
    }
}

} // namespace

const QColor &accent()
{
    return AnnotationStyle::accent();
}

ShotState reconcile(const ShotState &state)
{
    ShotState next = state;
    if (!state.links.isEmpty())
        reconcileLinks(state, next.markup.subelements());
    if (!state.masks.isEmpty())
        reconcilePlainMasks(state, next.markup.subelements());
    return SideTables::pruned(MosaicRenderer::reconcile(next));
}

ShapeElement arrow(const QRectF &bubble, QPointF anchor, const MarkupID<ShapeElement> &id)
{
    const QPointF start = AnnotationPlacement::connectorStart(bubble, anchor);
    const QPointF d = anchor - start;
    const double length = qMax(std::hypot(d.x(), d.y()), 1.0);
    const double bend = qMin(length * 0.16, 14.0);
    const QPointF middle = (start + anchor) / 2;
    const QPointF control(middle.x() - d.y() / length * bend, middle.y() + d.x() / length * bend);

    const double minX = std::min({start.x(), anchor.x(), control.x()});
    const double minY = std::min({start.y(), anchor.y(), control.y()});
    const double maxX = std::max({start.x(), anchor.x(), control.x()});
    const double maxY = std::max({start.y(), anchor.y(), control.y()});
    const QRectF frame(minX - 2, minY - 2, maxX - minX + 4, maxY - minY + 4);
    auto unit = [&frame](QPointF p) { return QPointF((p.x() - frame.x()) / frame.width(), (p.y() - frame.y()) / frame.height()); };

    ShapeElement element;
    element.shape = ShapeElement::Shape::line(unit(start), unit(control), unit(anchor));
    element.frame = frame;
    element.strokeColor = accent();
    element.lineWidth = 3.0;
    element.endLineMarker = ShapeElement::LineMarker::Arrow;
    element.allowedInteractions = MarkupInteraction::Select;
    element.id = id;
    return element;
}

} // namespace Kivaro::LinkedAnnotations
