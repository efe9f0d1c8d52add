#include "Platform/Windows/WindowShape.h"

#include "Platform/Windows/internal/X11Connection.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QWidget>

#include <cstdlib>
#include <string>

namespace Platform {

bool hasCompositingManager(const QWidget *window)
{
    xcb_connection_t *connection = detail::x11Connection();
    if (!connection)
        return false;
    // The X screen's number is the index of the window's root among the server's roots (Qt
    // gives each monitor its own QScreen, which says nothing of X screens).
    int screen = 0;
    if (window && window->internalWinId()) {
        xcb_get_geometry_reply_t *geometry =
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, xcb_window_t(window->internalWinId())), nullptr);
        if (geometry) {
            int index = 0;
            for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection)); roots.rem; xcb_screen_next(&roots), ++index)
                if (roots.data->root == geometry->root)
                    screen = index;
            std::free(geometry);
        }
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    const xcb_atom_t selection = detail::internAtom(connection, name.c_str());
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

QRegion roundedRegion(const QSize &size, qreal radius)
{
    if (size.isEmpty())
        return {};
    // The shape's coverage of each pixel, then the runs of each row covered at least half.
    QImage coverage(size, QImage::Format_Alpha8);
    coverage.fill(0);
    {
        QPainter painter(&coverage);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), radius, radius);
        painter.fillPath(path, Qt::black);
    }
    QRegion region;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *row = coverage.constScanLine(y);
        int x = 0;
        while (x < size.width()) {
            while (x < size.width() && row[x] < 128)
                ++x;
            const int start = x;
            while (x < size.width() && row[x] >= 128)
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

void shapeToRoundedRect(QWidget *window, qreal radius)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        return;
    if (hasCompositingManager(window))
        window->clearMask();
    else
        window->setMask(roundedRegion(window->size(), radius));
}

void paintOpaqueBackdrop(QPainter &painter, const QWidget *window, const QColor &colour)
{
    const QRegion mask = window->mask();
    if (mask.isEmpty())
        return;
    painter.save();
    painter.setClipRegion(mask);
    painter.fillRect(window->rect(), colour);
    painter.restore();
}

} // namespace Platform
