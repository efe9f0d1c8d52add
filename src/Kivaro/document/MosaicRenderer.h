#pragma once
// Pixelation of privacy masks.
//
// `background` renders the whole picture once, pixelated at the grain, as PNG data (the
// document's mosaic background); `patch` cuts the part under one mask out of it; `reconcile`
// keeps every mask's patch fitted to the mask and every pair on top of the drawing order.
//
// The background pipeline: cells of grain × grain pixels, one colour each, made opaque,
// whitened by a veil of white at alpha 0.12, then given back the picture's own alpha at every
// pixel (transparent corners of a window capture stay transparent).
// - The grid is anchored at the picture's bottom-left corner: cell columns start at x = 0
//   and cell rows at the bottom edge, as a pixellation centred at the origin of a y-up image
//   space lays them out. Partial cells therefore sit along the right and the top edges.
// - A cell's colour is one sample at the cell's centre, bilinear between the pixels around it
//   (for an even grain the centre lies between four pixels and their average is taken), with
//   the picture's edge pixels extended outwards for partial cells whose centre lies outside.
//   Sampling, not averaging the whole cell, keeps less of what the mask hides.
// - The sample and the veil are blended in linear light, like a compositing pipeline in a
//   linear working space, and stored back as sRGB.

#include "Kivaro/document/ShotState.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>

#include <optional>

namespace Kivaro::MosaicRenderer {

// PNG data of `image` pixelated at `grain` (cell side in pixels), or none when the image is
// empty or the grain is not positive.
std::optional<QByteArray> background(const QImage &image, qint64 grain);

// The background's pixels in `rect` (picture pixels, origin top left), the rectangle made
// integral outwards and clipped to the picture; a null image when there is no data, the data
// does not decode (over 40,000,000 pixels included) or nothing is left after clipping.
QImage patch(const std::optional<QByteArray> &data, const QRectF &rect);

// The links of `state` that are whole: each names a patch of its own, which is never the
// bottom picture (the markup's first image) nor a patch an earlier link names. Any other link
// is broken: nothing acts on the element it names.
QList<MosaicLink> ownLinks(const ShotState &state);

// The state with each mosaic's mask and patch brought in line; broken links (see ownLinks)
// are dropped and their element left as it is. Otherwise only the markup changes.
ShotState reconcile(const ShotState &state);

} // namespace Kivaro::MosaicRenderer
