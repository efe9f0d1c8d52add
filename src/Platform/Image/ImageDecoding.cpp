#include "Platform/Image/ImageDecoding.h"

#include "Platform/Image/internal/PngBands.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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
    if (bytes && reader.format() == "png") {
        QImage banded = PngInternal::decodeBanded(*bytes);
        if (!banded.isNull() && banded.size() == size) {
            result.image = std::move(banded);
            return result;
        }
    }
    ensureAllocationLimit(limits.maxPixels);
    QImage image;
    if (!reader.read(&image) || image.isNull() || image.size() != size) {
        result.failure = DecodedImage::Failure::Unreadable;
        return result;
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
    // Only a regular file (links followed): opening a FIFO would wait for a writer, and a
    // device such as /dev/zero reads without end. Opened without waiting, then looked at.
    const Descriptor opened{::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat info {};
    QFile file; // closed before the descriptor
    if (opened.fd < 0 || ::fstat(opened.fd, &info) != 0 || !S_ISREG(info.st_mode)
        || !file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return {QImage(), DecodedImage::Failure::Unreadable};
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    return read(reader, limits);
}

} // namespace Platform
