#include "Kivaro/controls/internal/KivaroTitlebar.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/controls/internal/WindowControlButton.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeDrawing.h"
#include "NativeAppAppearance/NativeFonts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

using namespace NativeAppAppearance;

namespace Kivaro {

KivaroTitlebar::KivaroTitlebar(KivaroWindow *window) : QWidget(window)
{
    struct Spec {
        WindowControlButton::Kind kind;
        int x;
        DynamicColor color;
        QString label;
    };
    const Spec specs[] = {
        {WindowControlButton::Kind::close, 12, DynamicColor::systemRed, kivaroCopy("关闭窗口")},
        {WindowControlButton::Kind::miniaturize, 36, DynamicColor::systemYellow, kivaroCopy("最小化")},
        {WindowControlButton::Kind::zoom, 60, DynamicColor::systemGreen, kivaroCopy("缩放窗口")},
    };
    for (const Spec &spec : specs) {
        auto *button = new WindowControlButton(spec.kind, spec.color, window, this);
        button->setGeometry(spec.x, 6, 20, 20);
        button->setAccessibleName(spec.label);
        button->setToolTip(spec.label);
        m_buttons << button;
    }
}

QRectF KivaroTitlebar::titleRect(qreal width)
{
    return {100, 6, qMax<qreal>(0, width - 200), 18};
}

void KivaroTitlebar::paint(QPainter &painter, const QSizeF &size, const QString &title, Appearance appearance)
{
    painter.fillRect(QRectF(QPointF(0, 0), size), resolve(DynamicColor::windowBackground, appearance));
    NativeDrawing::drawText(painter, title, titleRect(size.width()), NativeFonts::system(13, QFont::Medium),
                            resolve(DynamicColor::label, appearance), Qt::AlignHCenter, Qt::ElideMiddle);
}

QString KivaroTitlebar::shownTitle(const QWidget *window)
{
    QString title = window->windowTitle();
    return title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
}

void KivaroTitlebar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, size(), window() ? shownTitle(window()) : QString(), AppearanceManager::shared().effectiveAppearance(this));
}

void KivaroTitlebar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    QWindow *handle = window()->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    m_manualDrag = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void KivaroTitlebar::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_manualDrag) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    window()->move(event->globalPosition().toPoint() - *m_manualDrag);
    event->accept();
}

void KivaroTitlebar::mouseReleaseEvent(QMouseEvent *event)
{
    m_manualDrag.reset();
    QWidget::mouseReleaseEvent(event);
}

} // namespace Kivaro
