#include "Platform/Image/ImageDecoding.h"
#include "Platform/Image/PngEncoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace Platform;

namespace {

void putBE32(QByteArray &bytes, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(v >> (24 - 8 * i));
}

// A tiny valid PNG whose header claims `w` × `h`: only the header is ever read for the check.
QByteArray pngClaiming(int w, int h)
{
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::white);
    QByteArray png = encodePng(tiny);
    putBE32(png, 16, quint32(w));
    putBE32(png, 20, quint32(h));
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(png.constData() + 12), 17);
    putBE32(png, 29, quint32(crc));
    return png;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    QByteArray bytes(8, '\0');
    putBE32(bytes, 0, quint32(data.size()));
    bytes.replace(4, 4, type);
    bytes += data;
    bytes += QByteArray(4, '\0');
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(bytes.constData() + 4), uInt(data.size() + 4));
    putBE32(bytes, int(bytes.size() - 4), quint32(crc));
    return bytes;
}

} // namespace

TEST(ImageDecoding, RefusesSizesOverTheLimitsFromTheHeaderAlone)
{
    EXPECT_EQ(decodeImage(pngClaiming(16001, 1)).failure, DecodedImage::Failure::TooLarge);
    EXPECT_EQ(decodeImage(pngClaiming(1, 16001)).failure, DecodedImage::Failure::TooLarge);
    EXPECT_EQ(decodeImage(pngClaiming(8000, 5001)).failure, DecodedImage::Failure::TooLarge);
    EXPECT_EQ(decodeImage(pngClaiming(100000, 100000)).failure, DecodedImage::Failure::TooLarge);
    // Within the limits the header is believed, and the truncated pixel data then fails.
    EXPECT_EQ(decodeImage(pngClaiming(16000, 2500)).failure, DecodedImage::Failure::Unreadable);
    EXPECT_EQ(decodeImage(pngClaiming(30, 30), ImageLimits{899, 16000}).failure, DecodedImage::Failure::TooLarge);
}

TEST(ImageDecoding, DecodesWithinLimitsAndRefusesGarbageAndOtherFormats)
{
    QImage source(40, 30, QImage::Format_ARGB32);
    source.fill(qRgba(10, 20, 30, 128));
    const QByteArray png = encodePng(source);
    DecodedImage result = decodeImage(png, {}, "png");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.image.convertToFormat(QImage::Format_ARGB32), source);

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    source.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG");
    EXPECT_TRUE(decodeImage(jpeg).ok());
    EXPECT_EQ(decodeImage(jpeg, {}, "png").failure, DecodedImage::Failure::Unreadable);

    EXPECT_EQ(decodeImage(QByteArray("not an image at all")).failure, DecodedImage::Failure::Unreadable);
    EXPECT_EQ(decodeImage(QByteArray()).failure, DecodedImage::Failure::Unreadable);
    EXPECT_EQ(decodeImage(png.left(png.size() / 2)).failure, DecodedImage::Failure::Unreadable);
}

TEST(ImageDecoding, FilesAreCheckedLikeBytesAndTheAllocationLimitCoversTheLargestImage)
{
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.png"));
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pngClaiming(20000, 10));
    file.close();
    EXPECT_EQ(decodeImageFile(big).failure, DecodedImage::Failure::TooLarge);
    EXPECT_EQ(decodeImageFile(dir.filePath(QStringLiteral("missing.png"))).failure, DecodedImage::Failure::Unreadable);

    QImage picture(16000, 2500, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QByteArray png = encodePng(picture);
    const DecodedImage result = decodeImage(png);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.image.size(), QSize(16000, 2500));
    EXPECT_GE(QImageReader::allocationLimit(), 40'000'000LL * 8 / (1 << 20));
    EXPECT_LE(QImageReader::allocationLimit(), 40'000'000LL * 8 / (1 << 20) + 1);
}

TEST(ImageDecoding, OwnBandedFilesDecodeInParallelAndDamageIsNeverDecodedSilently)
{
    QImage source(300, 500, QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgba(x % 256, y % 256, (x * y) % 256, 255 - (x % 7)));
    const QByteArray png = encodePng(source, {2, 32});
    const DecodedImage result = decodeImage(png);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.image.convertToFormat(QImage::Format_ARGB32), source);

    // A flipped byte inside a band: the chunk's CRC catches it, in either decoder.
    QByteArray damaged = png;
    damaged[png.size() / 2] = char(damaged[png.size() / 2] ^ 0x40);
    const DecodedImage refused = decodeImage(damaged);
    EXPECT_FALSE(refused.ok() && refused.image.convertToFormat(QImage::Format_ARGB32) == source);
    EXPECT_FALSE(refused.ok());

    // A band layout whose rows per band wrap the band count to zero: no band, no pixel data,
    // and still every check of the banded layout met but that one.
    QByteArray header(13, '\0'), layout(8, '\0'), adler(4, '\0');
    putBE32(header, 0, 64);
    putBE32(header, 4, 64);
    header[8] = 8;
    header[9] = 2;
    putBE32(layout, 0, 0xFFFFFFFFu);
    putBE32(adler, 0, 1);
    const QByteArray hostile = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("kvRB", layout)
                               + chunk("IDAT", QByteArray("\x78\x01", 2)) + chunk("IDAT", adler) + chunk("IEND", {});
    EXPECT_EQ(decodeImage(hostile).failure, DecodedImage::Failure::Unreadable);
}
