#include "FuzzTargets.h"

#include "Platform/Image/ImageDecoding.h"
#include "Platform/Image/PngEncoder.h"

#include <QColorSpace>

namespace Kivaro::Fuzz {

int fuzzImage(const uint8_t *data, size_t size)
{
    using namespace Platform;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // A pixel limit far below the application's (the checks are the same code): a few hundred
    // bytes may legitimately decode to the largest image allowed, and the instrumented per-pixel
    // loops would then run for seconds on every such input.
    ImageLimits limits;
    limits.maxPixels = 256 * 256;
    // The markup's images and the pasteboard name the format; opening a file does not.
    const DecodedImage any = decodeImage(bytes, limits);
    const DecodedImage png = decodeImage(bytes, limits, "png");
    check(any.ok() == !any.image.isNull(), "an image is decoded exactly when decoding succeeds");
    check(png.ok() == !png.image.isNull(), "an image is decoded exactly when decoding succeeds");
    if (!any.ok())
        return 0;
    check(any.image.width() <= limits.maxSide && any.image.height() <= limits.maxSide
              && qint64(any.image.width()) * any.image.height() <= limits.maxPixels,
          "a decoded image is within the limits");

    // Our encoder's output of whatever decoded comes back through the banded decoder unchanged
    // (as 8-bit straight-alpha pixels, which is what it writes).
    const QByteArray encoded = encodePng(any.image);
    check(!encoded.isEmpty(), "a decoded image can be encoded");
    const DecodedImage again = decodeImage(encoded, {}, "png");
    check(again.ok(), "encodePng's output decodes");
    // The encoder writes no colour space: pixels are compared as they are.
    QImage written = again.image.convertToFormat(QImage::Format_ARGB32), read = any.image.convertToFormat(QImage::Format_ARGB32);
    written.setColorSpace({});
    read.setColorSpace({});
    check(written == read, "encodePng's output decodes to the same pixels");
    return 0;
}

} // namespace Kivaro::Fuzz
