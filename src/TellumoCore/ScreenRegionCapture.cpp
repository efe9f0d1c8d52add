#include "TellumoCore/ScreenRegionCapture.h"

#include "Platform/Image/ImageDecoding.h"

#include <QColorSpace>

namespace Tellumo::ScreenRegionCapture {

namespace {
std::shared_ptr<ScreenRecordingPermission> &permissionSlot()
{
    static std::shared_ptr<ScreenRecordingPermission> slot;
    return slot;
}

TellumoError failure(const QString &message)
{
    return TellumoError(QString::fromLatin1(errorDomain), 2, message);
}
} // namespace

void setPermission(std::shared_ptr<ScreenRecordingPermission> permission)
{
    permissionSlot() = std::move(permission);
}

std::shared_ptr<ScreenRecordingPermission> permission()
{
    auto &slot = permissionSlot();
    if (!slot)
        slot = std::make_shared<DisplayScreenRecordingPermission>();
    return slot;
}

bool permissionGranted()
{
    return permission()->isGranted();
}

void requestPermission()
{
    permission()->request();
}

TellumoError permissionError()
{
    return TellumoError(QString::fromLatin1(errorDomain), 1,
                        QStringLiteral("请先在系统设置的“录屏与系统录音”中允许当前应用，再重新打开应用。"));
}

QImage decodeCapture(const QString &path)
{
    Platform::ImageLimits limits;
    limits.maxPixels = maxDecodedPixels;
    limits.maxSide = int(maxDecodedPixels); // only the pixel count bounds a capture
    const Platform::DecodedImage decoded = Platform::decodeImageFile(path, limits);
    if (!decoded.ok())
        throw failure(QStringLiteral("截图无法读取或超过 4000 万像素，请选择更小的区域。"));

    // Decoding converted the pixels of any other colour space to sRGB.
    QImage image = decoded.image;
    image.convertTo(QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull() || image.size() != decoded.image.size())
        throw failure(QStringLiteral("截图像素解码失败，请重试。"));
    image.setColorSpace(QColorSpace(QColorSpace::SRgb));
    return image;
}

} // namespace Tellumo::ScreenRegionCapture
