#pragma once
// The consistency pass every document operation, the renderer, saving and the recent shots run
// over a state before they use it. Pure: takes a state, returns the repaired state.
//
// It currently applies the mosaic step (each privacy mask's patch refitted to its mask, the
// pairs on top); the rules of linked bubbles and plain masks join it with the bubble
// operations.

#include "Kivaro/document/ShotState.h"

namespace Kivaro::LinkedAnnotations {

ShotState reconcile(const ShotState &state);

} // namespace Kivaro::LinkedAnnotations
