#include "Kivaro/controls/internal/WindowResizeGrip.h"

#include <QMouseEvent>
#include <QWindow>

namespace Kivaro {

WindowResizeGrip::WindowResizeGrip(Qt::Edges edges, QWidget *window) : QWidget(window), m_edges(edges)
{
    setAttribute(Qt::WA_NoSystemBackground);
    const bool horizontal = edges.testFlag(Qt::LeftEdge) || edges.testFlag(Qt::RightEdge);
    const bool vertical = edges.testFlag(Qt::TopEdge) || edges.testFlag(Qt::BottomEdge);
    if (horizontal && vertical)
        setCursor((edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge)) ? Qt::SizeFDiagCursor
                                                                                                      : Qt::SizeBDiagCursor);
    else
        setCursor(horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
}

QRect WindowResizeGrip::stripRect(Qt::Edges edges, const QSize &window)
{
    const int w = window.width();
    const int h = window.height();
    const bool left = edges.testFlag(Qt::LeftEdge), right = edges.testFlag(Qt::RightEdge);
    const bool top = edges.testFlag(Qt::TopEdge), bottom = edges.testFlag(Qt::BottomEdge);
    if ((left || right) && (top || bottom))
        return {left ? 0 : w - corner, top ? 0 : h - corner, corner, corner};
    if (left || right)
        return {left ? 0 : w - thickness, corner, thickness, qMax(0, h - 2 * corner)};
    return {corner, top ? 0 : h - thickness, qMax(0, w - 2 * corner), thickness};
}

void WindowResizeGrip::place()
{
    if (parentWidget())
        setGeometry(stripRect(m_edges, parentWidget()->size()));
    // Corner grips are squares; only their outer band reacts, so the window buttons stay usable.
    if ((m_edges.testFlag(Qt::LeftEdge) || m_edges.testFlag(Qt::RightEdge))
        && (m_edges.testFlag(Qt::TopEdge) || m_edges.testFlag(Qt::BottomEdge))) {
        const int inner = corner - thickness;
        const QRect band = rect();
        QRegion region(band);
        region -= QRect(m_edges.testFlag(Qt::LeftEdge) ? thickness : 0, m_edges.testFlag(Qt::TopEdge) ? thickness : 0, inner, inner);
        setMask(region);
    }
}

void WindowResizeGrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !window()->windowHandle()) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    window()->windowHandle()->startSystemResize(m_edges);
}

} // namespace Kivaro
