#pragma once
// Shared pictures and states of the document tests, and a document on a loaded 400 × 300
// picture with helpers to read its undo history and catch refusals.

#include "Kivaro/document/MosaicRenderer.h"
#include "Kivaro/document/ShotDocument.h"

#include "KivaroCore/ShotError.h"
#include "Support/TaskTesting.h"

#include <gtest/gtest.h>

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
    state.markup = Markup(QRectF(0, 0, w, h));
    ImageElement base;
    base.image = MarkupImage(picture(w, h));
    base.frame = state.markup.bounds();
    base.id = MarkupID<ImageElement>::make();
    const ShapeElement bubble = shape(QRectF(60, 10, 50, 30)), arrow = shape(QRectF(60, 40, 30, 30)), step = shape(QRectF(120, 50, 20, 20));
    ShapeElement mask = shape(QRectF(150, 20, 30, 30));
    mask.fillColor = QColor(Qt::transparent);
    mask.strokeColor.reset();
    state.mosaicGrain = 12;
    state.mosaicBackground = Kivaro::MosaicRenderer::background(picture(w, h), state.mosaicGrain);
    ImageElement patch;
    patch.image = MarkupImage(Kivaro::MosaicRenderer::patch(state.mosaicBackground, mask.frame));
    patch.frame = mask.frame;
    patch.id = MarkupID<ImageElement>::make();
    for (const MarkupElement &e : std::initializer_list<MarkupElement>{base, shape(QRectF(10, 10, 30, 20)), bubble, arrow, step, patch, mask})
        state.markup.subelements().append(e);
    state.links = {Kivaro::AnnotationLink{bubble.id, arrow.id, QPointF(85.5, 66.25)}};
    state.masks = {mask.id};
    state.mosaics = {Kivaro::MosaicLink{mask.id, patch.id}};
    state.steps = {Kivaro::NumberedStep{step.id, 1}};
    return state;
}

// The message of the ShotError `operation` throws; empty when it throws nothing.
inline QString refusal(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const Kivaro::ShotError &error) {
        return error.text();
    }
    return {};
}

struct AnnotatedDocument : ::testing::Test {
    Kivaro::ShotDocument document;
    int changes = 0;

    void SetUp() override
    {
        document.canvas()->resize(800, 600);
        document.didChange = [this] { ++changes; };
        document.load(picture(400, 300), false);
    }
    UndoManager *undo() const { return document.canvas()->undoManager(); }
    const MarkupOrderedSet &elements() const { return document.canvas()->markup()->subelements(); }
    void select(const QList<ElementID> &ids) { document.canvas()->setSelection(ids); }
    // The current state with `s` drawn on top, and that state committed as a drawing tool would.
    Kivaro::ShotState with(const ShapeElement &s) const
    {
        Kivaro::ShotState next = document.state();
        next.markup.subelements().append(s);
        return next;
    }
    void draw(const ShapeElement &s) { document.replace(with(s), document.state(), QStringLiteral("x")); }

    // `operation` is refused with `message`, leaves the state as it was and records no step.
    void expectRefused(const QString &message, const std::function<void()> &operation)
    {
        const Kivaro::ShotState before = document.state();
        const int steps = undo()->undoCount();
        EXPECT_EQ(refusal(operation), message);
        EXPECT_EQ(document.state(), before);
        EXPECT_EQ(undo()->undoCount(), steps);
    }
    // The last step is named `action`, its undo gives `before` back exactly and its redo the
    // state of now.
    void expectOneStep(const Kivaro::ShotState &before, const QString &action)
    {
        const Kivaro::ShotState after = document.state();
        EXPECT_EQ(undo()->undoActionName(), action);
        undo()->undo();
        EXPECT_EQ(document.state(), before);
        undo()->redo();
        EXPECT_EQ(document.state(), after);
    }
};

} // namespace DocumentFixtures
