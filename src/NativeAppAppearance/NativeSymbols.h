#pragma once
// The kit's symbol images: monochrome SVG drawings in the resources (":/native/symbols/<name>.svg",
// named like "checkmark", "chevron.right", "square.and.arrow.up"), tinted with one colour when
// drawn. A symbol keeps its drawing's aspect ratio and is centred in the rectangle it is given.
// An unknown name is no image: `exists` is false and drawing it draws nothing.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace NativeAppAppearance::NativeSymbols {

bool exists(const QString &name);
QStringList names();

// The symbol tinted with `color`, `size` in points at `devicePixelRatio`; a null image for an
// unknown name or an empty size.
QImage image(const QString &name, const QSizeF &size, const QColor &color, qreal devicePixelRatio = 1.0);

// Draws the tinted symbol into `rect` (painter coordinates) at the painter device's pixel ratio.
// Returns false, drawing nothing, for an unknown name.
bool draw(QPainter &painter, const QString &name, const QRectF &rect, const QColor &color, qreal opacity = 1.0);

// An icon of the tinted symbol (tray icons, actions), rendered at the usual icon sizes.
QIcon icon(const QString &name, const QColor &color);

} // namespace NativeAppAppearance::NativeSymbols
