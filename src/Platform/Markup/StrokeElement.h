#pragma once
// A freehand stroke: the points of one press-drag-release with the pen's ink. Point locations
// are in the stroke's own space; `transform` maps them into markup coordinates (identity when
// drawn, changed when the user moves or resizes the stroke on the canvas).

#include "Platform/Markup/MarkupID.h"
#include "Platform/Markup/MarkupInteractions.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

namespace Platform {

struct StrokePoint {
    QPointF location;
    double timeOffset = 0; // seconds since the stroke began
    QSizeF size;           // the pen's footprint
    double opacity = 1;
    double force = 1;
    double azimuth = 0;  // radians
    double altitude = 0; // radians

    friend bool operator==(const StrokePoint &, const StrokePoint &) = default;
};

struct Ink {
    enum class Type : quint8 { Pen, Marker, Pencil };
    Type type = Type::Pen;
    QColor color = Qt::black;
    double width = 1;

    friend bool operator==(const Ink &, const Ink &) = default;
};

struct StrokeElement {
    Ink ink;
    QList<StrokePoint> points;
    QTransform transform;
    double creationDate = 0; // seconds since 1970
    MarkupInteractions allowedInteractions;
    MarkupID<StrokeElement> id;

    // The area the stroke covers in markup coordinates, pen width included.
    QRectF frame() const;

    friend bool operator==(const StrokeElement &, const StrokeElement &) = default;
};

} // namespace Platform
