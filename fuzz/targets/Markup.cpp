#include "FuzzTargets.h"

#include "Platform/Markup/Markup.h"
#include "Platform/Markup/MarkupRenderer.h"
#include "Platform/PropertyList/PropertyList.h"

#include <algorithm>
#include <cmath>

namespace Kivaro::Fuzz {

namespace {

// A preview of the bounds at most 128 pixels a side; empty for bounds that draw nothing.
QSize previewSize(const QRectF &bounds)
{
    if (!(bounds.width() >= 1 && bounds.height() >= 1))
        return {};
    const double scale = std::min(1.0, 128 / std::max(bounds.width(), bounds.height()));
    return QSize(std::max(1, int(bounds.width() * scale)), std::max(1, int(bounds.height() * scale)));
}

} // namespace

int fuzzMarkup(const uint8_t *data, size_t size)
{
    using namespace Platform;
    Markup markup;
    try {
        markup = Markup::fromDataRepresentation(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const MarkupDataError &) {
        return 0;
    }
    // Drawing lays out every text and draws every image, stroke and shape.
    renderMarkup(markup, previewSize(markup.bounds()));

    QByteArray encoded;
    try {
        encoded = markup.dataRepresentation();
    } catch (const PropertyListError &) {
        check(false, "a markup that decoded can be encoded");
    }
    Markup again;
    try {
        again = Markup::fromDataRepresentation(encoded);
    } catch (const MarkupDataError &) {
        check(false, "an encoded markup decodes again");
    }
    check(again == markup, "an encoded markup decodes to the same markup");
    return 0;
}

} // namespace Kivaro::Fuzz
