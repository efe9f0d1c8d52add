#pragma once
// Rounded pop-up windows (menus, floating panels) on X11.
//
// With a compositing manager a translucent window's antialiased corners blend with what lies
// behind, so the window keeps its whole rectangle. Without one, X shows a translucent pixel over
// black: the window is then cut to its rounded shape with a mask, and every pixel the mask keeps
// must be painted opaque, or the antialiased edge of the shape shows as a ring of dark pixels.
// Windows shaped here paint `paintOpaqueBackdrop` first in their paint event for that.

#include <QtGlobal>

class QColor;
class QPainter;
class QRegion;
class QSize;
class QWidget;

namespace Platform {

// Whether a compositing manager runs for the window's screen (EWMH: an owner of the
// _NET_WM_CM_S<n> selection). False without an X connection.
bool hasCompositingManager(const QWidget *window);

// The pixels of a rectangle of `size` with corners of `radius` that the shape covers at least
// half; the mask of a window shaped without a compositing manager.
QRegion roundedRegion(const QSize &size, qreal radius);

// Shapes `window` to a rounded rectangle of its size: a mask without a compositing manager,
// none with one (and none under Qt's offscreen platform, which has no shaped windows).
void shapeToRoundedRect(QWidget *window, qreal radius);

// Fills the window's mask, when it has one, with `colour`: call first in the paint event of a
// window shaped by shapeToRoundedRect.
void paintOpaqueBackdrop(QPainter &painter, const QWidget *window, const QColor &colour);

} // namespace Platform
