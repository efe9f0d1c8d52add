#include "Kivaro/document/LinkedAnnotations.h"

#include "Kivaro/document/MosaicRenderer.h"

namespace Kivaro::LinkedAnnotations {

ShotState reconcile(const ShotState &state)
{
    return MosaicRenderer::reconcile(state);
}

} // namespace Kivaro::LinkedAnnotations
