#include "Platform/Image/internal/PngRows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace Platform::PngInternal {

namespace {

enum Filter : std::uint8_t { None = 0, Sub = 1, Up = 2, Paeth = 4 };

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
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        return true;
    default:
        return false;
    }
}

bool isOpaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return true;
    const bool argb = image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_ARGB32_Premultiplied;
    const int alphaByte = argb ? (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0) : 3;
    const int width = image.width(), height = image.height(); // out-of-line calls: read once
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *p = image.constScanLine(y) + alphaByte;
        std::uint8_t all = 0xff;
        for (int x = 0; x < width; ++x)
            all &= p[4 * x];
        if (all != 0xff)
            return false;
    }
    return true;
}

void readRow(const QImage &image, int y, int channels, std::uint8_t *out)
{
    const int width = image.width();
    const QImage::Format format = image.format();
    // Premultiplied pixels are unpremultiplied here, row by row inside the parallel bands, by
    // Qt's own conversion of the one row (its rounding differs from qUnpremultiply's), so the
    // samples equal those of converting the whole image first. An opaque image (3 channels)
    // has nothing to unpremultiply.
    if (channels == 4 && (format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGBA8888_Premultiplied)) {
        const QImage row(image.constScanLine(y), width, 1, image.bytesPerLine(), format);
        readRow(row.convertToFormat(format == QImage::Format_ARGB32_Premultiplied ? QImage::Format_ARGB32 : QImage::Format_RGBA8888), 0,
                channels, out);
        return;
    }
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied) {
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

namespace {

// Branch-free Paeth predictor, so that the cost loop below vectorises.
inline int paethPredictor(int a, int b, int c)
{
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    const int ab = pb < pa ? b : a;
    const int abMin = pb < pa ? pb : pa;
    return pc < abMin ? c : ab;
}

// Cost of each filter for one row. The first `bpp` bytes have no left neighbour; splitting
// them off keeps the main loop free of branches.
struct FilterCosts {
    unsigned none = 0, sub = 0, up = 0, paeth = 0;
};

FilterCosts filterCosts(const std::uint8_t *row, const std::uint8_t *previous, int length, int bpp)
{
    FilterCosts costs;
    const int head = std::min(bpp, length);
    for (int i = 0; i < head; ++i) {
        const std::uint8_t x = row[i], b = previous[i];
        costs.none += cost(x);
        costs.sub += cost(x);
        costs.up += cost(std::uint8_t(x - b));
        costs.paeth += cost(std::uint8_t(x - b)); // a = c = 0: the predictor is b
    }
    unsigned none = 0, sub = 0, up = 0, paethCost = 0;
    for (int i = head; i < length; ++i) {
        const int x = row[i], a = row[i - bpp], b = previous[i], c = previous[i - bpp];
        none += cost(std::uint8_t(x));
        sub += cost(std::uint8_t(x - a));
        up += cost(std::uint8_t(x - b));
        paethCost += cost(std::uint8_t(x - paethPredictor(a, b, c)));
    }
    costs.none += none;
    costs.sub += sub;
    costs.up += up;
    costs.paeth += paethCost;
    return costs;
}

} // namespace

void filterRow(const std::uint8_t *row, const std::uint8_t *previous, int length, int bpp, std::uint8_t *out, bool independent)
{
    // A row that repeats the one above (flat areas, blank space) is all zeros under Up.
    if (previous && !independent && std::memcmp(row, previous, size_t(length)) == 0) {
        out[0] = Up;
        std::memset(out + 1, 0, size_t(length));
        return;
    }
    // The first row of a band has no row above: the filters see zeros there.
    thread_local std::vector<std::uint8_t> zeros;
    if (independent || !previous) {
        if (zeros.size() < size_t(length))
            zeros.assign(size_t(length), 0);
        previous = zeros.data();
    }
    const FilterCosts costs = filterCosts(row, previous, length, bpp);
    Filter filter = None;
    unsigned best = costs.none;
    if (costs.sub < best) {
        best = costs.sub;
        filter = Sub;
    }
    if (costs.up < best) {
        best = costs.up;
        filter = Up;
    }
    if (costs.paeth < best)
        filter = Paeth;

    out[0] = filter;
    std::uint8_t *dst = out + 1;
    const int head = std::min(bpp, length);
    switch (filter) {
    case None:
        std::memcpy(dst, row, size_t(length));
        break;
    case Sub:
        std::memcpy(dst, row, size_t(head));
        for (int i = head; i < length; ++i)
            dst[i] = std::uint8_t(row[i] - row[i - bpp]);
        break;
    case Up:
        for (int i = 0; i < length; ++i)
            dst[i] = std::uint8_t(row[i] - previous[i]);
        break;
    case Paeth:
        for (int i = 0; i < head; ++i)
            dst[i] = std::uint8_t(row[i] - previous[i]);
        for (int i = head; i < length; ++i)
            dst[i] = std::uint8_t(row[i] - paethPredictor(row[i - bpp], previous[i], previous[i - bpp]));
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
        if (!previous) {
            for (int i = bpp; i < length; ++i)
                x[i] = std::uint8_t(x[i] + (x[i - bpp] >> 1));
            return true;
        }
        for (int i = 0; i < std::min(bpp, length); ++i)
            x[i] = std::uint8_t(x[i] + (previous[i] >> 1));
        for (int i = bpp; i < length; ++i)
            x[i] = std::uint8_t(x[i] + ((x[i - bpp] + previous[i]) >> 1));
        return true;
    case Paeth:
        if (!previous) { // with no row above Paeth predicts from the left, like Sub
            for (int i = bpp; i < length; ++i)
                x[i] = std::uint8_t(x[i] + x[i - bpp]);
            return true;
        }
        for (int i = 0; i < std::min(bpp, length); ++i)
            x[i] = std::uint8_t(x[i] + previous[i]);
        for (int i = bpp; i < length; ++i)
            x[i] = std::uint8_t(x[i] + paethPredictor(x[i - bpp], previous[i], previous[i - bpp]));
        return true;
    default:
        return false;
    }
}

} // namespace Platform::PngInternal
