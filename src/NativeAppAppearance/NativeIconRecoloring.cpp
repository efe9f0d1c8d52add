#include "NativeAppAppearance/NativeIconRecoloring.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace NativeAppAppearance::NativeIconRecoloring {

namespace {
constexpr double alphaCutOff = 0.01;
constexpr double saturationCutOff = 0.18;
constexpr double hueWindow = 0.24;
constexpr double hueCompression = 0.18;
constexpr double ownSaturation = 0.82;
constexpr double targetSaturation = 0.72;

double fractional(double value)
{
    double f = std::fmod(value, 1.0);
    if (f < 0)
        f += 1.0;
    return f;
}

void hsvToRgb(double h, double s, double v, double &r, double &g, double &b)
{
    const double scaled = 6.0 * h;
    int i = int(std::floor(scaled)) % 6;
    if (i < 0)
        i += 6;
    const double f = scaled - std::floor(scaled);
    const double p = v * (1 - s);
    const double q = v * (1 - s * f);
    const double t = v * (1 - s * (1 - f));
    switch (i) {
    case 0: r = v; g = t; b = p; break;
    case 1: r = q; g = v; b = p; break;
    case 2: r = p; g = v; b = t; break;
    case 3: r = p; g = q; b = v; break;
    case 4: r = t; g = p; b = v; break;
    default: r = v; g = p; b = q; break;
    }
}

uchar store(double alpha, double component)
{
    return uchar(std::clamp(std::round(alpha * component * 255.0), 0.0, 255.0));
}
} // namespace

HueSaturation rgbToHSV(double red, double green, double blue)
{
    const double max = std::max({red, green, blue});
    const double min = std::min({red, green, blue});
    const double delta = max - min;
    if (!(delta > 0))
        return {0, 0};
    double raw;
    if (max == red)
        raw = std::fmod((green - blue) / delta, 6.0);
    else if (max == green)
        raw = (blue - red) / delta + 2;
    else
        raw = (red - green) / delta + 4;
    double hue = std::fmod(raw / 6.0, 1.0);
    if (hue < 0)
        hue += 1;
    return {hue, delta / max};
}

QImage replacingDominantHue(const QImage &source, double baseHue, const QColor &target, int size)
{
    if (source.isNull() || size <= 0 || size > maximumSize)
        return source;
    QImage canvas(size, size, QImage::Format_RGBA8888_Premultiplied);
    if (canvas.isNull())
        return source;
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, size, size), source);
    }
    const QColor rgb = target.toRgb();
    const HueSaturation goal = rgbToHSV(rgb.redF(), rgb.greenF(), rgb.blueF());

    for (int y = 0; y < size; ++y) {
        uchar *pixel = canvas.scanLine(y);
        for (int x = 0; x < size; ++x, pixel += 4) {
            const double a = pixel[3] / 255.0;
            if (a <= alphaCutOff)
                continue;
            const double r = std::min(pixel[0] / 255.0 / a, 1.0);
            const double g = std::min(pixel[1] / 255.0 / a, 1.0);
            const double b = std::min(pixel[2] / 255.0 / a, 1.0);
            const double v = std::max({r, g, b});
            const HueSaturation own = rgbToHSV(r, g, b);
            double d = own.hue - baseHue;
            if (d > 0.5)
                d -= 1;
            if (d < -0.5)
                d += 1;
            if (own.saturation <= saturationCutOff || std::abs(d) >= hueWindow)
                continue;
            const double hue = fractional(goal.hue + hueCompression * d);
            const double saturation = std::max(ownSaturation * own.saturation, targetSaturation * goal.saturation);
            double nr, ng, nb;
            hsvToRgb(hue, saturation, v, nr, ng, nb);
            pixel[0] = store(a, nr);
            pixel[1] = store(a, ng);
            pixel[2] = store(a, nb);
        }
    }
    canvas.setDevicePixelRatio(1.0);
    return canvas;
}

} // namespace NativeAppAppearance::NativeIconRecoloring
