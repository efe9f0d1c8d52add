#include "Platform/Image/PngEncoder.h"
#include "Platform/Image/ImageDecoding.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QPainter>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Platform;

namespace {

QImage decoded(const QByteArray &png)
{
    QImage image;
    EXPECT_TRUE(image.loadFromData(png, "PNG"));
    return image;
}

// A picture with flat areas, text, gradients and noise, so every filter gets chosen somewhere.
QImage mixedPicture(int w, int h, QImage::Format format)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    QLinearGradient gradient(0, 0, w, h);
    gradient.setColorAt(0, Qt::red);
    gradient.setColorAt(1, Qt::blue);
    p.fillRect(QRect(0, 0, w / 2, h / 2), gradient);
    p.setPen(Qt::black);
    p.drawText(QRect(0, h / 2, w, h / 2), Qt::AlignCenter, QStringLiteral("Kivaro 截图"));
    p.end();
    QRandomGenerator random(7);
    for (int y = h / 2; y < h; ++y)
        for (int x = w / 2; x < w; ++x)
            image.setPixel(x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    return image.convertToFormat(format);
}

QImage colourTypeOf(const QByteArray &png, int *colourType)
{
    *colourType = png.size() > 25 ? int(quint8(png[25])) : -1;
    return decoded(png);
}

} // namespace

TEST(PngEncoder, RoundTripsEveryPixelOfOpaqueImagesInAnySourceFormat)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888, QImage::Format_RGBX8888,
                                  QImage::Format_Grayscale8, QImage::Format_RGB16}) {
        const QImage source = mixedPicture(301, 203, format);
        int colourType = 0;
        const QImage back = colourTypeOf(encodePng(source, {1, 16}), &colourType);
        EXPECT_EQ(colourType, 2) << format;
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), source.convertToFormat(QImage::Format_RGB32)) << format;
    }
}

TEST(PngEncoder, KeepsStraightAlphaAndUnpremultipliesPremultipliedSources)
{
    QImage source(64, 40, QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgba(x * 4, y * 6, 200, (x * 7 + y) % 256));
    int colourType = 0;
    QImage back = colourTypeOf(encodePng(source, {1, 7}), &colourType);
    EXPECT_EQ(colourType, 6);
    EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), source);

    const QImage premultiplied = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    back = decoded(encodePng(premultiplied));
    EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32_Premultiplied), premultiplied);

    const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888);
    EXPECT_EQ(decoded(encodePng(rgba)).convertToFormat(QImage::Format_ARGB32), source);

    // Premultiplied sources are unpremultiplied row by row inside the bands, exactly as Qt's
    // conversion does it: the same bytes as encoding the converted image.
    EXPECT_EQ(encodePng(premultiplied, {1, 7}), encodePng(premultiplied.convertToFormat(QImage::Format_ARGB32), {1, 7}));
    const QImage rgbaPremultiplied = source.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(encodePng(rgbaPremultiplied, {1, 7}), encodePng(rgbaPremultiplied.convertToFormat(QImage::Format_RGBA8888), {1, 7}));
}

TEST(PngEncoder, BandBoundariesAndTinyImagesDecodeAndOutputIsDeterministic)
{
    const QImage source = mixedPicture(97, 1000, QImage::Format_RGB32);
    for (int bandRows : {1, 3, 64, 5000})
        EXPECT_EQ(decoded(encodePng(source, {1, bandRows})).convertToFormat(QImage::Format_RGB32), source) << bandRows;
    EXPECT_EQ(encodePng(source), encodePng(source));
    EXPECT_EQ(encodePng(source, {6, 64}).size() <= encodePng(source, {1, 64}).size(), true);

    QImage one(1, 1, QImage::Format_ARGB32);
    one.fill(qRgba(1, 2, 3, 4));
    EXPECT_EQ(decoded(encodePng(one)).convertToFormat(QImage::Format_ARGB32).pixel(0, 0), qRgba(1, 2, 3, 4));
    EXPECT_TRUE(encodePng(QImage()).isEmpty());
}

// Rows that repeat the row above are written without being converted: the bytes equal those of
// the same pixels whose rows differ only in what the encoder ignores (the unused byte of RGB32,
// which X11 captures leave 0), and straight or premultiplied alpha is repeated exactly.
TEST(PngEncoder, RepeatedRowsGiveTheSameBytesAsRowsConvertedOneByOne)
{
    QImage cells(203, 150, QImage::Format_RGB32);
    for (int y = 0; y < cells.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(cells.scanLine(y));
        for (int x = 0; x < cells.width(); ++x)
            line[x] = qRgb((x / 24) * 30 % 256, (y / 24) * 40 % 256, 90);
    }
    QImage padded = cells.copy();
    for (int y = 0; y < padded.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(padded.scanLine(y));
        for (int x = 0; x < padded.width(); ++x)
            line[x] = (line[x] & 0x00ffffff) | (QRgb(y % 7) << 24);
    }
    for (int bandRows : {1, 5, 64}) {
        const QByteArray png = encodePng(cells, {1, bandRows});
        EXPECT_EQ(png, encodePng(padded, {1, bandRows})) << bandRows;
        EXPECT_EQ(decoded(png).convertToFormat(QImage::Format_RGB32), cells) << bandRows;
    }

    QImage translucent = cells.convertToFormat(QImage::Format_ARGB32);
    for (int y = 40; y < 100; ++y)
        for (int x = 0; x < translucent.width(); ++x)
            translucent.setPixel(x, y, qRgba(200, 100, 50, 60 + x % 3));
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        const QImage source = translucent.convertToFormat(format);
        EXPECT_EQ(decoded(encodePng(source, {1, 16})).convertToFormat(format), source) << format;
    }
}

// Encoders and decoders are often tasks of the global thread pool themselves (a shot's mosaic
// background, an image's PNG data). When every thread of that pool runs one, as on a two-core
// machine, their bands must still get done: each ends, with the same bytes as alone.
TEST(PngEncoder, EncodersAndDecodersFillingTheGlobalPoolAllFinish)
{
    QThreadPool *global = QThreadPool::globalInstance();
    const int savedThreads = global->maxThreadCount();
    global->setMaxThreadCount(2);
    const QImage picture = mixedPicture(1400, 900, QImage::Format_RGB32);
    const QByteArray alone = encodePng(picture);
    QList<QFuture<QByteArray>> encodings;
    for (int i = 0; i < 4; ++i)
        encodings.append(QtConcurrent::run(global, [&picture, i] {
            const QByteArray png = encodePng(picture);
            // Half of them decode their result again, as a project read off the main thread does.
            return i % 2 == 0 || decodeImage(png).image == picture ? png : QByteArray();
        }));
    QElapsedTimer clock;
    clock.start();
    bool finished = false;
    while (!(finished = std::all_of(encodings.begin(), encodings.end(), [](const auto &f) { return f.isFinished(); }))
           && clock.elapsed() < 30000)
        QThread::msleep(10);
    ASSERT_TRUE(finished) << "the encoders wait for each other";
    for (const QFuture<QByteArray> &encoding : encodings)
        EXPECT_EQ(encoding.result(), alone);
    global->setMaxThreadCount(savedThreads);
}
