#pragma once
// The states the privacy-mask operations of the document commit.

#include "Kivaro/document/ShotState.h"

#include <QImage>

#include <optional>

namespace Kivaro::MaskEdits {

// The grains the editor offers; any other value is ignored.
bool isOfferedGrain(qint64 grain);

// The picture: the lowest image element of the markup, or none.
std::optional<Platform::ImageElement> basePicture(const Platform::Markup &markup);

// A dragged rectangle made a mask's frame: standardised, rounded outward to whole pixels and
// clipped to the canvas; none when less than 4 × 4 is left.
std::optional<QRectF> maskFrame(const QRectF &dragged, const QRectF &bounds);

// `patch` over `frame` with a clear, selectable mask above it, both on top, the mask recorded
// in `masks` and paired with its patch in `mosaics`.
ShotState withMask(const ShotState &state, const QRectF &frame, const QImage &patch);

// `grain` and its `background`, with every mosaic patch removed from the markup: the
// consistency pass cuts them again from the new background.
ShotState withGrain(const ShotState &state, qint64 grain, const QByteArray &background);

} // namespace Kivaro::MaskEdits
