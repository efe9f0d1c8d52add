#pragma once
// The band layout of PNG files written by encodePng, and the parallel decoder for them.
//
// Layout: IHDR, then the private chunk "kvRB" (rows per band, band count; "unsafe to copy", as
// it describes the image data), then one IDAT holding the 2-byte zlib header, one IDAT per
// band holding that band's deflate stream (ending on a flush point, the last one final), one
// IDAT holding the Adler-32 of all filtered bytes, and IEND. The first row of each band is
// filtered without the row above. No chunk gives a colour space: the pixels are sRGB.

#include <QByteArray>
#include <QImage>

class QThreadPool;

namespace Platform::PngInternal {

inline constexpr char kBandChunk[5] = "kvRB";

// Decodes a PNG of that layout, checking every length, CRC and the Adler-32; the image is RGB32
// or straight-alpha ARGB32. A null image when the bytes are anything else or fail a check, so
// the caller falls back to the general decoder.
QImage decodeBanded(const QByteArray &png);

// The pool that encodes and decodes bands. Encoders and decoders are often tasks of the global
// pool themselves (a shot's mosaic background, an image's PNG data, a project read off the main
// thread): waiting there for bands queued on that same pool never ends once each of its threads
// waits so, as on a two-core machine, and Qt's raster and image code, which waits on the global
// pool as well, then stops the main thread too. A band waits for nothing, so a pool that runs
// only bands always drains. It lives as long as the process.
QThreadPool *bandPool();

} // namespace Platform::PngInternal
