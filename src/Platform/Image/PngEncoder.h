#pragma once
// The fast PNG encoder used for every PNG the application writes (pasteboard, export, project
// files, previews).
//
// The image is cut into bands of rows that are filtered and deflated in parallel; each band's
// deflate stream ends on a flush point, so the bands join into one valid zlib stream that any
// PNG reader decodes (the technique of parallel gzip). Row filters are chosen per row by the
// smallest sum of absolute filtered values among None, Sub, Up and Paeth. An image whose every
// pixel is opaque is written as 8-bit RGB, anything else as 8-bit non-premultiplied RGBA.
// Output is deterministic: the same pixels give the same bytes, whatever the thread count.
//
// The first row of every band is filtered without the row above, and a private ancillary
// chunk records the band layout, so that decodeImage() can inflate and unfilter the bands of
// such a file in parallel too; other readers ignore the chunk.
//
// Safe to call from any thread; it uses Qt's global thread pool.

#include <QByteArray>
#include <QImage>

namespace Platform {

struct PngEncodeOptions {
    // zlib level 1 to 9. 1 and 2 are several times faster than the default 6 and, after good row
    // filters, only a little larger on screenshots; 1 is about a tenth faster than 2 for under
    // one percent more bytes.
    int compressionLevel = 1;
    // Rows per band; smaller bands use more threads on small images but compress a little worse.
    int bandRows = 64;
};

// Returns the PNG bytes, or an empty array for a null image.
QByteArray encodePng(const QImage &image, const PngEncodeOptions &options = {});

} // namespace Platform
