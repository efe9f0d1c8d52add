#include "FuzzTargets.h"

#include "TellumoCore/ScreenRegionCapture.h"

namespace Kivaro::Fuzz {

int fuzzCapture(const uint8_t *data, size_t size)
{
    using Capture = Tellumo::ScreenRegionCapture;
    const QString path = scratchFolder() + QStringLiteral("/capture");
    check(writeScratchFile(path, data, size), "the capture file can be written");
    QImage image;
    try {
        image = Capture::decodeCapture(path);
    } catch (const Tellumo::TellumoError &error) {
        check(error.domain() == QLatin1String(Capture::errorDomain) && error.code() == 2, "a refused capture is error 2 of its domain");
        return 0;
    }
    check(!image.isNull() && image.format() == QImage::Format_RGBA8888_Premultiplied, "a capture decodes to premultiplied RGBA");
    check(qint64(image.width()) * image.height() <= Capture::maxDecodedPixels, "a decoded capture is within the pixel limit");
    return 0;
}

} // namespace Kivaro::Fuzz
