#pragma once
// The project file: one binary property list holding a document's whole ShotState.
//
//   "format" "Kivaro", "version" 2 (1 and 2 are read), "markupData" (the markup's own data
//   representation), "links", "masks", and when present "mosaics", "mosaicBackground",
//   "mosaicGrain", "steps". Element identities are written as UUID text.
//
// An older file that holds only a markup's data representation is still read.
//
// Decoding is bounded: the property list (size, nesting, node count), at most 1000 links and
// 1000 masks, a grain between 1 and 512, a mosaic background of at most 40,000,000 pixels
// (checked from its header) and the markup's own bounds. Refusals of the record throw
// ShotError with the format message; unreadable markup throws Platform::MarkupDataError.

#include "Kivaro/document/ShotState.h"

#include "Platform/Async/Task.h"

namespace Kivaro::ProjectArchive {

inline constexpr qint64 kMaxGrain = 512;

// Encodes `state` as it is (callers reconcile first). The work runs off the main thread on
// the value copy; errors of the markup's serialisation are rethrown unchanged.
Platform::Task<QByteArray> encode(ShotState state);
// The same, synchronously on the calling thread.
QByteArray encodeNow(const ShotState &state);

ShotState decode(const QByteArray &bytes);

} // namespace Kivaro::ProjectArchive
