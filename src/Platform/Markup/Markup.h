#pragma once
// A markup: the canvas content. `bounds` is the picture's rectangle in pixels (origin 0,0 for
// a loaded picture); the background colour fills it before the elements are drawn, lowest
// first. A value: copies are cheap and compare by content (images by their content hash).
//
// The data representation is this library's own versioned binary property list. Decoding is
// bounded (input size, nesting, element count, image pixels, text and stroke sizes, finite and
// sane numbers) and throws MarkupDataError for anything outside the bounds or malformed.
// It runs in two steps that a caller holding a container of markup (the project file) can take
// apart, so that its bytes are decoded as a property list only once.

#include "Platform/Markup/DocumentLimits.h"
#include "Platform/Markup/MarkupOrderedSet.h"

#include <QByteArray>
#include <QColor>
#include <QRectF>

#include <stdexcept>

namespace Platform {

class MarkupDataError final : public std::runtime_error {
public:
    // `message` is the user-facing text (looked up); `detail` says what was wrong.
    MarkupDataError(const QString &message, const QString &detail);
    const QString &message() const { return m_message; }
    const QString &detail() const { return m_detail; }

private:
    QString m_message;
    QString m_detail;
};

struct MarkupDataLimits {
    qsizetype maxBytes = DocumentLimits::kMaxFileBytes;
    qsizetype maxElements = DocumentLimits::kMaxElements;
    qint64 maxImagePixels = DocumentLimits::kMaxPixels;           // per image
    qint64 maxTotalImagePixels = DocumentLimits::kMaxTotalPixels; // all images together
    int maxImageSide = DocumentLimits::kMaxSide;
    qsizetype maxTextLength = DocumentLimits::kMaxTextLength;           // UTF-16 units of any string
    qsizetype maxTotalTextLength = DocumentLimits::kMaxTotalTextLength; // of the shapes' texts together
    qsizetype maxTextRuns = 10'000;        // per text
    qsizetype maxStrokePoints = 2'000'000; // all strokes together
    double maxCoordinate = 1e7;            // absolute value of any coordinate or size
};

class Markup final {
public:
    Markup() = default;
    explicit Markup(const QRectF &bounds) : m_bounds(bounds) {}

    const QRectF &bounds() const { return m_bounds; }
    void setBounds(const QRectF &bounds) { m_bounds = bounds; }
    // Transparent means clear.
    const QColor &backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor &color) { m_backgroundColor = color; }

    const MarkupOrderedSet &subelements() const { return m_subelements; }
    MarkupOrderedSet &subelements() { return m_subelements; }

    // Encodes the markup. Encoding the images' pixels is the costly part; it is done once per
    // image and may run on any thread.
    QByteArray dataRepresentation() const;
    // parseDataRepresentation() then fromParsedRepresentation().
    static Markup fromDataRepresentation(const QByteArray &data, const MarkupDataLimits &limits = {});
    // The property list of `data`, decoded within the bounds a markup's needs; throws
    // MarkupDataError. A container that nests no deeper and holds no more nodes can be
    // decoded with it as well.
    static QVariant parseDataRepresentation(const QByteArray &data, const MarkupDataLimits &limits = {});
    // The markup a parsed data representation holds; throws MarkupDataError.
    static Markup fromParsedRepresentation(const QVariant &root, const MarkupDataLimits &limits = {});

    friend bool operator==(const Markup &, const Markup &) = default;

private:
    QRectF m_bounds;
    QColor m_backgroundColor = Qt::transparent;
    MarkupOrderedSet m_subelements;
};

} // namespace Platform
