#include "Kivaro/shell/capture/CaptureSelectionFeedback.h"

#include "KivaroCore/Geometry.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace Kivaro::CaptureSelectionFeedback {

using namespace NativeAppAppearance;

namespace {
bool isEmpty(const QRectF &rect)
{
    return !(rect.width() > 0 && rect.height() > 0);
}
} // namespace

QString sizeText(QSizeF pixelSize)
{
    return QStringLiteral("%1 × %2 px")
        .arg(static_cast<long long>(std::round(pixelSize.width())))
        .arg(static_cast<long long>(std::round(pixelSize.height())));
}

QFont labelFont()
{
    // The kit's faces have tabular digits, so the label keeps its width while the size changes.
    return NativeFonts::system(12, QFont::Medium);
}

QRectF labelFrame(QRectF bounds, QRectF selection, double textWidth)
{
    const double x = std::min(std::max(Geometry::minX(selection), 8.0), Geometry::maxX(bounds) - textWidth - 24);
    const double y = Geometry::maxY(selection) + 34 < Geometry::maxY(bounds) ? Geometry::maxY(selection) + 8
                                                                              : std::max(Geometry::minY(selection) - 32, 8.0);
    return QRectF(x, y, textWidth + 20, 26);
}

QRectF magnifierFrame(QRectF bounds, QPointF pointer)
{
    const double side = magnifierSide;
    double x = pointer.x() + side + 32 < Geometry::maxX(bounds) ? pointer.x() + 24 : pointer.x() - side - 24;
    double y = pointer.y() + side + 32 < Geometry::maxY(bounds) ? pointer.y() + 24 : pointer.y() - side - 24;
    x = std::max(std::min(x, Geometry::maxX(bounds) - side - 8), 8.0);
    y = std::max(std::min(y, Geometry::maxY(bounds) - side - 8), 8.0);
    return QRectF(x, y, side, side);
}

MagnifierSource magnifierSource(QRectF bounds, QPointF pointer, double scale)
{
    const QRectF inner = Geometry::insetBy(magnifierFrame(bounds, pointer), magnifierInset, magnifierInset);
    const double side = magnifiedPixels / std::max(scale, 1.0);
    // The pointer snapped to the nearest image pixel boundary.
    const QPointF centre(std::round(pointer.x() * scale) / scale, std::round(pointer.y() * scale) / scale);
    const QRectF full(centre.x() - side / 2, centre.y() - side / 2, side, side);
    const QRectF source = full.intersected(bounds);
    const QRectF destination(inner.x() + (source.x() - full.x()) / side * inner.width(),
                             inner.y() + (source.y() - full.y()) / side * inner.height(), source.width() / side * inner.width(),
                             source.height() / side * inner.height());
    return {source, destination};
}

QList<QRectF> paintedAreas(QRectF bounds, QRectF selection, std::optional<QPointF> pointer, QSizeF pixelSize, bool region)
{
    QList<QRectF> areas;
    const double h = bounds.height();
    if (!isEmpty(selection)) {
        // The veil's edge and the outline (drawn inside the selection, 2 points wide).
        areas.append(toWidget(selection, h).adjusted(-2, -2, 2, 2));
        const double textWidth = NativeDrawing::textWidth(sizeText(pixelSize), labelFont());
        areas.append(toWidget(labelFrame(bounds, selection, textWidth), h).adjusted(-2, -2, 2, 2));
    }
    if (region && pointer && Geometry::contains(bounds, *pointer))
        areas.append(toWidget(magnifierFrame(bounds, *pointer), h).adjusted(-2, -2, 2, 2));
    return areas;
}

void draw(QPainter &painter, const QImage &image, QRectF bounds, QRectF selection, std::optional<QPointF> pointer,
          QSizeF pixelSize, double scale, bool region, Appearance appearance)
{
    const double h = bounds.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);

    if (!isEmpty(selection)) {
        const QString text = sizeText(pixelSize);
        const QFont font = labelFont();
        const double textWidth = NativeDrawing::textWidth(text, font);
        const QRectF frame = labelFrame(bounds, selection, textWidth);
        NativeDrawing::fillRoundedRect(painter, toWidget(frame, h), 7, QColor::fromRgbF(0, 0, 0, 0.88f));
        NativeDrawing::drawText(painter, text, toWidget(QRectF(frame.x() + 10, frame.y(), textWidth + 1, frame.height()), h), font,
                                Qt::white, Qt::AlignLeft, Qt::ElideNone);
    }

    if (region && pointer && Geometry::contains(bounds, *pointer) && !image.isNull()) {
        const QRectF panel = magnifierFrame(bounds, *pointer);
        NativeDrawing::fillRoundedRect(painter, toWidget(panel, h), 12, QColor::fromRgbF(0, 0, 0, 0.9f));
        const QRectF inner = Geometry::insetBy(panel, magnifierInset, magnifierInset);
        const MagnifierSource square = magnifierSource(bounds, *pointer, scale);

        painter.save();
        QPainterPath clip;
        clip.addRoundedRect(toWidget(inner, h), 6, 6);
        painter.setClipPath(clip, Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const double sx = image.width() / bounds.width();
        const double sy = image.height() / bounds.height();
        const QRectF source = square.source;
        const QRectF pixels((source.x() - bounds.x()) * sx, (Geometry::maxY(bounds) - Geometry::maxY(source)) * sy, source.width() * sx,
                            source.height() * sy);
        if (!isEmpty(source))
            painter.drawImage(toWidget(square.destination, h), image, pixels);
        painter.restore();

        const QPointF centre = toWidget(Geometry::center(inner), h);
        const QRectF innerWidget = toWidget(inner, h);
        QPainterPath cross;
        cross.moveTo(centre.x(), innerWidget.top());
        cross.lineTo(centre.x(), innerWidget.bottom());
        cross.moveTo(innerWidget.left(), centre.y());
        cross.lineTo(innerWidget.right(), centre.y());
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.9f), 2));
        painter.drawPath(cross);
        painter.setPen(QPen(resolve(DynamicColor::systemBlue, appearance), 1));
        painter.drawPath(cross);
    }
    painter.restore();
}

} // namespace Kivaro::CaptureSelectionFeedback
