#pragma once
// One element of a markup: a shape, an image or a stroke, as a value.

#include "Platform/Markup/ImageElement.h"
#include "Platform/Markup/ShapeElement.h"
#include "Platform/Markup/StrokeElement.h"

#include <variant>

namespace Platform {

class MarkupElement final {
public:
    MarkupElement(const ShapeElement &shape) : m_value(shape) {}   // NOLINT: implicit on purpose
    MarkupElement(const ImageElement &image) : m_value(image) {}   // NOLINT
    MarkupElement(const StrokeElement &stroke) : m_value(stroke) {} // NOLINT

    MarkupKind kind() const { return MarkupKind(m_value.index()); }
    ElementID elementID() const;
    // The element's bounding frame in markup coordinates, before rotation.
    QRectF frame() const;
    double rotation() const;
    MarkupInteractions allowedInteractions() const;

    const ShapeElement *shape() const { return std::get_if<ShapeElement>(&m_value); }
    const ImageElement *image() const { return std::get_if<ImageElement>(&m_value); }
    const StrokeElement *stroke() const { return std::get_if<StrokeElement>(&m_value); }
    ShapeElement *shape() { return std::get_if<ShapeElement>(&m_value); }
    ImageElement *image() { return std::get_if<ImageElement>(&m_value); }
    StrokeElement *stroke() { return std::get_if<StrokeElement>(&m_value); }

    // Moves and scales the element so that its frame becomes `frame` (strokes by transform).
    void setFrame(const QRectF &frame);

    friend bool operator==(const MarkupElement &, const MarkupElement &) = default;

private:
    std::variant<ShapeElement, ImageElement, StrokeElement> m_value;
};

} // namespace Platform
