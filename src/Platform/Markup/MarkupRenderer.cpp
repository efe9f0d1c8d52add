#include "Platform/Markup/MarkupRenderer.h"

#include "Platform/Markup/TextLayout.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>

namespace Platform {

namespace {


// Rotation about the frame's centre, clockwise on screen for positive radians.
QTransform rotationAbout(const QRectF &frame, double radians)
{
    if (radians == 0)
        return {};
    const QPointF c = frame.center();
    QTransform t;
    t.translate(c.x(), c.y());
    t.rotateRadians(radians);
    t.translate(-c.x(), -c.y());
    return t;
}

QPointF unitPoint(const QRectF &frame, const QPointF &unit)
{
    return {frame.x() + unit.x() * frame.width(), frame.y() + unit.y() * frame.height()};
}

// An arrow head whose tip is at `tip`, pointing along `direction`, sized from the line width.
// Returns the point where the line should end so that its cap stays under the head.
QPointF drawArrowHead(QPainter &painter, const QPointF &tip, QPointF direction, double width, const QColor &colour)
{
    const double length = std::hypot(direction.x(), direction.y());
    if (length <= 0)
        return tip;
    direction /= length;
    const QPointF normal(-direction.y(), direction.x());
    const double headLength = qMax(10.0, width * 4.5);
    const double halfWidth = headLength * 0.55;
    const QPointF base = tip - direction * headLength;
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(base + normal * halfWidth);
    head.lineTo(base - normal * halfWidth);
    head.closeSubpath();
    painter.fillPath(head, colour);
    return tip - direction * (headLength * 0.6);
}

void drawLine(QPainter &painter, const ShapeElement &s)
{
    if (!s.strokeColor || s.lineWidth <= 0)
        return;
    const QPointF start = unitPoint(s.frame, s.shape.start);
    const QPointF control = unitPoint(s.frame, s.shape.control);
    const QPointF end = unitPoint(s.frame, s.shape.end);
    QPointF lineStart = start, lineEnd = end;
    // The tangent at each end of the quadratic curve; the chord when the control point
    // coincides with that end.
    auto tangent = [](QPointF from, QPointF via, QPointF to) { return to - (via == to ? from : via); };
    if (s.endLineMarker == ShapeElement::LineMarker::Arrow)
        lineEnd = drawArrowHead(painter, end, tangent(start, control, end), s.lineWidth, *s.strokeColor);
    if (s.startLineMarker == ShapeElement::LineMarker::Arrow)
        lineStart = drawArrowHead(painter, start, tangent(end, control, start), s.lineWidth, *s.strokeColor);
    QPainterPath path(lineStart);
    path.quadTo(control, lineEnd);
    QPen pen(*s.strokeColor, s.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.strokePath(path, pen);
}

QPainterPath shapePath(const ShapeElement &s)
{
    QPainterPath path;
    using Kind = ShapeElement::Shape::Kind;
    switch (s.shape.kind) {
    case Kind::Rectangle:
        path.addRect(s.frame);
        break;
    case Kind::RoundedRectangle: {
        const double radius = qMax(0.0, s.shape.cornerRadius) * qMin(qAbs(s.frame.width()), qAbs(s.frame.height()));
        path.addRoundedRect(s.frame, radius, radius);
        break;
    }
    case Kind::Ellipse:
        path.addEllipse(s.frame);
        break;
    case Kind::Line:
        break;
    }
    return path;
}

void drawShape(QPainter &painter, const ShapeElement &s)
{
    painter.save();
    painter.setOpacity(painter.opacity() * qBound(0.0, s.opacity, 1.0));
    painter.setTransform(rotationAbout(s.frame, s.rotation), true);
    if (s.shape.kind == ShapeElement::Shape::Kind::Line) {
        drawLine(painter, s);
    } else {
        const QPainterPath path = shapePath(s);
        if (s.fillColor)
            painter.fillPath(path, *s.fillColor);
        if (s.strokeColor && s.lineWidth > 0)
            painter.strokePath(path, QPen(*s.strokeColor, s.lineWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        drawText(painter, s.attributedText, s.frame.normalized());
    }
    painter.restore();
}

// How many times to halve an image drawn at `devicePixelsPerImagePixel`: until it is drawn at
// more than half its size, where smooth (bilinear) scaling no longer skips pixels.
int halvingsFor(double devicePixelsPerImagePixel)
{
    int halvings = 0;
    for (double scale = devicePixelsPerImagePixel; scale > 0 && scale <= 0.5 && halvings < 16; scale *= 2)
        ++halvings;
    return halvings;
}

void drawImage(QPainter &painter, const ImageElement &i)
{
    if (i.image.isNull())
        return;
    painter.save();
    painter.setOpacity(painter.opacity() * qBound(0.0, i.opacity, 1.0));
    painter.setTransform(rotationAbout(i.frame, i.rotation), true);
    const QSize full = i.image.size();
    const QRectF contents(i.contentsBounds.x() * full.width(), i.contentsBounds.y() * full.height(), i.contentsBounds.width() * full.width(),
                          i.contentsBounds.height() * full.height());
    int halvings = 0;
    const QTransform device = painter.deviceTransform();
    if (device.type() <= QTransform::TxScale && contents.width() > 0 && contents.height() > 0)
        halvings = qMin(halvingsFor(std::abs(device.m11()) * i.frame.width() / contents.width()),
                        halvingsFor(std::abs(device.m22()) * i.frame.height() / contents.height()));
    const QImage image = i.image.reduced(halvings);
    const QSizeF factor(double(image.width()) / full.width(), double(image.height()) / full.height());
    const QRectF source(contents.x() * factor.width(), contents.y() * factor.height(), contents.width() * factor.width(),
                        contents.height() * factor.height());
    painter.drawImage(i.frame, image, source);
    painter.restore();
}

void drawStroke(QPainter &painter, const StrokeElement &s)
{
    if (s.points.isEmpty())
        return;
    painter.save();
    QPen pen(s.ink.color, qMax(0.0, s.ink.width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (s.points.size() == 1) {
        painter.setPen(pen);
        painter.drawPoint(s.transform.map(s.points.first().location));
    } else {
        QPainterPath path(s.transform.map(s.points.first().location));
        for (qsizetype k = 1; k < s.points.size(); ++k)
            path.lineTo(s.transform.map(s.points.at(k).location));
        painter.strokePath(path, pen);
    }
    painter.restore();
}

} // namespace

void drawElement(QPainter &painter, const MarkupElement &element)
{
    if (const auto *s = element.shape())
        drawShape(painter, *s);
    else if (const auto *i = element.image())
        drawImage(painter, *i);
    else
        drawStroke(painter, *element.stroke());
}

namespace {

void drawMarkupWhere(QPainter &painter, const Markup &markup, const std::function<bool(qsizetype)> &draws)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (markup.backgroundColor().alpha() > 0)
        painter.fillRect(markup.bounds(), markup.backgroundColor());
    qsizetype index = 0;
    for (const MarkupElement &element : markup.subelements()) {
        if (draws(index++))
            drawElement(painter, element);
    }
    painter.restore();
}

} // namespace

void drawMarkup(QPainter &painter, const Markup &markup)
{
    drawMarkupWhere(painter, markup, [](qsizetype) { return true; });
}

void drawMarkup(QPainter &painter, const Markup &markup, const QList<QRectF> &bounds, const QRectF &visible)
{
    drawMarkupWhere(painter, markup, [&](qsizetype k) { return k >= bounds.size() || bounds.at(k).intersects(visible); });
}

QRectF drawnBounds(const MarkupElement &element)
{
    constexpr double kAntialiasing = 2;
    if (const auto *stroke = element.stroke())
        return stroke->frame().adjusted(-kAntialiasing, -kAntialiasing, kAntialiasing, kAntialiasing);
    QRectF area = element.frame().normalized();
    double margin = kAntialiasing;
    if (const auto *s = element.shape()) {
        if (s->shape.kind == ShapeElement::Shape::Kind::Line) {
            for (const QPointF &unit : {s->shape.start, s->shape.control, s->shape.end})
                area = area.united(QRectF(unitPoint(s->frame, unit), QSizeF(0, 0)));
        }
        if (s->strokeColor && s->lineWidth > 0) {
            const double head = s->startLineMarker != ShapeElement::LineMarker::None || s->endLineMarker != ShapeElement::LineMarker::None
                ? qMax(10.0, s->lineWidth * 4.5)
                : 0;
            // Square caps and miter joins reach past the half width at corners.
            margin += s->lineWidth + head;
        }
        if (!s->attributedText.isEmpty() && s->frame.width() > 0) {
            const QSizeF text = measureText(s->attributedText, s->frame.normalized().width());
            const double dx = qMax(0.0, text.width() - area.width()), dy = qMax(0.0, text.height() - area.height()) / 2;
            area.adjust(-dx, -dy, dx, dy);
        }
    }
    return rotationAbout(element.frame(), element.rotation()).mapRect(area.adjusted(-margin, -margin, margin, margin));
}

QList<QRectF> drawnBounds(const Markup &markup)
{
    QList<QRectF> bounds;
    bounds.reserve(markup.subelements().size());
    for (const MarkupElement &element : markup.subelements())
        bounds.append(drawnBounds(element));
    return bounds;
}

QImage renderMarkup(const Markup &markup, const QSize &pixelSize)
{
    const QRectF bounds = markup.bounds();
    if (pixelSize.isEmpty() || bounds.width() <= 0 || bounds.height() <= 0)
        return {};
    QImage image(pixelSize, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(pixelSize.width() / bounds.width(), pixelSize.height() / bounds.height());
    painter.translate(-bounds.x(), -bounds.y());
    drawMarkup(painter, markup);
    return image;
}

QPainterPath elementOutline(const MarkupElement &element)
{
    QPainterPath path;
    path.addRect(element.frame().normalized());
    return rotationAbout(element.frame(), element.rotation()).map(path);
}

} // namespace Platform
