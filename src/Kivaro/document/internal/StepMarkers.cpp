#include "Kivaro/document/internal/StepMarkers.h"

#include "Kivaro/document/AnnotationStyle.h"

#include "KivaroCore/Geometry.h"

#include <limits>

namespace Kivaro::StepMarkers {

using namespace Platform;

qint64 nextNumber(const Markup &markup, const QList<NumberedStep> &steps)
{
    std::optional<qint64> highest;
    for (const NumberedStep &step : steps)
        if (markup.subelements().shape(step.shapeID))
            highest = qMax(highest.value_or(step.number), step.number);
    if (!highest)
        return 1;
    // A number read from a file can be anything; the largest one is not counted past.
    return *highest < std::numeric_limits<qint64>::max() ? *highest + 1 : *highest;
}

std::optional<ShapeElement> marker(QPointF point, const QRectF &bounds, qint64 number)
{
    if (!Geometry::contains(bounds, point) || bounds.width() < kSide || bounds.height() < kSide)
        return std::nullopt;
    const double x = qMax(Geometry::minX(bounds), qMin(point.x() - kSide / 2, Geometry::maxX(bounds) - kSide));
    const double y = qMax(Geometry::minY(bounds), qMin(point.y() - kSide / 2, Geometry::maxY(bounds) - kSide));

    ParagraphStyle centred;
    centred.alignment = TextAlignment::Center;
    TextAttributes attributes;
    attributes.fontFamily = AnnotationStyle::fontFamily();
    attributes.fontSize = number <= 99 ? 22 : 16;
    attributes.fontWeight = 700;
    attributes.foregroundColor = QColor(Qt::white);
    attributes.paragraphStyle = centred;

    ShapeElement disc;
    disc.shape = ShapeElement::Shape::ellipse();
    disc.frame = QRectF(x, y, kSide, kSide);
    disc.fillColor = AnnotationStyle::accent();
    disc.lineWidth = 1;
    disc.attributedText = AttributedText(QString::number(number), attributes);
    disc.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
    disc.id = MarkupID<ShapeElement>::make();
    return disc;
}

} // namespace Kivaro::StepMarkers
