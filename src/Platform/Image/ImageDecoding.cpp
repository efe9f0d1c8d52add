#include "Platform/Image/ImageDecoding.h"

#include "Platform/Files/RegularFile.h"
#include "Platform/Image/internal/PngBands.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <mutex>

namespace Platform {

namespace {

constexpr qint64 kWidestPixelBytes = 8; // RGBA64, the widest format Qt's readers produce

void ensureAllocationLimit(qint64 maxPixels)
{
    static std::mutex mutex;
    const qint64 neededMB = (maxPixels * kWidestPixelBytes + (1 << 20) - 1) >> 20;
    std::lock_guard lock(mutex);
    if (QImageReader::allocationLimit() < neededMB)
        QImageReader::setAllocationLimit(int(qMin<qint64>(neededMB, std::numeric_limits<int>::max())));
}

DecodedImage read(QImageReader &reader, const ImageLimits &limits, const QByteArray *bytes = nullptr)
{
    DecodedImage result;
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        result.failure = DecodedImage::Failure::Unreadable;
        return result;
    }
    if (size.width() > limits.maxSide || size.height() > limits.maxSide
        || qint64(size.width()) * size.height() > limits.maxPixels) {
        result.failure = DecodedImage::Failure::TooLarge;
        return result;
    }
    // Files of our own encoder decode their bands in parallel; anything else, or a band that
    // fails a check, takes Qt's reader.
    QImage image;
    if (bytes && reader.format() == "png") {
        image = PngInternal::decodeBanded(*bytes);
        if (image.size() != size)
            image = QImage();
    }
    if (image.isNull()) {
        ensureAllocationLimit(limits.maxPixels);
        if (!reader.read(&image) || image.isNull() || image.size() != size) {
            result.failure = DecodedImage::Failure::Unreadable;
            return result;
        }
    }
    // Pixels of another colour space become sRGB, the space everything downstream draws,
    // encodes and exports in (our PNG encoder writes no colour space). Untagged pixels are
    // taken as sRGB already.
    const QColorSpace sRgb(QColorSpace::SRgb);
    if (image.colorSpace().isValid() && image.colorSpace() != sRgb) {
        image.convertToColorSpace(sRgb);
        if (image.isNull() || image.size() != size) {
            result.failure = DecodedImage::Failure::Unreadable;
            return result;
        }
    }
    result.image = std::move(image);
    return result;
}

} // namespace

DecodedImage decodeImage(const QByteArray &bytes, const ImageLimits &limits, const QByteArray &format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The content decides the format; a caller that names one refuses every other.
    if (!format.isEmpty() && QImageReader::imageFormat(&buffer).toLower() != format.toLower())
        return {QImage(), DecodedImage::Failure::Unreadable};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return read(reader, limits, &bytes);
}

DecodedImage decodeImageFile(const QString &path, const ImageLimits &limits)
{
    // Only a regular file (links followed), streamed to the reader rather than read whole.
    RegularFile opened(path, FollowLinks::Yes);
    QFile file; // closed before the descriptor
    if (opened.failure() || !file.open(opened.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {QImage(), DecodedImage::Failure::Unreadable};
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    return read(reader, limits);
}

} // namespace Platform
