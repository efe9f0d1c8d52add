#include "Kivaro/shell/capture/CaptureOverlayWindow.h"

#include "Kivaro/shell/capture/CaptureSelectionView.h"

namespace Kivaro {

CaptureOverlayWindow::CaptureOverlayWindow(CaptureSelectionView *view, QRectF frame, QRect qtGeometry)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint),
      m_view(view), m_frame(frame)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_view->setParent(this);
    setGeometry(qtGeometry);
    m_view->setGeometry(rect());
    setFocusProxy(m_view);
}

void CaptureOverlayWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (closed)
        closed();
}

void CaptureOverlayWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
}

} // namespace Kivaro
