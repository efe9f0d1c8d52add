#include "Kivaro/document/ShotRenderer.h"

#include "Kivaro/document/MosaicRenderer.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/DocumentLimits.h"
#include "Platform/Markup/MarkupRenderer.h"

#include "Platform/Async/Awaitables.h"
#include "Platform/Image/PngEncoder.h"

#include <QPainter>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace Kivaro::ShotRenderer {

using namespace Platform;

namespace {
double scaleFor(const QSizeF &bounds, std::optional<int> maxDimension)
{
    const double largest = qMax(bounds.width(), bounds.height());
    return maxDimension && largest > 0 ? qMin(1.0, double(*maxDimension) / largest) : 1.0;
}
} // namespace

QSize pixelSize(const QSizeF &bounds, std::optional<int> maxDimension)
{
    const double w = bounds.width(), h = bounds.height();
    const double scale = scaleFor(bounds, maxDimension);
    // A side that is there keeps at least one pixel: the preview of a 16000 x 1 strip is 320 x 1,
    // not an empty rendering.
    auto truncated = [](double v) { return std::isfinite(v) && v > 0 ? qMax(1.0, std::trunc(qMin(v, 1e9))) : 0.0; };
    return QSize(int(truncated(scale * w)), int(truncated(scale * h)));
}

QImage render(const ShotState &state, std::optional<int> maxDimension, bool forRecognition)
{
    auto tooLarge = [] { return ShotError::message(kivaroCopy("图片太大，导出最多支持 4000 万像素。")); };
    const QRectF bounds = state.markup.bounds();
    const QSize size = pixelSize(bounds.size(), maxDimension);
    if (size.width() <= 0 || size.height() <= 0 || qint64(size.width()) * size.height() > DocumentLimits::kMaxPixels)
        throw tooLarge();
    // The raster engine's native format: several times faster to draw into than RGBA8888, and the
    // PNG encoder unpremultiplies it in its parallel bands.
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw tooLarge();
    image.fill(Qt::transparent);

    // What every band needs, prepared here on the calling thread: the elements' extents (text
    // layouts are cached on this thread) and each mask's patch, or none for a black box.
    const QList<QRectF> extents = drawnBounds(state.markup);
    struct Mask {
        QRectF frame;
        QImage patch;
    };
    QList<Mask> masks;
    for (const auto &maskID : state.masks) {
        const ShapeElement *mask = state.markup.subelements().shape(maskID);
        if (!mask)
            continue;
        QImage patch;
        if (!forRecognition) {
            for (const MosaicLink &link : state.mosaics) {
                if (link.maskID == maskID) {
                    patch = MosaicRenderer::patch(state.mosaicBackground, mask->frame);
                    break;
                }
            }
        }
        masks.append(Mask{mask->frame, patch});
    }

    // Bands of rows drawn in parallel, each into its own rows of the one bitmap, with only the
    // elements that reach into it.
    const double scale = scaleFor(bounds.size(), maxDimension);
    // A side that pixelSize raised to one pixel is stretched to fill it, so a thin strip's
    // preview shows the strip rather than a trace of it.
    const double sx = qMax(scale, size.width() / bounds.width());
    const double sy = qMax(scale, size.height() / bounds.height());
    const int rowsPerBand = qMax(256, (size.height() + QThread::idealThreadCount() - 1) / qMax(1, QThread::idealThreadCount()));
    QList<int> bandStarts;
    for (int y = 0; y < size.height(); y += rowsPerBand)
        bandStarts.append(y);
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto drawBand = [&](int top) {
        const int rows = qMin(rowsPerBand, size.height() - top);
        QImage band(bits + top * stride, size.width(), rows, stride, image.format());
        QPainter painter(&band);
        painter.translate(0, -top);
        painter.scale(sx, sy);
        painter.translate(-bounds.topLeft());
        const QRectF visible = painter.transform().inverted().mapRect(QRectF(0, 0, size.width(), rows));
        drawMarkup(painter, state.markup, extents, visible);
        for (const Mask &mask : masks) {
            if (!mask.patch.isNull()) {
                // The patch replaces everything drawn inside the mask, annotations included.
                painter.save();
                painter.setCompositionMode(QPainter::CompositionMode_Source);
                painter.drawImage(mask.frame, mask.patch);
                painter.restore();
            } else {
                painter.fillRect(mask.frame, Qt::black);
            }
        }
    };
    if (bandStarts.size() == 1) {
        drawBand(0);
    } else {
        // A pool of our own, whose threads end with this call: a thread that drew text holds
        // font-engine state of its own, which must go while the application's fonts still exist.
        QThreadPool pool;
        pool.setMaxThreadCount(int(bandStarts.size()));
        QtConcurrent::blockingMap(&pool, bandStarts, drawBand);
        pool.waitForDone();
    }
    return image;
}

namespace {

Task<QByteArray> awaitPng(QFuture<QByteArray> encoding)
{
    const QByteArray bytes = co_await Platform::future(encoding);
    if (bytes.isEmpty())
        throw ShotError::message(kivaroCopy("图片导出失败。"));
    co_return bytes;
}

// The picture of a state that holds nothing but it, drawn one to one over the whole canvas and
// encoded by this process: its rendering is exactly its own pixels over transparency.
std::optional<MarkupImage> barePicture(const ShotState &state, std::optional<int> maxDimension)
{
    const Markup &markup = state.markup;
    if (!state.masks.isEmpty() || markup.subelements().size() != 1 || markup.backgroundColor().alpha() != 0)
        return std::nullopt;
    const ImageElement *picture = markup.subelements().at(0).image();
    if (!picture || !picture->image.encodesItself())
        return std::nullopt;
    const QSize size = picture->image.size();
    const QRectF whole(0, 0, size.width(), size.height());
    if (markup.bounds() != whole || picture->frame != whole || picture->contentsBounds != QRectF(0, 0, 1, 1) || picture->rotation != 0
        || picture->opacity != 1 || pixelSize(whole.size(), maxDimension) != size)
        return std::nullopt;
    return picture->image;
}

} // namespace

// Not a coroutine itself, so that no coroutine frame owns the bitmap a worker reads.
Task<QByteArray> png(const ShotState &state, std::optional<int> maxDimension, bool forRecognition)
{
    // A fresh capture: no rendering pass, and the picture's one encoding serves the clipboard,
    // the project file and every later copy.
    if (const std::optional<MarkupImage> picture = barePicture(state, maxDimension)) {
        if (qint64(picture->size().width()) * picture->size().height() > DocumentLimits::kMaxPixels)
            throw ShotError::message(kivaroCopy("图片太大，导出最多支持 4000 万像素。"));
        return awaitPng(QtConcurrent::run([picture = *picture] { return picture.pngData(); }));
    }
    const QImage image = render(state, maxDimension, forRecognition);
    return awaitPng(QtConcurrent::run([image] { return encodePng(image); }));
}

} // namespace Kivaro::ShotRenderer
