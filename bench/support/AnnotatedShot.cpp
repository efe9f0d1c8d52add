#include "support/AnnotatedShot.h"

#include "Kivaro/document/LinkedAnnotations.h"
#include "Kivaro/document/MosaicRenderer.h"

using namespace Kivaro;
using namespace Platform;

namespace BenchSupport {

ShotState annotated(const ShotState &loaded)
{
    ShotState s = loaded;
    for (int k = 0; k < 500; ++k) {
        const QRectF frame(40 + (k * 97) % 3600, 40 + (k * 53) % 1960, 120 + k % 80, 60 + k % 50);
        const int kind = k % 10;
        if (kind == 9 && s.masks.size() < 20) {
            ShapeElement mask;
            mask.frame = frame;
            mask.fillColor = QColor(Qt::transparent);
            mask.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
            mask.id = MarkupID<ShapeElement>::make();
            ImageElement patch;
            patch.image = MarkupImage(MosaicRenderer::patch(s.mosaicBackground, frame));
            patch.frame = frame;
            patch.id = MarkupID<ImageElement>::make();
            s.markup.subelements().append(patch);
            s.markup.subelements().append(mask);
            s.masks.append(mask.id);
            s.mosaics.append(MosaicLink{mask.id, patch.id});
            continue;
        }
        if (kind == 8) {
            StrokeElement stroke;
            stroke.ink.color = Qt::red;
            stroke.ink.width = 4;
            for (int p = 0; p < 60; ++p)
                stroke.points.append(StrokePoint{frame.topLeft() + QPointF(p * 2, (p * p) % 40), p / 60.0, QSizeF(4, 4), 1, 1, 0, 1.57});
            stroke.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move;
            stroke.id = MarkupID<StrokeElement>::make();
            s.markup.subelements().append(stroke);
            continue;
        }
        ShapeElement shape;
        shape.frame = frame;
        shape.strokeColor = QColor::fromRgbF(0.2f, 0.43f, 0.94f);
        shape.lineWidth = 3;
        shape.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize;
        shape.id = MarkupID<ShapeElement>::make();
        if (kind < 3) {
            shape.shape = ShapeElement::Shape::line({0, 0}, {0.5, 0.2}, {1, 1});
            shape.endLineMarker = ShapeElement::LineMarker::Arrow;
        } else if (kind < 5) {
            shape.shape = kind == 3 ? ShapeElement::Shape::rectangle() : ShapeElement::Shape::ellipse();
        } else {
            TextAttributes a;
            a.fontSize = 20;
            a.foregroundColor = QColor::fromRgbF(0.15f, 0.15f, 0.15f);
            a.paragraphStyle = ParagraphStyle{TextAlignment::Center, LineBreakMode::WordWrapping, 4, 0, 0, 14, 14, -14};
            shape.shape = ShapeElement::Shape::roundedRectangle(0.1);
            shape.fillColor = QColor::fromRgbF(1, 1, 1, 0.98f);
            shape.attributedText = AttributedText(QStringLiteral("标注 %1: check this part of the window").arg(k), a);
            if (kind == 7) {
                s.steps.append(NumberedStep{shape.id, k});
            } else {
                const QPointF anchor = frame.center() + QPointF(180, 120);
                const ShapeElement arrow = LinkedAnnotations::arrow(frame, anchor, MarkupID<ShapeElement>::make());
                s.markup.subelements().append(arrow);
                s.links.append(AnnotationLink{shape.id, arrow.id, anchor});
            }
        }
        s.markup.subelements().append(shape);
    }
    return s;
}

} // namespace BenchSupport
