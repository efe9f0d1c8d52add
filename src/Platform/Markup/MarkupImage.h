#pragma once
// The pixels of an image element: an immutable, implicitly shared QImage with a content hash
// computed once, so that comparing two markups never compares pixels. Its PNG encoding is made
// at most once, on first use, from any thread (an image decoded from PNG keeps those bytes).
//
// Pixels are kept as RGB32 when the image has no alpha channel and as premultiplied ARGB32
// otherwise, the formats QPainter draws fastest; equal pixels in another format compare equal.

#include <QByteArray>
#include <QImage>

#include <memory>

namespace Platform {

class MarkupImage final {
public:
    MarkupImage() = default;
    explicit MarkupImage(const QImage &image);
    // An image decoded from `png`; the bytes are kept as its encoding.
    MarkupImage(const QImage &image, const QByteArray &png);

    bool isNull() const { return !m_data; }
    QImage image() const;
    // The image halved `halvings` times (each output pixel the mean of a 2 × 2 block), made once
    // per level on first use from any thread and kept with the image; the image itself for 0.
    // Drawing a large picture much smaller than its pixels samples these instead of skipping
    // most of its pixels.
    QImage reduced(int halvings) const;
    QSize size() const;
    quint64 contentHash() const;
    QByteArray pngData() const;
    // Whether pngData() is this process's own encoding of the pixels (encodePng with its default
    // options), not bytes the image was decoded from, which may hold chunks or a depth of
    // their own.
    bool encodesItself() const;

    friend bool operator==(const MarkupImage &a, const MarkupImage &b);

private:
    struct Data;
    std::shared_ptr<Data> m_data;
};

} // namespace Platform
