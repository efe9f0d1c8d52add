#pragma once
// Bounds on the document's side tables (links, masks, mosaics, steps).
//
// An entry whose elements are gone from the markup ("dangling") is not useless at once: the
// canvas's own undo can put a deleted mask, step or bubble back, and the entry then ties it up
// again (a mask's patch comes back under its old identity). Only the canvas's undo needs
// them; an undo of the document's own steps restores whole states, side tables included. So
// a dangling entry is kept, but only the most recent `kKeptDangling` of each table, and never
// so many that a table goes past what the project reader accepts (1000 links, 1000 masks):
// without this a long-lived shot grows its tables with every deletion until its project file
// can no longer be opened.
//
// A mask and its mosaic link go together: a mosaic link is kept when its mask's entry is.

#include "Kivaro/document/ShotState.h"

namespace Kivaro::SideTables {

inline constexpr qsizetype kKeptDangling = 100;

// The state with the oldest dangling entries dropped beyond the bounds; everything else,
// order included, unchanged.
ShotState pruned(const ShotState &state);

// The number of `masks` entries whose shape is in the markup.
qsizetype liveMasks(const ShotState &state);
// The number of `links` entries whose bubble is in the markup.
qsizetype liveLinks(const ShotState &state);

} // namespace Kivaro::SideTables
