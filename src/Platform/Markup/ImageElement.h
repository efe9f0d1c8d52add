#pragma once
// A placed bitmap: the picture itself, or a mosaic patch. `contentsBounds` selects the part of
// the bitmap shown, in unit coordinates of the bitmap ((0,0,1,1) is all of it); `frame` is in
// markup coordinates. `orientation` uses the EXIF values (1 = up); the application only
// writes 1, and the renderer draws every value as 1.

#include "Platform/Markup/MarkupID.h"
#include "Platform/Markup/MarkupImage.h"
#include "Platform/Markup/MarkupInteractions.h"

#include <QRectF>
#include <QString>

#include <optional>

namespace Platform {

struct ImageElement {
    MarkupImage image;
    QRectF frame;
    double rotation = 0;
    int orientation = 1;
    double opacity = 1;
    QRectF contentsBounds{0, 0, 1, 1};
    std::optional<QString> accessibilityDescription;
    MarkupInteractions allowedInteractions;
    MarkupID<ImageElement> id;

    friend bool operator==(const ImageElement &, const ImageElement &) = default;
};

} // namespace Platform
