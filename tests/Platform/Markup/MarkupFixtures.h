#pragma once
// Shared elements for the markup tests.

#include "Platform/Markup/Markup.h"

#include <QPainter>

namespace MarkupFixtures {

inline Platform::ShapeElement rectangle(QRectF frame, Platform::MarkupInteractions interactions = {})
{
    Platform::ShapeElement s;
    s.frame = frame;
    s.fillColor = QColor(200, 30, 30);
    s.strokeColor = QColor(10, 10, 10);
    s.lineWidth = 2;
    s.allowedInteractions = interactions;
    s.id = Platform::MarkupID<Platform::ShapeElement>::make();
    return s;
}

inline QImage picture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 255) / qMax(1, w - 1), (y * 255) / qMax(1, h - 1), 128));
    return image;
}

inline Platform::ImageElement imageElement(const QImage &image)
{
    Platform::ImageElement i;
    i.image = Platform::MarkupImage(image);
    i.frame = QRectF(0, 0, image.width(), image.height());
    i.id = Platform::MarkupID<Platform::ImageElement>::make();
    return i;
}

// A markup with every kind of element and every optional field set somewhere: the picture,
// a text bubble of two runs, an arrow and a stroke, in this order.
inline Platform::Markup richMarkup()
{
    using namespace Platform;
    Markup markup(QRectF(0, 0, 320, 200));
    markup.subelements().append(imageElement(picture(320, 200)));
    ShapeElement bubble = rectangle(QRectF(20, 20, 140, 60), MarkupInteraction::Select | MarkupInteraction::Move);
    bubble.shape = ShapeElement::Shape::roundedRectangle(8.0 / 60);
    ParagraphStyle paragraph;
    paragraph.alignment = TextAlignment::Center;
    paragraph.lineSpacing = 4;
    paragraph.headIndent = paragraph.firstLineHeadIndent = 14;
    paragraph.tailIndent = -14;
    TextAttributes attributes;
    attributes.fontSize = 18.5;
    attributes.foregroundColor = QColor::fromRgbF(0.15f, 0.15f, 0.15f);
    attributes.paragraphStyle = paragraph;
    bubble.attributedText = AttributedText(QStringLiteral("截图 note"), attributes);
    attributes.fontWeight = 700;
    bubble.attributedText.append(QStringLiteral(" bold"), attributes);
    markup.subelements().append(bubble);
    ShapeElement arrow = rectangle(QRectF(150, 60, 100, 100), MarkupInteraction::Select);
    arrow.shape = ShapeElement::Shape::line({0.1, 0.1}, {0.5, 0.2}, {0.9, 0.9});
    arrow.fillColor.reset();
    arrow.strokeColor = QColor::fromRgbF(0.2f, 0.43f, 0.94f);
    arrow.lineWidth = 3;
    arrow.endLineMarker = ShapeElement::LineMarker::Arrow;
    markup.subelements().append(arrow);
    StrokeElement stroke;
    stroke.ink = {Ink::Type::Pen, Qt::darkGreen, 4};
    for (int k = 0; k < 5; ++k)
        stroke.points.append(StrokePoint{QPointF(200 + k * 10, 150 + (k % 2) * 8), k / 60.0, QSizeF(4, 4), 1, 1, 0, 1.5707963});
    stroke.creationDate = 1.7e9;
    stroke.allowedInteractions =
        MarkupInteraction::Select | MarkupInteraction::Move | MarkupInteraction::Resize | MarkupInteraction::Delete;
    stroke.id = MarkupID<StrokeElement>::make();
    markup.subelements().append(stroke);
    return markup;
}

} // namespace MarkupFixtures
