#include "Kivaro/document/MosaicRenderer.h"

#include "Kivaro/document/internal/MaskEdits.h"

#include "Platform/Image/ImageDecoding.h"
#include "Platform/Image/PngEncoder.h"
#include "Platform/Markup/DocumentLimits.h"

#include <QMutex>
#include <QSet>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace Kivaro::MosaicRenderer {

using namespace Platform;

namespace {

constexpr double kVeil = 0.12;

struct Tables {
    std::array<float, 256> toLinear{};
    std::array<quint8, 4096> toSrgb{}; // indexed by linear value × 4095
};

const Tables &tables()
{
    static const Tables t = [] {
        Tables t;
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t.toLinear[size_t(i)] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        for (int i = 0; i < 4096; ++i) {
            const double l = i / 4095.0;
            const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
            t.toSrgb[size_t(i)] = quint8(qBound(0, int(std::lround(c * 255)), 255));
        }
        return t;
    }();
    return t;
}

// The veiled, opaque colour of the cell whose centre is (cx, cy), in pixel-centre coordinates
// of a premultiplied ARGB32 picture.
QRgb cellColour(const QImage &image, double cx, double cy)
{
    const Tables &t = tables();
    const int w = image.width(), h = image.height();
    const double sx = cx - 0.5, sy = cy - 0.5;
    const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
    const double fx = sx - x0, fy = sy - y0;
    double r = 0, g = 0, b = 0, a = 0;
    for (int j = 0; j < 2; ++j) {
        const int y = qBound(0, y0 + j, h - 1);
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int i = 0; i < 2; ++i) {
            const double weight = (i ? fx : 1 - fx) * (j ? fy : 1 - fy);
            if (weight == 0)
                continue;
            const QRgb p = line[qBound(0, x0 + i, w - 1)];
            const int alpha = qAlpha(p);
            if (alpha == 0)
                continue;
            // Unpremultiply to linearise, premultiply again in linear light.
            const double k = alpha / 255.0;
            auto lin = [&](int v) { return double(t.toLinear[size_t(qMin(255, int(std::lround(v / k))))]) * k; };
            r += weight * lin(qRed(p));
            g += weight * lin(qGreen(p));
            b += weight * lin(qBlue(p));
            a += weight * k;
        }
    }
    auto out = [&](double premultiplied) {
        const double colour = a > 0 ? premultiplied / a : 0; // alpha made 1: the colour stays
        const double veiled = colour * (1 - kVeil) + kVeil;
        return int(t.toSrgb[size_t(qBound(0, int(std::lround(veiled * 4095)), 4095))]);
    };
    return qRgb(out(r), out(g), out(b));
}

// The last background decoded: masks of one document cut their patches from the same data.
struct DecodedCache {
    QMutex mutex;
    QByteArray data;
    QImage image;
};

QImage decodedBackground(const QByteArray &data)
{
    static DecodedCache cache;
    QMutexLocker lock(&cache.mutex);
    const bool hit = (cache.data.constData() == data.constData() && cache.data.size() == data.size()) || cache.data == data;
    if (!hit) {
        const DecodedImage decoded = decodeImage(data, ImageLimits{DocumentLimits::kMaxPixels, DocumentLimits::kMaxSide}, "png");
        cache.data = data;
        cache.image = decoded.ok() ? decoded.image : QImage();
    }
    return cache.image;
}

