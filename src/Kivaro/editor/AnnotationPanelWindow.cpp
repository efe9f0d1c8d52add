#include "Kivaro/editor/AnnotationPanelWindow.h"

#include <QCloseEvent>

namespace Kivaro {

AnnotationPanelWindow::AnnotationPanelWindow() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
}

void AnnotationPanelWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (const std::function<void()> call = closeRequest)
        call();
}

} // namespace Kivaro
