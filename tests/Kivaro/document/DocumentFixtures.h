#pragma once
// Shared pictures and states for the document tests.

#include "Kivaro/document/MosaicRenderer.h"
#include "Kivaro/document/ShotState.h"

#include <QPainter>

namespace DocumentFixtures {

using namespace Platform;

inline QImage picture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256);
    }
    return image;
}

inline ShapeElement shape(QRectF frame)
{
    ShapeElement s;
    s.frame = frame;
    s.strokeColor = QColor(51, 110, 240);
    s.lineWidth = 3;
    s.allowedInteractions = MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
    s.id = MarkupID<ShapeElement>::make();
    return s;
}

// A state with a picture, one shape, one linked pair of shapes, a numbered step and one mosaic.
inline Kivaro::ShotState richState(int w = 200, int h = 100)
{
    Kivaro::ShotState state;
    const QImage image = picture(w, h);
    state.markup = Markup(QRectF(0, 0, w, h));
    ImageElement base;
    base.image = MarkupImage(image);
    base.frame = QRectF(0, 0, w, h);
    base.id = MarkupID<ImageElement>::make();
    state.markup.subelements().append(base);
    const ShapeElement box = shape(QRectF(10, 10, 30, 20));
    const ShapeElement bubble = shape(QRectF(60, 10, 50, 30));
    const ShapeElement arrow = shape(QRectF(60, 40, 30, 30));
    const ShapeElement step = shape(QRectF(120, 50, 20, 20));
    ShapeElement mask = shape(QRectF(150, 20, 30, 30));
    mask.fillColor = QColor(Qt::transparent);
    mask.strokeColor.reset();
    for (const ShapeElement &s : {box, bubble, arrow, step})
        state.markup.subelements().append(s);
    state.mosaicGrain = 12;
    state.mosaicBackground = Kivaro::MosaicRenderer::background(image, state.mosaicGrain);
    ImageElement patch;
    patch.image = MarkupImage(Kivaro::MosaicRenderer::patch(state.mosaicBackground, mask.frame));
    patch.frame = mask.frame;
    patch.id = MarkupID<ImageElement>::make();
    state.markup.subelements().append(patch);
    state.markup.subelements().append(mask);
    state.links = {Kivaro::AnnotationLink{bubble.id, arrow.id, QPointF(85.5, 66.25)}};
    state.masks = {mask.id};
    state.mosaics = {Kivaro::MosaicLink{mask.id, patch.id}};
    state.steps = {Kivaro::NumberedStep{step.id, 1}};
    return state;
}

} // namespace DocumentFixtures
