#include "Platform/ScreenCapture/ScreenSource.h"

#include "Platform/ScreenCapture/InProcessScreenSource.h"
#include "Platform/ScreenCapture/X11ScreenSource.h"

#include "Platform/Image/ImageDecoding.h"

#include <QGuiApplication>
#include <QPainter>

#include <cmath>

namespace Platform {

ScreenSource::~ScreenSource() = default;

ScreenCaptureError::ScreenCaptureError(QString screen)
    : std::runtime_error("the screen " + screen.toStdString() + " could not be read"), m_screen(std::move(screen))
{
}

QSize windowPixelSize(const QRectF &frame, double scale)
{
    // Sides are checked as doubles, before anything is turned into an int.
    const double width = std::floor(frame.width() * scale);
    const double height = std::floor(frame.height() * scale);
    const ImageLimits limits;
    if (!(width >= 1 && height >= 1) || width > limits.maxSide || height > limits.maxSide || width * height > double(limits.maxPixels))
        return {};
    return QSize(int(width), int(height));
}

QSize CaptureScreen::pixelSize() const
{
    return QSize(int(std::floor(frame.width() * backingScale)), int(std::floor(frame.height() * backingScale)));
}

std::shared_ptr<ScreenSource> makeScreenSource()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto source = std::make_shared<X11ScreenSource>();
        if (source->isConnected())
            return source;
    }
    return std::make_shared<InProcessScreenSource>();
}

bool displayReachable()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        return x11 && x11->connection() && X11ScreenSource::connectionUsable(x11->connection());
    }
    return X11ScreenSource::displayAnswers();
}

QImage cutFromFrozenScreens(const QRectF &frame, double scale, const QList<FrozenScreen> &frozen)
{
    const QSize size = windowPixelSize(frame, scale);
    if (size.isEmpty())
        return {};
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    bool covered = false;
    // Every screen gives the part of the frame it shows: a window across two monitors comes out
    // whole, not as the part on one of them beside a transparent hole.
    for (const FrozenScreen &entry : frozen) {
        const QRectF screenFrame = entry.screen.frame;
        const QRectF overlap = screenFrame.intersected(frame);
        if (entry.image.isNull() || !(overlap.width() > 0) || !(overlap.height() > 0))
            continue;
        // Source pixels: the overlap in screen-local points, flipped to the image's top-down rows.
        const double sx = entry.image.width() / screenFrame.width();
        const double sy = entry.image.height() / screenFrame.height();
        const QRectF source((overlap.x() - screenFrame.x()) * sx,
                            (screenFrame.y() + screenFrame.height() - (overlap.y() + overlap.height())) * sy,
                            overlap.width() * sx, overlap.height() * sy);
        const QRectF target((overlap.x() - frame.x()) * scale, (frame.y() + frame.height() - (overlap.y() + overlap.height())) * scale,
                            overlap.width() * scale, overlap.height() * scale);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, std::abs(sx - scale) > 1e-9 || std::abs(sy - scale) > 1e-9);
        painter.drawImage(target, entry.image, source);
        covered = true;
    }
    painter.end();
    return covered ? result : QImage();
}

} // namespace Platform
