#pragma once
// A privacy mask tied to the pixelated patch drawn under it.

#include "Platform/Markup/MarkupID.h"

namespace Kivaro {

struct MosaicLink {
    Platform::MarkupID<Platform::ShapeElement> maskID;
    Platform::MarkupID<Platform::ImageElement> imageID;

    friend bool operator==(const MosaicLink &, const MosaicLink &) = default;
};

} // namespace Kivaro
