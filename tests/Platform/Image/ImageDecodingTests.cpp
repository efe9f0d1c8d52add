#include "Platform/Image/ImageDecoding.h"
#include "Platform/Image/PngEncoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>

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

QByteArray encodedByQt(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, 100));
    return bytes;
}

// The whole chunk (length, type, data, CRC) of the first chunk of `type` in a PNG.
QByteArray chunkOf(const QByteArray &png, const char *type)
{
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = qsizetype(quint32(uchar(png[at])) << 24 | quint32(uchar(png[at + 1])) << 16
                                           | quint32(uchar(png[at + 2])) << 8 | uchar(png[at + 3]));
        if (png.mid(at + 4, 4) == type)
            return png.mid(at, length + 12);
        at += length + 12;
    }
    return {};
}

// Display P3 to sRGB by the published matrix: the two share the D65 white and the sRGB curve.
QRgb p3ToSRgb(QRgb p3)
{
    const auto linear = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const auto encoded = [](double c) {
        c = std::clamp(c, 0.0, 1.0);
        return int(std::lround(255 * (c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055)));
    };
    const double r = linear(qRed(p3)), g = linear(qGreen(p3)), b = linear(qBlue(p3));
    return qRgba(encoded(1.2249401 * r - 0.2249404 * g), encoded(-0.0420569 * r + 1.0420571 * g),
                 encoded(-0.0196376 * r - 0.0786361 * g + 1.0982735 * b), qAlpha(p3));
}

int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b)),
                     std::abs(qAlpha(a) - qAlpha(b))});
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

// Mended: a Display P3 picture was decoded as P3 pixels, then saved and exported untagged, so
// its colours changed.
TEST(ImageDecoding, PixelsOfAnotherColourSpaceAreConvertedToSRgbOnce)
{
    // A saturated red, a green, a grey (the same in both spaces) and a half-transparent blue.
    const QList<QRgb> colours{qRgb(220, 60, 50), qRgb(60, 180, 90), qRgb(128, 128, 128), qRgba(40, 70, 200, 128)};
    QImage p3(int(colours.size()), 1, QImage::Format_ARGB32);
    for (int x = 0; x < p3.width(); ++x)
        p3.setPixel(x, 0, colours[x]);
    p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QByteArray png = encodedByQt(p3, "PNG");
    ASSERT_FALSE(chunkOf(png, "iCCP").isEmpty()) << "Qt tags the file";

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p3.png"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(png);
    out.close();
    for (const DecodedImage &decoded : {decodeImage(png), decodeImage(png, {}, "png"), decodeImageFile(file)}) {
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(decoded.image.colorSpace(), QColorSpace(QColorSpace::SRgb));
        for (int x = 0; x < p3.width(); ++x)
            EXPECT_LE(channelDistance(decoded.image.pixel(x, 0), p3ToSRgb(colours[x])), 2)
                << x << ": " << std::hex << decoded.image.pixel(x, 0) << " for " << p3ToSRgb(colours[x]);
    }
    EXPECT_NE(decodeImage(png).image.pixel(0, 0), colours[0]) << "converted, not relabelled";

    // Our encoder writes no colour space; what it writes of a decoded picture decodes unchanged.
    const QImage srgb = decodeImage(png).image.convertToFormat(QImage::Format_ARGB32);
    const DecodedImage again = decodeImage(encodePng(srgb), {}, "png");
    ASSERT_TRUE(again.ok());
    QImage read = again.image.convertToFormat(QImage::Format_ARGB32);
    EXPECT_FALSE(read.colorSpace().isValid()) << "untagged, which everything takes as sRGB";
    read.setColorSpace(srgb.colorSpace());
    EXPECT_EQ(read, srgb);

    // A JPEG carries its profile the same way (a flat picture: compression keeps its colour).
    QImage flat(16, 16, QImage::Format_RGB32);
    flat.fill(colours[0]);
    flat.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const DecodedImage jpeg = decodeImage(encodedByQt(flat, "JPEG"));
    ASSERT_TRUE(jpeg.ok());
    EXPECT_EQ(jpeg.image.colorSpace(), QColorSpace(QColorSpace::SRgb));
    EXPECT_LE(channelDistance(jpeg.image.pixel(8, 8), p3ToSRgb(colours[0])), 4);

    // A file laid out like our encoder's but carrying a profile is not ours: the profile counts.
    QImage plain(2, 2, QImage::Format_RGB32);
    plain.fill(colours[0]);
    const QByteArray banded = encodePng(plain);
    const qsizetype afterLayout = 8 + 25 + 20; // the signature, IHDR and the band layout
    ASSERT_EQ(banded.mid(afterLayout - 16, 4), "kvRB");
    const DecodedImage tagged = decodeImage(banded.left(afterLayout) + chunkOf(png, "iCCP") + banded.mid(afterLayout));
    ASSERT_TRUE(tagged.ok());
    EXPECT_LE(channelDistance(tagged.image.pixel(1, 1), p3ToSRgb(colours[0])), 2);
}
