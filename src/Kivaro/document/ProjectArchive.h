#pragma once
// The project file: one binary property list holding a document's whole ShotState.
//
//   "format" "Kivaro", "version" 2 (1 and 2 are read), "markupData" (the markup's own data
//   representation), "links", "masks", and when present "mosaics", "mosaicBackground",
//   "mosaicGrain", "steps". Element identities are written as UUID text.
//
// An older file that holds only a markup's data representation is still read.
//
// Decoding is bounded: the property list (size, nesting, node count; the bytes are decoded as
// one only once, whichever form they hold), at most 1000 links, 1000 masks, 1000 mosaics and
// 20,000 steps (refused by their number before their entries are read), a grain between 1 and
// 512, a mosaic background of at most 40,000,000 pixels (checked from its header) and the
// markup's own bounds. Refusals of the record throw ShotError with the format message;
// unreadable markup throws Platform::MarkupDataError.

#include "Kivaro/document/ShotState.h"

#include "Platform/Async/Task.h"

namespace Kivaro::ProjectArchive {

// Encodes `state` as it is (callers reconcile first). The work runs off the main thread on
// the value copy; errors of the markup's serialisation are rethrown unchanged. A state the
// reader or opening would refuse (over 1000 links, masks or mosaics, over 20,000 steps, a
// grain outside 1 to 512, more elements, image pixels or text than a markup may hold, an image
// or a canvas over 16,000 a side or 40,000,000 pixels, 150 MB or more of bytes; see
// Platform/Markup/DocumentLimits.h) is not written: ShotError
// "这张截图超出了工程文件的限制，无法保存。". Call on the main thread.
Platform::Task<QByteArray> encode(ShotState state);
// The same, synchronously on the calling (main) thread.
QByteArray encodeNow(const ShotState &state);

// Whether `state` lies within every limit encode() checks before encoding (all but the file's
// byte size, known only once encoded): the record's own limits, the canvas's, and those of the
// markup inside it that an annotated shot can reach (elements, each image's size, the pixels
// of the picture and its mosaic patches together, coordinates, text). Any thread.
bool withinLimits(const ShotState &state);

ShotState decode(const QByteArray &bytes);

} // namespace Kivaro::ProjectArchive
