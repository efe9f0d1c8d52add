#include "Kivaro/document/internal/MaskEdits.h"

#include "Kivaro/document/MosaicRenderer.h"

#include <cmath>

namespace Kivaro::MaskEdits {

using namespace Platform;

namespace {
constexpr double kMinSide = 4;
}

bool isOfferedGrain(qint64 grain)
{
    return grain == 12 || grain == 24 || grain == 40 || grain == 64;
}

std::optional<ImageElement> basePicture(const Markup &markup)
{
    for (const MarkupElement &element : markup.subelements())
        if (const ImageElement *image = element.image())
            return *image;
    return std::nullopt;
}

std::optional<QRectF> maskFrame(const QRectF &dragged, const QRectF &bounds)
{
    const QRectF r = dragged.normalized();
    if (!std::isfinite(r.x()) || !std::isfinite(r.y()) || !std::isfinite(r.width()) || !std::isfinite(r.height()))
        return std::nullopt;
    const double left = std::floor(r.left()), top = std::floor(r.top());
    const QRectF integral(left, top, std::ceil(r.right()) - left, std::ceil(r.bottom()) - top);
    const QRectF clipped = integral.intersected(bounds);
    if (clipped.width() < kMinSide || clipped.height() < kMinSide)
        return std::nullopt;
    return clipped;
}

ShotState withMask(const ShotState &state, const QRectF &frame, const QImage &patch)
{
    ImageElement patchElement;
    patchElement.image = MarkupImage(patch);
    patchElement.frame = frame;
    patchElement.id = MarkupID<ImageElement>::make();

    ShapeElement mask;
    mask.shape = ShapeElement::Shape::rectangle();
    mask.frame = frame;
    mask.fillColor = QColor(Qt::transparent);
    mask.lineWidth = 1;
    mask.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
    mask.id = MarkupID<ShapeElement>::make();

    ShotState next = state;
    next.markup.subelements().append(patchElement);
    next.markup.subelements().append(mask);
    next.masks.append(mask.id);
    next.mosaics.append(MosaicLink{mask.id, patchElement.id});
    return next;
}

ShotState withGrain(const ShotState &state, qint64 grain, const QByteArray &background)
{
    ShotState next = state;
    next.mosaicGrain = grain;
    next.mosaicBackground = background;
    for (const MosaicLink &link : MosaicRenderer::ownLinks(state))
        next.markup.subelements().removeElement(link.imageID);
    return next;
}

} // namespace Kivaro::MaskEdits
