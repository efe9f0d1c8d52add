#pragma once
// A numbered-step marker: the identity of its circle shape and the number it shows.

#include "Platform/Markup/MarkupID.h"

namespace Kivaro {

struct NumberedStep {
    Platform::MarkupID<Platform::ShapeElement> shapeID;
    qint64 number = 0;

    friend bool operator==(const NumberedStep &, const NumberedStep &) = default;
};

} // namespace Kivaro
