#pragma once
// Bounded image decoding: bytes or a file in, a QImage or a refusal out.
//
// The pixel size is read from the file's header (QImageReader::size()) and checked against the
// limits before a single pixel is decoded, so a small hostile file that claims a huge size
// costs nothing. Pixels come as stored: the first image of the file, no orientation
// correction, except that pixels tagged with a colour space other than sRGB are converted to
// sRGB (the application draws, encodes and exports in sRGB; untagged pixels are taken as sRGB).
// Formats whose reader cannot tell the size up front are refused as unreadable.
//
// Qt's own allocation limit (256 MB by default) would refuse some images inside our limits
// (a 16-bit PNG of 40,000,000 pixels decodes to 8 bytes a pixel); it is raised to what
// `maxPixels` at 8 bytes a pixel needs, never lowered, and never raised further.
//
// Safe to call from any thread.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace Platform {

struct ImageLimits {
    qint64 maxPixels = 40'000'000;
    int maxSide = 16000;
};

struct DecodedImage {
    enum class Failure { None, Unreadable, TooLarge };

    QImage image;
    Failure failure = Failure::None;

    bool ok() const { return failure == Failure::None; }
};

// `format` names the only format to accept ("png"); empty means any format Qt reads,
// decided from the content.
DecodedImage decodeImage(const QByteArray &bytes, const ImageLimits &limits = {}, const QByteArray &format = {});
// Anything but a regular file (links followed), such as a FIFO or a device, is unreadable.
DecodedImage decodeImageFile(const QString &path, const ImageLimits &limits = {});

} // namespace Platform
