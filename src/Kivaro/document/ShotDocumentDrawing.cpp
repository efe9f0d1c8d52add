// The drawing operations of ShotDocument: a shape tool's drag and a pen stroke, each one undo
// step named after its tool.

#include "Kivaro/document/ShotDocument.h"

#include "Kivaro/document/internal/DrawingEdits.h"

#include "KivaroCore/Localization.h"

#include <QDateTime>

namespace Kivaro {

using namespace Platform;

std::optional<MarkupID<ShapeElement>> ShotDocument::addDrawing(DrawingTool tool, QPointF from, QPointF to, std::optional<QColor> color,
                                                              std::optional<double> width)
{
    if (tool == DrawingTool::step)
        return addNumberedStep(to);
    const ShotState old = state();
    const std::optional<ShapeElement> shape = DrawingEdits::shape(tool, from, to, old.markup.bounds(), color, width);
    if (!shape)
        return std::nullopt;
    ShotState next = old;
    next.markup.subelements().append(*shape);
    replace(next, old, DrawingTools::label(tool));
    m_canvas->setSelection({ElementID::shape(shape->id)});
    return shape->id;
}

void ShotDocument::addFreehand(const QList<QPointF> &points, const QColor &color, double width)
{
    const ShotState old = state();
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const std::optional<StrokeElement> stroke = DrawingEdits::stroke(points, color, width, now);
    if (!stroke)
        return;
    ShotState next = old;
    next.markup.subelements().append(*stroke);
    replace(next, old, kivaroCopy("画笔"));
}

} // namespace Kivaro
