#include "TellumoCore/internal/LineImages.h"

#include <algorithm>
#include <cmath>

namespace Tellumo::detail {

namespace {

QImage withMargin(const QImage &image, int margin)
{
    QImage framed(image.width() + 2 * margin, image.height() + 2 * margin, QImage::Format_Grayscale8);
    framed.fill(255);
    for (int y = 0; y < image.height(); ++y)
        std::copy_n(image.constScanLine(y), image.width(), framed.scanLine(y + margin) + margin);
    return framed;
}

} // namespace

QImage lineImage(const InkSegmentation &ink, const TextLine &line, const std::vector<int> &lineOfGlyph, int lineIndex,
                 const LineImageOptions &options)
{
    const QRect box = line.box;
    QImage picture(box.size(), QImage::Format_Grayscale8);
    if (options.normalizePolarity) {
        picture.fill(255);
        for (int y = box.top(); y <= box.bottom(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(ink.image().constScanLine(y));
            uchar *out = picture.scanLine(y - box.top());
            for (int x = box.left(); x <= box.right(); ++x) {
                const int glyph = ink.glyphAt(x, y);
                if (glyph < 0 || lineOfGlyph[size_t(glyph)] != lineIndex)
                    continue;
                const float strength = InkSegmentation::inkStrength(row[x], ink.glyphs()[size_t(glyph)]);
                out[x - box.left()] = uchar(std::lround(255.0f * (1.0f - strength)));
            }
        }
    } else {
        picture = ink.image().copy(box).convertToFormat(QImage::Format_Grayscale8);
    }
    if (options.upscale && box.height() < kReadingHeight) {
        const double factor = std::min(4.0, double(kReadingHeight) / box.height());
        picture = picture.scaled(int(std::lround(box.width() * factor)), int(std::lround(box.height() * factor)), Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
    }
    return withMargin(picture, std::max(6, picture.height() / 4));
}

QImage normalizedPage(const InkSegmentation &ink)
{
    QImage page(ink.width(), ink.height(), QImage::Format_Grayscale8);
    page.fill(255);
    for (int y = 0; y < ink.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(ink.image().constScanLine(y));
        uchar *out = page.scanLine(y);
        for (int x = 0; x < ink.width(); ++x) {
            const int glyph = ink.glyphAt(x, y);
            if (glyph >= 0 && !ink.glyphs()[size_t(glyph)].dropped)
                out[x] = uchar(std::lround(255.0f * (1.0f - InkSegmentation::inkStrength(row[x], ink.glyphs()[size_t(glyph)]))));
        }
    }
    return page;
}

int medianLineHeight(const std::vector<TextLine> &lines)
{
    if (lines.empty())
        return 0;
    std::vector<int> heights;
    for (const TextLine &line : lines)
        heights.push_back(line.box.height());
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

} // namespace Tellumo::detail
