#include "Kivaro/editor/AnnotationPanelWindow.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Windows/WindowShape.h"

#include <QCloseEvent>
#include <QPainter>

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

void AnnotationPanelWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Platform::paintOpaqueBackdrop(painter, this,
                                  NativeAppAppearance::AppearanceManager::shared().color(NativeAppAppearance::DynamicColor::windowBackground, this));
}

} // namespace Kivaro
