#include "Kivaro/document/internal/DrawingEdits.h"

#include "Kivaro/document/AnnotationStyle.h"

#include <QLineF>

#include <cmath>

namespace Kivaro::DrawingEdits {

using namespace Platform;

double defaultWidth(DrawingTool tool)
{
    return tool == DrawingTool::arrow ? 5.0 : 3.0;
}

QPointF clamped(QPointF point, const QRectF &bounds)
{
    return QPointF(std::max(bounds.left(), std::min(point.x(), bounds.right())), std::max(bounds.top(), std::min(point.y(), bounds.bottom())));
}

std::optional<ShapeElement> shape(DrawingTool tool, QPointF from, QPointF to, const QRectF &bounds, std::optional<QColor> color,
                                  std::optional<double> width)
{
    if (tool == DrawingTool::step || tool == DrawingTool::pen)
        return std::nullopt;
    const QPointF a = clamped(from, bounds);
    const QPointF b = clamped(to, bounds);
    if (QLineF(a, b).length() < kMinimumDrag)
        return std::nullopt;
    QRectF frame(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(std::abs(b.x() - a.x()), 1.0),
                 std::max(std::abs(b.y() - a.y()), 1.0));
    const bool isLine = tool == DrawingTool::arrow || tool == DrawingTool::line;
    if (isLine)
        frame.adjust(-kLineInset, -kLineInset, kLineInset, kLineInset);
    else if (std::min(frame.width(), frame.height()) < kMinimumDrag)
        return std::nullopt;

    ShapeElement element;
    if (isLine) {
        const auto unit = [&frame](QPointF p) {
            return QPointF((p.x() - frame.left()) / frame.width(), (p.y() - frame.top()) / frame.height());
        };
        // No control point: the line is straight, its control on the start.
        element.shape = ShapeElement::Shape::line(unit(a), unit(a), unit(b));
    } else {
        element.shape = tool == DrawingTool::ellipse ? ShapeElement::Shape::ellipse() : ShapeElement::Shape::rectangle();
    }
    element.frame = frame;
    element.rotation = 0;
    element.fillColor = std::nullopt;
    element.strokeColor = color && color->isValid() ? *color : AnnotationStyle::accent();
    element.lineWidth = width.value_or(defaultWidth(tool));
    element.opacity = 1.0;
    element.startLineMarker = ShapeElement::LineMarker::None;
    element.endLineMarker = tool == DrawingTool::arrow ? ShapeElement::LineMarker::Arrow : ShapeElement::LineMarker::None;
    element.allowedInteractions =
        MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Style | MarkupInteraction::Delete;
    element.id = MarkupID<ShapeElement>::make();
    return element;
}

std::optional<StrokeElement> stroke(const QList<QPointF> &points, const QColor &color, double width, double creationDate)
{
    if (points.size() < 2)
        return std::nullopt;
    StrokeElement element;
    element.ink = Ink{Ink::Type::Pen, color, width};
    element.points.reserve(points.size());
    const QSizeF size(width, width);
    for (qsizetype i = 0; i < points.size(); ++i)
        element.points.append(StrokePoint{points[i], double(i) / 60.0, size, 1.0, 1.0, 0.0, M_PI / 2});
    element.creationDate = creationDate;
    element.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
    element.id = MarkupID<StrokeElement>::make();
    return element;
}

} // namespace Kivaro::DrawingEdits
