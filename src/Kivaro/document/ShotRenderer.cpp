#include "Kivaro/document/ShotRenderer.h"

#include "Kivaro/document/MosaicRenderer.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/ShotError.h"
#include "Platform/Markup/DocumentLimits.h"
#include "Platform/Markup/MarkupRenderer.h"

#include "Platform/Async/Awaitables.h"
#include "Platform/Image/PngEncoder.h"

#include <QPainter>
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
    auto truncated = [](double v) { return std::isfinite(v) && v > 0 ? std::trunc(qMin(v, 1e9)) : 0.0; };
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

    QPainter painter(&image);
    const double scale = scaleFor(bounds.size(), maxDimension);
    painter.scale(scale, scale);
    painter.translate(-bounds.topLeft());
    drawMarkup(painter, state.markup);

    for (const auto &maskID : state.masks) {
        const ShapeElement *mask = state.markup.subelements().shape(maskID);
        if (!mask)
            continue;
        const QRectF frame = mask->frame;
        QImage patch;
        if (!forRecognition) {
            for (const MosaicLink &link : state.mosaics) {
                if (link.maskID == maskID) {
                    patch = MosaicRenderer::patch(state.mosaicBackground, frame);
                    break;
                }
            }
        }
        if (!patch.isNull()) {
            // The patch replaces everything drawn inside the mask, annotations included.
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(frame, patch);
            painter.restore();
        } else {
            painter.fillRect(frame, Qt::black);
        }
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

} // namespace

// Not a coroutine itself, so that no coroutine frame owns the bitmap a worker reads.
Task<QByteArray> png(const ShotState &state, std::optional<int> maxDimension, bool forRecognition)
{
    const QImage image = render(state, maxDimension, forRecognition);
    return awaitPng(QtConcurrent::run([image] { return encodePng(image); }));
}

} // namespace Kivaro::ShotRenderer
