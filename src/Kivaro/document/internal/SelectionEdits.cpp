#include "Kivaro/document/internal/SelectionEdits.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"

namespace Kivaro::SelectionEdits {

using namespace Platform;

std::optional<AnnotationLink> selectedLink(const QList<AnnotationLink> &links, const QList<ElementID> &selection)
{
    for (const AnnotationLink &link : links)
        if (selection.contains(ElementID(link.bubbleID)) || selection.contains(ElementID(link.arrowID)))
            return link;
    return std::nullopt;
}

ShotState withoutSelection(const ShotState &state, const std::optional<AnnotationLink> &link, const QList<MarkupID<ShapeElement>> &drawings)
{
    ShotState next = state;
    MarkupOrderedSet &elements = next.markup.subelements();
    if (link) {
        elements.removeElement(link->bubbleID);
        elements.removeElement(link->arrowID);
        next.links.removeIf([&](const AnnotationLink &l) { return l.bubbleID == link->bubbleID; });
    } else {
        if (drawings.isEmpty())
            throw ShotError::message(kivaroCopy("请先选中需要删除的气泡或箭头。"));
        for (const auto &id : drawings)
            elements.removeElement(id);
    }
    next.steps.removeIf([&](const NumberedStep &s) { return !elements.shape(s.shapeID); });
    return next;
}

} // namespace Kivaro::SelectionEdits
