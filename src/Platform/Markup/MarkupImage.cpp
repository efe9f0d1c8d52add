#include "Platform/Markup/MarkupImage.h"

#include "Platform/Image/PngEncoder.h"

#include <mutex>

namespace Platform {

struct MarkupImage::Data {
    QImage image;
    quint64 hash = 0;
    std::once_flag pngOnce;
    QByteArray png;
    bool adopted = false; // png holds the bytes the image was decoded from
    std::mutex reducedMutex;
    QList<QImage> reduced; // reduced[k]: halved k + 1 times
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

// Each pixel the rounded mean of a 2 × 2 block, per byte; a last odd row or column is paired
// with itself. Both formats of a markup image (RGB32 with its top byte set, premultiplied
// ARGB32) average correctly byte by byte.
QImage halved(const QImage &image)
{
    const int width = image.width(), height = image.height();
    QImage half(qMax(1, (width + 1) / 2), qMax(1, (height + 1) / 2), image.format());
    if (half.isNull())
        return half;
    const int halfWidth = half.width(), halfHeight = half.height();
    for (int y = 0; y < halfHeight; ++y) {
        const auto *top = reinterpret_cast<const quint32 *>(image.constScanLine(qMin(2 * y, height - 1)));
        const auto *bottom = reinterpret_cast<const quint32 *>(image.constScanLine(qMin(2 * y + 1, height - 1)));
        auto *out = reinterpret_cast<quint32 *>(half.scanLine(y));
        for (int x = 0; x < halfWidth; ++x) {
            const int left = qMin(2 * x, width - 1), right = qMin(2 * x + 1, width - 1);
            const quint32 a = top[left], b = top[right], c = bottom[left], d = bottom[right];
            // Two bytes at a time in 16-bit lanes: four bytes sum to at most 1020, no carry out.
            const quint32 even = (((a & 0x00ff00ff) + (b & 0x00ff00ff) + (c & 0x00ff00ff) + (d & 0x00ff00ff) + 0x00020002) >> 2) & 0x00ff00ff;
            const quint32 odd = ((((a >> 8) & 0x00ff00ff) + ((b >> 8) & 0x00ff00ff) + ((c >> 8) & 0x00ff00ff) + ((d >> 8) & 0x00ff00ff)
                                  + 0x00020002)
                                 >> 2)
                & 0x00ff00ff;
            out[x] = even | (odd << 8);
        }
    }
    return half;
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
    if (!png.isEmpty()) {
        m_data->adopted = true;
        std::call_once(m_data->pngOnce, [&] { m_data->png = png; });
    }
}

QImage MarkupImage::image() const
{
    return m_data ? m_data->image : QImage();
}

QImage MarkupImage::reduced(int halvings) const
{
    if (!m_data || halvings <= 0)
        return image();
    const std::lock_guard<std::mutex> lock(m_data->reducedMutex);
    while (m_data->reduced.size() < halvings) {
        const QImage &from = m_data->reduced.isEmpty() ? m_data->image : m_data->reduced.last();
        m_data->reduced.append(halved(from));
    }
    return m_data->reduced.at(halvings - 1);
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

bool MarkupImage::encodesItself() const
{
    return m_data && !m_data->adopted;
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
