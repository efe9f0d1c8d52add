#pragma once
// The one place where screen coordinates change space.
//
// Three spaces meet at the capture:
// - model points: global geometry as the capture model keeps it, origin at the bottom-left
//   corner of the first (primary) screen, y growing upwards;
// - Qt logical coordinates: the virtual desktop as QScreen::geometry() and QCursor::pos()
//   report it, origin top-left of the desktop, y down, in device-independent pixels (points);
// - native pixels: what the X server reports (root window coordinates), y down.
//
// Model and Qt differ by a flip around the first screen's bottom edge and a shift to its left
// edge. Qt and native differ per screen: Qt keeps each screen's top-left corner and divides
// sizes by the screen's device pixel ratio (the rule of QHighDpiScaling). Conversions are
// exact in doubles; nothing is rounded here.

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>

namespace Platform {

class ScreenCoordinates final {
public:
    struct Screen {
        QRectF qtGeometry; // logical, y down
        double scale = 1.0;

        // Between this screen's native pixels and Qt points, about its top-left corner.
        QRectF toQt(const QRectF &native) const;
        QRectF toNative(const QRectF &qt) const;
    };

    ScreenCoordinates() = default;
    // The first screen is the primary one; model coordinates hang from it.
    explicit ScreenCoordinates(QList<Screen> screens);

    // Qt's screens as they are now, the primary one first.
    static ScreenCoordinates fromQtScreens();

    const QList<Screen> &screens() const { return m_screens; }

    QRectF toModel(const QRectF &qt) const;
    QRectF toQt(const QRectF &model) const;
    QPointF toModel(const QPointF &qt) const;
    QPointF toQt(const QPointF &model) const;

    // Native pixels of screen `index`: its Qt top-left corner with its size times its scale.
    QRectF nativeGeometry(int index) const;
    // A native rectangle (a window frame) in Qt coordinates, scaled by the screen that holds
    // its centre (else the first screen).
    QRectF nativeToQt(const QRectF &native) const;
    QPointF nativeToQt(const QPointF &native) const;
    QRectF nativeToModel(const QRectF &native) const { return toModel(nativeToQt(native)); }
    // The inverse: a Qt rectangle in native pixels, scaled by the screen that holds its centre.
    QRectF qtToNative(const QRectF &qt) const;
    QRectF modelToNative(const QRectF &model) const { return qtToNative(toQt(model)); }

private:
    // The first screen whose rectangle (native pixels, or Qt points) holds the point, with the
    // minimum edges inside and the maximum edges outside, so that a point on the edge two
    // screens share belongs to the one on its right (or below); else the first screen.
    int screenForNative(const QPointF &native) const;
    int screenForQt(const QPointF &qt) const;

    QList<Screen> m_screens;
    double m_originX = 0; // Qt x of the first screen's left edge
    double m_mainTop = 0; // Qt y of the first screen's bottom edge
};

} // namespace Platform