QRect integral(const QRectF &r)
{
    const QRectF s = r.normalized();
    const int left = int(std::floor(s.left())), top = int(std::floor(s.top()));
    const int right = int(std::ceil(s.right())), bottom = int(std::ceil(s.bottom()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QImage crop(const QImage &image, const QRectF &rect)
{
    if (image.isNull() || !std::isfinite(rect.x()) || !std::isfinite(rect.y()) || !std::isfinite(rect.width())
        || !std::isfinite(rect.height()) || std::abs(rect.x()) > 1e8 || std::abs(rect.y()) > 1e8 || std::abs(rect.width()) > 1e8
        || std::abs(rect.height()) > 1e8)
        return {};
    const QRect r = integral(rect).intersected(image.rect());
    return r.isEmpty() ? QImage() : image.copy(r);
}

bool sameRect(const QRectF &a, const QRectF &b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

} // namespace

std::optional<QByteArray> background(const QImage &source, qint64 grain)
{
    if (source.isNull() || grain <= 0)
        return std::nullopt;
    // The document's pictures are RGB32 or premultiplied ARGB32 already; others are converted.
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32_Premultiplied
                             ? source
                             : source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const bool opaque = image.format() == QImage::Format_RGB32;
    const int w = image.width(), h = image.height();
    const int g = int(qMin<qint64>(grain, qMax(w, h)));
    const int columns = (w + g - 1) / g;
    const int rows = (h + g - 1) / g;
    QImage out(w, h, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (out.isNull())
        return std::nullopt;
    // Rows of cells counted from the bottom edge: cell row k covers y in [h - (k+1)g, h - kg).
    for (int row = 0; row < rows; ++row) {
        const int bottom = h - row * g; // exclusive, in top-down rows
        const int top = qMax(0, bottom - g);
        const double cy = double(bottom) - double(g) / 2;
        auto *first = reinterpret_cast<QRgb *>(out.scanLine(top));
        for (int c = 0; c < columns; ++c) {
            const QRgb colour = cellColour(image, double(c) * g + double(g) / 2, cy);
            std::fill(first + c * g, first + qMin(w, (c + 1) * g), colour);
        }
        for (int y = top + 1; y < bottom; ++y)
            std::memcpy(out.scanLine(y), first, size_t(w) * sizeof(QRgb));
        if (!opaque) {
            for (int y = top; y < bottom; ++y) {
                auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
                const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                for (int x = 0; x < w; ++x)
                    line[x] = (line[x] & 0x00ffffff) | (src[x] & 0xff000000);
            }
        }
    }
    QByteArray png = encodePng(out);
    if (png.isEmpty())
        return std::nullopt;
    return png;
}

QImage patch(const std::optional<QByteArray> &data, const QRectF &rect)
{
    if (!data)
        return {};
    return crop(decodedBackground(*data), rect);
}

QList<MosaicLink> ownLinks(const ShotState &state)
{
    const std::optional<ImageElement> bottom = MaskEdits::basePicture(state.markup);
    QSet<MarkupID<ImageElement>> claimed;
    if (bottom)
        claimed.insert(bottom->id);
    QList<MosaicLink> own;
    for (const MosaicLink &link : state.mosaics) {
        if (claimed.contains(link.imageID))
            continue;
        claimed.insert(link.imageID);
        own.append(link);
    }
    return own;
}

ShotState reconcile(const ShotState &state)
{
    if (state.mosaics.isEmpty())
        return state;
    ShotState next = state;
    // A crafted file can name the picture itself as a mask's patch: such a link goes, the
    // picture stays.
    next.mosaics = ownLinks(state);
    MarkupOrderedSet &elements = next.markup.subelements();
    const QRectF bounds = next.markup.bounds();
    for (const MosaicLink &link : next.mosaics) {
        const ShapeElement *found = elements.shape(link.maskID);
        if (!found) {
            elements.removeElement(link.imageID);
            continue;
        }
        ShapeElement mask = *found;
        const QRectF frame = QRectF(integral(mask.frame)).intersected(bounds);
        if (frame.isEmpty()) {
            elements.removeElement(link.imageID);
            continue;
        }
        mask.frame = frame;
        std::optional<ImageElement> patchElement;
        if (const ImageElement *existing = elements.image(link.imageID); existing && sameRect(existing->frame, frame))
            patchElement = *existing;
        if (!patchElement) {
            const QImage cut = state.mosaicBackground ? crop(decodedBackground(*state.mosaicBackground), frame) : QImage();
            if (cut.isNull())
                continue;
            ImageElement made;
            made.image = MarkupImage(cut);
            made.frame = frame;
            made.id = link.imageID;
            patchElement = made;
        }
        mask.rotation = 0;
        mask.opacity = 1;
        mask.fillColor = QColor(Qt::transparent);
        mask.strokeColor.reset();
        mask.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
        elements.removeElement(link.imageID);
        elements.removeElement(link.maskID);
        elements.append(*patchElement);
        elements.append(mask);
    }
    return next;
}

} // namespace Kivaro::MosaicRenderer
