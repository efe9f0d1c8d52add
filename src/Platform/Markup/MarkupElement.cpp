#include "Platform/Markup/MarkupElement.h"

namespace Platform {

QRectF StrokeElement::frame() const
{
    if (points.isEmpty())
        return {};
    double minX = points.first().location.x(), maxX = minX;
    double minY = points.first().location.y(), maxY = minY;
    for (const StrokePoint &p : points) {
        minX = qMin(minX, p.location.x());
        maxX = qMax(maxX, p.location.x());
        minY = qMin(minY, p.location.y());
        maxY = qMax(maxY, p.location.y());
    }
    const double half = ink.width / 2;
    return transform.mapRect(QRectF(QPointF(minX, minY), QPointF(maxX, maxY))).adjusted(-half, -half, half, half);
}

ElementID MarkupElement::elementID() const
{
    return std::visit([](const auto &e) { return ElementID(e.id); }, m_value);
}

QRectF MarkupElement::frame() const
{
    if (const auto *s = stroke())
        return s->frame();
    if (const auto *s = shape())
        return s->frame;
    return image()->frame;
}

double MarkupElement::rotation() const
{
    if (const auto *s = shape())
        return s->rotation;
    if (const auto *i = image())
        return i->rotation;
    return 0;
}

MarkupInteractions MarkupElement::allowedInteractions() const
{
    return std::visit([](const auto &e) { return e.allowedInteractions; }, m_value);
}

void MarkupElement::setFrame(const QRectF &frame)
{
    if (auto *s = shape()) {
        s->frame = frame;
    } else if (auto *i = image()) {
        i->frame = frame;
    } else if (auto *s = stroke()) {
        // The pen keeps its width: only the path is mapped, from the old inner box to the new.
        const double half = s->ink.width / 2;
        const QRectF old = s->frame().adjusted(half, half, -half, -half);
        const QRectF inner = frame.adjusted(half, half, -half, -half);
        if (old.width() <= 0 || old.height() <= 0 || inner.width() <= 0 || inner.height() <= 0) {
            s->transform = s->transform * QTransform::fromTranslate(frame.center().x() - old.center().x(),
                                                                    frame.center().y() - old.center().y());
            return;
        }
        QTransform map;
        map.translate(inner.x(), inner.y());
        map.scale(inner.width() / old.width(), inner.height() / old.height());
        map.translate(-old.x(), -old.y());
        s->transform = s->transform * map;
    }
}

} // namespace Platform
