#pragma once
// What the selection on the canvas means to the document, and the state deleting it leaves.

#include "Kivaro/document/ShotState.h"

#include <optional>

namespace Kivaro::SelectionEdits {

// The first link, in the order of `links`, whose bubble or arrow is selected.
std::optional<AnnotationLink> selectedLink(const QList<AnnotationLink> &links, const QList<Platform::ElementID> &selection);

// The state without what is selected: the selected link's bubble, arrow and every link entry
// of that bubble; or else the selected drawings. Then every step whose marker is gone leaves
// `steps`. Throws ShotError when neither a link nor a drawing is selected.
ShotState withoutSelection(const ShotState &state, const std::optional<AnnotationLink> &link,
                           const QList<Platform::MarkupID<Platform::ShapeElement>> &drawings);

} // namespace Kivaro::SelectionEdits
