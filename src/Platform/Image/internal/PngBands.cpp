#include "Platform/Image/internal/PngBands.h"

#include "Platform/Image/internal/PngRows.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <zlib.h>

#include <cstring>
#include <vector>

namespace Platform::PngInternal {

QThreadPool *bandPool()
{
    static QThreadPool *const pool = [] {
        auto *made = new QThreadPool;
        made->setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
        return made;
    }();
    return pool;
}

namespace {

quint32 be32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

struct Chunk {
    const uchar *type = nullptr;
    const uchar *data = nullptr;
    quint32 length = 0;
};

bool crcMatches(const Chunk &c)
{
    const uLong crc = crc32(crc32(0, nullptr, 0), c.type, uInt(c.length + 4));
    return crc == be32(c.data + c.length);
}

// The chunks that give the pixels a colour space; the layout has none.
bool isColourChunk(const Chunk &c)
{
    for (const char *type : {"iCCP", "sRGB", "gAMA", "cHRM"})
        if (std::memcmp(c.type, type, 4) == 0)
            return true;
    return false;
}

// Below this many pixels the bands are decoded one after the other on the calling thread.
constexpr qint64 kParallelPixels = 512 * 512;

struct Band {
    const Chunk *chunk = nullptr;
    int firstRow = 0;
    int rows = 0;
    bool last = false;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

} // namespace

QImage decodeBanded(const QByteArray &png)
{
    const auto *p = reinterpret_cast<const uchar *>(png.constData());
    const qsizetype size = png.size();
    if (size < 8 || std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) != 0)
        return {};
    std::vector<Chunk> chunks;
    for (qsizetype at = 8; at < size;) {
        if (size - at < 12)
            return {};
        Chunk c{p + at + 4, p + at + 8, be32(p + at)};
        if (c.length > quint32(size - at - 12))
            return {};
        chunks.push_back(c);
        at += 12 + qsizetype(c.length);
        if (std::memcmp(c.type, "IEND", 4) == 0)
            break;
    }
    if (chunks.size() < 5 || std::memcmp(chunks[0].type, "IHDR", 4) != 0 || chunks[0].length != 13
        || std::memcmp(chunks[1].type, kBandChunk, 4) != 0 || chunks[1].length != 8 || !crcMatches(chunks[0]) || !crcMatches(chunks[1]))
        return {};
    const uchar *ihdr = chunks[0].data;
    const quint32 width = be32(ihdr), height = be32(ihdr + 4);
    if (width == 0 || height == 0 || width > 100000 || height > 100000 || ihdr[8] != 8 || (ihdr[9] != 2 && ihdr[9] != 6) || ihdr[10] != 0
        || ihdr[11] != 0 || ihdr[12] != 0)
        return {};
    const int channels = ihdr[9] == 2 ? 3 : 4;
    const quint32 bandRows = be32(chunks[1].data), bandCount = be32(chunks[1].data + 4);
    // In 64 bits: a hostile row count near 2^32 must not wrap the division to zero bands.
    if (bandRows == 0 || bandRows > height || bandCount == 0 || quint64(bandCount) != (quint64(height) + bandRows - 1) / bandRows)
        return {};

    std::vector<const Chunk *> idat;
    for (const Chunk &c : chunks) {
        if (std::memcmp(c.type, "IDAT", 4) == 0)
            idat.push_back(&c);
        else if ((c.type[0] & 0x20) == 0 && std::memcmp(c.type, "IHDR", 4) != 0 && std::memcmp(c.type, "IEND", 4) != 0)
            return {}; // a critical chunk this layout does not have (a palette, say)
        else if (isColourChunk(c))
            return {}; // pixels of a colour space this decoder would drop; Qt's reader keeps it
    }
    if (idat.size() != size_t(bandCount) + 2 || idat.front()->length != 2 || idat.back()->length != 4)
        return {};
    const uchar cmf = idat.front()->data[0], flg = idat.front()->data[1];
    if ((cmf & 0x0f) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0 || (flg & 0x20) || !crcMatches(*idat.front())
        || !crcMatches(*idat.back()))
        return {};

    QImage image(int(width), int(height), channels == 3 ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    const int rowBytes = int(width) * channels;
    std::vector<Band> bands(bandCount);
    for (quint32 i = 0; i < bandCount; ++i) {
        bands[i].chunk = idat[i + 1];
        bands[i].firstRow = int(i * bandRows);
        bands[i].rows = int(qMin(bandRows, height - i * bandRows));
        bands[i].last = i + 1 == bandCount;
    }
    const auto decodeBand = [&](Band &band) {
        if (!crcMatches(*band.chunk))
            return;
        const size_t stride = size_t(rowBytes) + 1;
        std::vector<uchar> raw(stride * size_t(band.rows));
        z_stream zs{};
        if (inflateInit2(&zs, -15) != Z_OK)
            return;
        zs.next_in = const_cast<uchar *>(band.chunk->data);
        zs.avail_in = band.chunk->length;
        zs.next_out = raw.data();
        zs.avail_out = uInt(raw.size());
        const int status = inflate(&zs, Z_SYNC_FLUSH);
        const bool filled = zs.avail_out == 0 && zs.avail_in == 0;
        inflateEnd(&zs);
        if (!filled || (band.last ? status != Z_STREAM_END : (status != Z_OK && status != Z_BUF_ERROR)))
            return;
        band.length = uLong(raw.size());
        band.adler = adler32(adler32(0, nullptr, 0), raw.data(), uInt(raw.size()));
        for (int r = 0; r < band.rows; ++r) {
            uchar *row = raw.data() + size_t(r) * stride;
            if (r == 0 && row[0] != 0 && row[0] != 1)
                return; // the first row of a band must not refer to the band above
            if (!unfilterRow(row, r == 0 ? nullptr : row - stride + 1, rowBytes, channels))
                return;
            const uchar *src = row + 1;
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(band.firstRow + r));
            if (channels == 3)
                for (quint32 x = 0; x < width; ++x, src += 3)
                    out[x] = qRgb(src[0], src[1], src[2]);
            else
                for (quint32 x = 0; x < width; ++x, src += 4)
                    out[x] = qRgba(src[0], src[1], src[2], src[3]);
        }
        band.ok = true;
    };
    // Threads pay off only for pictures of some size: a small one decodes faster than a pool
    // wakes up.
    if (bands.size() == 1 || qint64(width) * height < kParallelPixels) {
        for (Band &band : bands)
            decodeBand(band);
    } else {
        QtConcurrent::blockingMap(bandPool(), bands, decodeBand);
    }
    uLong adler = 1;
    for (const Band &band : bands) {
        if (!band.ok)
            return {};
        adler = adler32_combine(adler, band.adler, z_off_t(band.length));
    }
    if (adler != be32(idat.back()->data))
        return {};
    return image;
}

} // namespace Platform::PngInternal
