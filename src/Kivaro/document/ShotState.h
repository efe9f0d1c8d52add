#pragma once
// The whole content of a document at one moment: the unit of undo, of the project file and of
// the recent shots. A value, cheap to copy (everything inside is implicitly shared) and cheap
// to compare: equality is the system's only test of whether a document changed, and it runs at
// every checkpoint.
//
// Equality compares, in this order, stopping at the first difference: the markups, links,
// masks, mosaics, the mosaic background (both absent, or equal bytes), steps, grain.

#include "Kivaro/document/AnnotationLink.h"
#include "Kivaro/document/MosaicLink.h"
#include "Kivaro/document/NumberedStep.h"

#include "Platform/Markup/Markup.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace Kivaro {

struct ShotState {
    Platform::Markup markup;
    QList<AnnotationLink> links;
    QList<Platform::MarkupID<Platform::ShapeElement>> masks;
    QList<MosaicLink> mosaics;
    std::optional<QByteArray> mosaicBackground; // PNG of the whole picture, pixelated
    QList<NumberedStep> steps;
    qint64 mosaicGrain = 24;

    friend bool operator==(const ShotState &a, const ShotState &b);
};

} // namespace Kivaro
