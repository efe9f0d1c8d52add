#include "Platform/Image/internal/PngRows.h"

#include <cstdlib>
#include <cstring>

namespace Platform::PngInternal {

namespace {

enum Filter : std::uint8_t { None = 0, Sub = 1, Up = 2, Paeth = 4 };

inline std::uint8_t paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return std::uint8_t(a);
    return pb <= pc ? std::uint8_t(b) : std::uint8_t(c);
}

// The filter heuristic the PNG standard recommends: filtered bytes read as signed values.
inline unsigned cost(std::uint8_t v)
{
    return v < 128 ? v : 256u - v;
}

} // namespace

bool isDirectFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        return true;
    default:
        return false;
    }
}

bool isOpaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return true;
    const int alphaByte = image.format() == QImage::Format_ARGB32 ? (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0) : 3;
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t *p = image.constScanLine(y) + alphaByte;
        std::uint8_t all = 0xff;
        for (int x = 0; x < image.width(); ++x)
            all &= p[4 * x];
        if (all != 0xff)
            return false;
    }
    return true;
}

void readRow(const QImage &image, int y, int channels, std::uint8_t *out)
{
    const int width = image.width();
    if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32) {
        const auto *px = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        if (channels == 3) {
            for (int x = 0; x < width; ++x, out += 3) {
                out[0] = std::uint8_t(px[x] >> 16);
                out[1] = std::uint8_t(px[x] >> 8);
                out[2] = std::uint8_t(px[x]);
            }
        } else {
            for (int x = 0; x < width; ++x, out += 4) {
                out[0] = std::uint8_t(px[x] >> 16);
                out[1] = std::uint8_t(px[x] >> 8);
                out[2] = std::uint8_t(px[x]);
                out[3] = std::uint8_t(px[x] >> 24);
            }
        }
        return;
    }
    const std::uint8_t *src = image.constScanLine(y);
    if (channels == 4) {
        std::memcpy(out, src, size_t(width) * 4);
        return;
    }
    for (int x = 0; x < width; ++x, out += 3, src += 4) {
        out[0] = src[0];
        out[1] = src[1];
        out[2] = src[2];
    }
}

void filterRow(const std::uint8_t *row, const std::uint8_t *previous, int length, int bpp, std::uint8_t *out, bool independent)
{
    // A row that repeats the one above (flat areas, blank space) is all zeros under Up.
    if (previous && !independent && std::memcmp(row, previous, size_t(length)) == 0) {
        out[0] = Up;
        std::memset(out + 1, 0, size_t(length));
        return;
    }
    if (independent)
        previous = nullptr;
    unsigned costNone = 0, costSub = 0, costUp = 0, costPaeth = 0;
    for (int i = 0; i < length; ++i) {
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = previous ? previous[i] : 0;
        const int c = previous && i >= bpp ? previous[i - bpp] : 0;
        const std::uint8_t x = row[i];
        costNone += cost(x);
        costSub += cost(std::uint8_t(x - a));
        costUp += cost(std::uint8_t(x - b));
        costPaeth += cost(std::uint8_t(x - paeth(a, b, c)));
    }
    Filter filter = None;
    unsigned best = costNone;
    if (costSub < best) {
        best = costSub;
        filter = Sub;
    }
    if (costUp < best) {
        best = costUp;
        filter = Up;
    }
    if (costPaeth < best)
        filter = Paeth;

    out[0] = filter;
    std::uint8_t *dst = out + 1;
    switch (filter) {
    case None:
        std::memcpy(dst, row, size_t(length));
        break;
    case Sub:
        for (int i = 0; i < length; ++i)
            dst[i] = std::uint8_t(row[i] - (i >= bpp ? row[i - bpp] : 0));
        break;
    case Up:
        for (int i = 0; i < length; ++i)
            dst[i] = std::uint8_t(row[i] - (previous ? previous[i] : 0));
        break;
    case Paeth:
        for (int i = 0; i < length; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0;
            const int b = previous ? previous[i] : 0;
            const int c = previous && i >= bpp ? previous[i - bpp] : 0;
            dst[i] = std::uint8_t(row[i] - paeth(a, b, c));
        }
        break;
    }
}

bool unfilterRow(std::uint8_t *row, const std::uint8_t *previous, int length, int bpp)
{
    const std::uint8_t filter = row[0];
    std::uint8_t *x = row + 1;
    switch (filter) {
    case None:
        return true;
    case Sub:
        for (int i = bpp; i < length; ++i)
            x[i] = std::uint8_t(x[i] + x[i - bpp]);
        return true;
    case Up:
        if (previous)
            for (int i = 0; i < length; ++i)
                x[i] = std::uint8_t(x[i] + previous[i]);
        return true;
    case 3: // Average
        for (int i = 0; i < length; ++i) {
            const int a = i >= bpp ? x[i - bpp] : 0;
            const int b = previous ? previous[i] : 0;
            x[i] = std::uint8_t(x[i] + ((a + b) >> 1));
        }
        return true;
    case Paeth:
        for (int i = 0; i < length; ++i) {
            const int a = i >= bpp ? x[i - bpp] : 0;
            const int b = previous ? previous[i] : 0;
            const int c = previous && i >= bpp ? previous[i - bpp] : 0;
            x[i] = std::uint8_t(x[i] + paeth(a, b, c));
        }
        return true;
    default:
        return false;
    }
}

} // namespace Platform::PngInternal
