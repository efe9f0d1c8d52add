#pragma once
// A drawn shape: rectangle, rounded rectangle, ellipse or line, with optional text.
//
// Geometry is in markup coordinates (pixels of the picture, origin top left, y down). A line's
// points are in unit coordinates of `frame` (0,0 its top-left corner, 1,1 its bottom-right),
// so moving or resizing the frame carries the line along. A rounded rectangle's corner radius
// is relative: the radius in pixels is `cornerRadius` × the shorter side of the frame.
// `rotation` is in radians, clockwise on screen, about the frame's centre.

#include "Platform/Markup/AttributedText.h"
#include "Platform/Markup/MarkupID.h"
#include "Platform/Markup/MarkupInteractions.h"

#include <QColor>
#include <QPointF>
#include <QRectF>

#include <optional>

namespace Platform {

struct ShapeElement {
    struct Shape {
        enum class Kind : quint8 { Rectangle, RoundedRectangle, Ellipse, Line };
        Kind kind = Kind::Rectangle;
        double cornerRadius = 0;
        QPointF start, control, end;

        static Shape rectangle() { return {}; }
        static Shape roundedRectangle(double cornerRadius) { return {Kind::RoundedRectangle, cornerRadius, {}, {}, {}}; }
        static Shape ellipse() { return {Kind::Ellipse, 0, {}, {}, {}}; }
        static Shape line(QPointF start, QPointF control, QPointF end) { return {Kind::Line, 0, start, control, end}; }

        friend bool operator==(const Shape &, const Shape &) = default;
    };
    enum class LineMarker : quint8 { None, Arrow };

    Shape shape;
    QRectF frame;
    double rotation = 0;
    std::optional<QColor> fillColor;
    std::optional<QColor> strokeColor;
    double lineWidth = 1;
    double opacity = 1;
    LineMarker startLineMarker = LineMarker::None;
    LineMarker endLineMarker = LineMarker::None;
    AttributedText attributedText;
    MarkupInteractions allowedInteractions;
    int autoresizing = 0; // kept for files; the canvas does not autoresize
    MarkupID<ShapeElement> id;

    friend bool operator==(const ShapeElement &, const ShapeElement &) = default;
};

} // namespace Platform
