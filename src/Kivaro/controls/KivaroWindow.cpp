#include "Kivaro/controls/KivaroWindow.h"

#include "Kivaro/controls/internal/KivaroTitlebar.h"
#include "Kivaro/controls/internal/WindowOutline.h"
#include "Kivaro/controls/internal/WindowResizeGrip.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "Platform/Windows/WindowActivation.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroWindow::KivaroWindow(const QRect &contentRect, StyleMask styleMask, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_styleMask(styleMask)
{
    AppearanceManager::shared().adoptPalette(this);
    m_outline = new WindowOutline(this);
    for (Qt::Edges edges : {Qt::Edges(Qt::TopEdge), Qt::Edges(Qt::BottomEdge), Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge),
                            Qt::TopEdge | Qt::LeftEdge, Qt::TopEdge | Qt::RightEdge, Qt::BottomEdge | Qt::LeftEdge,
                            Qt::BottomEdge | Qt::RightEdge})
        m_grips << new WindowResizeGrip(edges, this);
    setGeometry(contentRect.x(), contentRect.y(), contentRect.width(), contentRect.height() + contentTop());
    updateGrips();
}

void KivaroWindow::setTitle(const QString &title)
{
    setWindowTitle(title);
    if (m_chrome)
        m_chrome->update();
}

void KivaroWindow::setStyleMask(StyleMask styleMask)
{
    if (m_styleMask == styleMask)
        return;
    const QSize content = contentSize();
    m_styleMask = styleMask;
    resize(content.width(), content.height() + contentTop());
    updateGrips();
    layoutChildren();
    update();
}

void KivaroWindow::setContentView(QWidget *view)
{
    if (m_content == view)
        return;
    if (m_content) {
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = view;
    if (view) {
        view->setParent(this);
        view->show();
    }
    layoutChildren();
}

QSize KivaroWindow::contentSize() const
{
    return {width(), qMax(0, height() - contentTop())};
}

void KivaroWindow::setContentSize(const QSize &size)
{
    resize(size.width(), size.height() + contentTop());
}

void KivaroWindow::setContentMinSize(const QSize &size)
{
    setMinimumSize(size.width(), size.height() + contentTop());
}

void KivaroWindow::center()
{
    QScreen *target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target)
        return;
    const QRect area = target->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void KivaroWindow::installChrome()
{
    if (!m_styleMask.testFlag(Titled))
        return;
    if (m_chrome) {
        // Taken out of the window at once, so the window never holds two bars.
        m_chrome->hide();
        m_chrome->setParent(nullptr);
        m_chrome->deleteLater();
    }
    auto *bar = new KivaroTitlebar(this);
    bar->setGeometry(0, 0, width(), titleBarHeight);
    bar->show();
    m_chrome = bar;
    layoutChildren();
}

void KivaroWindow::makeKeyAndOrderFront()
{
    // Through the window manager as the user's own request when it refuses the toolkit's: a
    // window minimised or on another desktop comes back to the user.
    Platform::bringForward(this);
    installChrome();
}

void KivaroWindow::performClose()
{
    close();
}

void KivaroWindow::performMiniaturize()
{
    showMinimized();
}

void KivaroWindow::performZoom()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void KivaroWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), AppearanceManager::shared().color(DynamicColor::windowBackground, this));
}

void KivaroWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void KivaroWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ModifiedChange && m_chrome)
        m_chrome->update();
    if (event->type() == QEvent::WindowStateChange) {
        updateGrips();
        layoutChildren();
    }
}

void KivaroWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !(event->modifiers() & ~Qt::KeypadModifier) && m_styleMask.testFlag(Closable)) {
        performClose();
        return;
    }
    QWidget::keyPressEvent(event);
}

void KivaroWindow::updateGrips()
{
    const bool resizable = m_styleMask.testFlag(Resizable) && !isMaximized() && !isFullScreen();
    for (QWidget *grip : std::as_const(m_grips))
        grip->setVisible(resizable);
}

void KivaroWindow::layoutChildren()
{
    if (m_content)
        m_content->setGeometry(0, contentTop(), width(), qMax(0, height() - contentTop()));
    if (m_chrome) {
        m_chrome->setGeometry(0, 0, width(), titleBarHeight);
        m_chrome->raise();
    }
    for (QWidget *grip : std::as_const(m_grips)) {
        static_cast<WindowResizeGrip *>(grip)->place();
        grip->raise();
    }
    m_outline->setGeometry(rect());
    m_outline->setVisible(!isMaximized() && !isFullScreen());
    m_outline->raise();
}

} // namespace Kivaro
