#include "Platform/Image/PngEncoder.h"

#include "Platform/Image/internal/PngBands.h"
#include "Platform/Image/internal/PngRows.h"

#include <QtConcurrent/QtConcurrentMap>

#include <zlib.h>

#include <cstring>
#include <vector>

namespace Platform {

namespace {

using namespace PngInternal;

struct Band {
    int firstRow = 0;
    int endRow = 0;
    bool last = false;
    QByteArray chunk; // one complete IDAT chunk: length, type, data, CRC
    uLong adler = 1;
    uLong length = 0; // filtered bytes fed to deflate
    bool failed = false;
};

void putBE32(char *p, quint32 v)
{
    p[0] = char(v >> 24);
    p[1] = char(v >> 16);
    p[2] = char(v >> 8);
    p[3] = char(v);
}

QByteArray chunk(const char type[4], const QByteArray &data)
{
    QByteArray out(12 + data.size(), Qt::Uninitialized);
    putBE32(out.data(), quint32(data.size()));
    std::memcpy(out.data() + 4, type, 4);
    std::memcpy(out.data() + 8, data.constData(), size_t(data.size()));
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(out.constData() + 4), uInt(data.size() + 4));
    putBE32(out.data() + 8 + data.size(), quint32(crc));
    return out;
}

void encodeBand(const QImage &image, int channels, int level, Band &band)
{
    const int rowBytes = image.width() * channels;
    std::vector<std::uint8_t> previous(static_cast<size_t>(rowBytes));
    std::vector<std::uint8_t> current(static_cast<size_t>(rowBytes));
    if (band.firstRow > 0)
        readRow(image, band.firstRow - 1, channels, previous.data());
    const int rows = band.endRow - band.firstRow;
    std::vector<std::uint8_t> filtered(size_t(rows) * size_t(rowBytes + 1));
    const size_t sourceBytes = size_t(image.width()) * 4; // every direct format has 4 bytes a pixel
    for (int y = band.firstRow; y < band.endRow; ++y) {
        std::uint8_t *out = filtered.data() + size_t(y - band.firstRow) * size_t(rowBytes + 1);
        // A row whose pixels repeat the row above is all zeros under Up, as filterRow would
        // make it, without converting it (flat areas, the cells of a pixelated picture).
        if (y > band.firstRow && std::memcmp(image.constScanLine(y), image.constScanLine(y - 1), sourceBytes) == 0) {
            out[0] = 2; // Up
            std::memset(out + 1, 0, size_t(rowBytes));
            continue;
        }
        readRow(image, y, channels, current.data());
        filterRow(current.data(), (y > 0) ? previous.data() : nullptr, rowBytes, channels, out, y == band.firstRow);
        std::swap(previous, current);
    }
    band.length = uLong(filtered.size());
    band.adler = adler32(adler32(0, nullptr, 0), filtered.data(), uInt(filtered.size()));

    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        band.failed = true;
        return;
    }
    const uLong bound = deflateBound(&zs, uLong(filtered.size())) + 16;
    band.chunk.resize(qsizetype(bound + 12));
    zs.next_in = filtered.data();
    zs.avail_in = uInt(filtered.size());
    zs.next_out = reinterpret_cast<Bytef *>(band.chunk.data() + 8);
    zs.avail_out = uInt(bound);
    // Every band but the last ends on a flush point, so the next band's independent stream
    // continues the same zlib stream at a byte boundary.
    const int status = deflate(&zs, band.last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool complete = band.last ? status == Z_STREAM_END : (status == Z_OK && zs.avail_in == 0);
    const uLong produced = zs.total_out;
    deflateEnd(&zs);
    if (!complete) {
        band.failed = true;
        return;
    }
    band.chunk.resize(qsizetype(produced + 12));
    putBE32(band.chunk.data(), quint32(produced));
    std::memcpy(band.chunk.data() + 4, "IDAT", 4);
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(band.chunk.constData() + 4), uInt(produced + 4));
    putBE32(band.chunk.data() + 8 + produced, quint32(crc));
}

} // namespace

QByteArray encodePng(const QImage &source, const PngEncodeOptions &options)
{
    if (source.isNull())
        return {};
    QImage image = source;
    if (!isDirectFormat(image.format()))
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const int channels = isOpaque(image) ? 3 : 4;
    const int level = qBound(1, options.compressionLevel, 9);
    const int bandRows = qMax(1, options.bandRows);

    std::vector<Band> bands;
    for (int y = 0; y < image.height(); y += bandRows)
        {
        Band band;
        band.firstRow = y;
        band.endRow = qMin(image.height(), y + bandRows);
        bands.push_back(std::move(band));
    }
    bands.back().last = true;
    auto work = [&](Band &band) { encodeBand(image, channels, level, band); };
    // Threads pay off only for pictures of some size: a small one is encoded before a pool
    // wakes up. The bytes are the same either way.
    if (bands.size() == 1 || qint64(image.width()) * image.height() < 512 * 512) {
        for (Band &band : bands)
            work(band);
    } else {
        QtConcurrent::blockingMap(bandPool(), bands, work);
    }

    QByteArray header(13, Qt::Uninitialized);
    putBE32(header.data(), quint32(image.width()));
    putBE32(header.data() + 4, quint32(image.height()));
    header[8] = 8;                       // bits per sample
    header[9] = channels == 3 ? 2 : 6;   // colour type: RGB or RGBA
    header[10] = header[11] = header[12] = 0;

    uLong adler = 1;
    qsizetype total = 8 + 25 + 14 + 16 + 12;
    for (const Band &band : bands) {
        if (band.failed)
            return {};
        adler = adler32_combine(adler, band.adler, z_off_t(band.length));
        total += band.chunk.size();
    }
    QByteArray trailer(4, Qt::Uninitialized);
    putBE32(trailer.data(), quint32(adler));

    QByteArray png;
    png.reserve(total);
    png.append("\x89PNG\r\n\x1a\n", 8);
    png.append(chunk("IHDR", header));
    QByteArray bandInfo(8, Qt::Uninitialized);
    putBE32(bandInfo.data(), quint32(qMin(bandRows, image.height()))); // the decoder refuses more rows than the image has
    putBE32(bandInfo.data() + 4, quint32(bands.size()));
    png.append(chunk(kBandChunk, bandInfo));
    png.append(chunk("IDAT", QByteArray("\x78\x01", 2))); // zlib header: deflate, 32K window
    for (const Band &band : bands)
        png.append(band.chunk);
    png.append(chunk("IDAT", trailer));
    png.append(chunk("IEND", {}));
    return png;
}

} // namespace Platform
