#include "Platform/Markup/MarkupImage.h"

#include "Platform/Image/PngEncoder.h"

#include <mutex>

namespace Platform {

struct MarkupImage::Data {
    QImage image;
    quint64 hash = 0;
    std::once_flag pngOnce;
    QByteArray png;
};

namespace {

// Whether the top byte of every pixel of a 32-bit image is 0xff.
bool topBytesSet(const QImage &image)
{
    // QImage::width() is an out-of-line call: read the size once, not per pixel.
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb all = 0xff000000;
        for (int x = 0; x < width; ++x)
            all &= line[x];
        if ((all & 0xff000000) != 0xff000000)
            return false;
    }
    return true;
}

bool allOpaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return true;
    return topBytesSet(image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_ARGB32_Premultiplied
                           ? image
                           : image.convertToFormat(QImage::Format_ARGB32));
}

// RGB32 leaves the top byte of each pixel unused. Qt's conversions and the PNG decoder set it to
// 0xff, but X11 captures arrive with 0x00 there; the hash reads it, so it is set here, or a
// captured picture would not equal itself after a save and reopen.
QImage withPaddingSet(const QImage &image)
{
    if (topBytesSet(image)) // a capture fails on its first pixel
        return image;
    QImage set(image.size(), QImage::Format_RGB32);
    if (set.isNull())
        return image;
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        auto *to = reinterpret_cast<QRgb *>(set.scanLine(y));
        for (int x = 0; x < width; ++x)
            to[x] = from[x] | 0xff000000;
    }
    return set;
}

// An image with an alpha channel that is opaque everywhere is kept as RGB32, so that it equals
// itself after a trip through PNG (which stores it without alpha).
QImage normalised(const QImage &image)
{
    const QImage::Format format = allOpaque(image) ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    if (image.format() != format)
        return image.convertToFormat(format);
    return format == QImage::Format_RGB32 ? withPaddingSet(image) : image;
}

quint64 hashOf(const QImage &image)
{
    // Rows are hashed without their padding bytes, which QImage leaves undefined.
    const qsizetype rowBytes = qsizetype(image.width()) * 4;
    size_t h = qHashMulti(0, image.width(), image.height(), int(image.format()));
    if (image.bytesPerLine() == rowBytes)
        return qHashBits(image.constBits(), size_t(image.sizeInBytes()), h);
    for (int y = 0; y < image.height(); ++y)
        h = qHashBits(image.constScanLine(y), size_t(rowBytes), h);
    return h;
}

} // namespace

MarkupImage::MarkupImage(const QImage &image) : MarkupImage(image, QByteArray())
{
}

MarkupImage::MarkupImage(const QImage &image, const QByteArray &png)
{
    if (image.isNull())
        return;
    m_data = std::make_shared<Data>();
    m_data->image = normalised(image);
    m_data->hash = hashOf(m_data->image);
    if (!png.isEmpty())
        std::call_once(m_data->pngOnce, [&] { m_data->png = png; });
}

QImage MarkupImage::image() const
{
    return m_data ? m_data->image : QImage();
}

QSize MarkupImage::size() const
{
    return m_data ? m_data->image.size() : QSize();
}

quint64 MarkupImage::contentHash() const
{
    return m_data ? m_data->hash : 0;
}

QByteArray MarkupImage::pngData() const
{
    if (!m_data)
        return {};
    std::call_once(m_data->pngOnce, [this] { m_data->png = encodePng(m_data->image); });
    return m_data->png;
}

bool operator==(const MarkupImage &a, const MarkupImage &b)
{
    if (a.m_data == b.m_data)
        return true;
    if (!a.m_data || !b.m_data)
        return false;
    return a.m_data->hash == b.m_data->hash && a.m_data->image.size() == b.m_data->image.size()
           && a.m_data->image.format() == b.m_data->image.format();
}

} // namespace Platform
