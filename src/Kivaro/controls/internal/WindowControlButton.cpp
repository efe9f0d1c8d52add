#include "Kivaro/controls/internal/WindowControlButton.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "NativeAppAppearance/NativeDrawing.h"

#include <QPainter>

using namespace NativeAppAppearance;

namespace Kivaro {

WindowControlButton::WindowControlButton(Kind kind, DynamicColor color, KivaroWindow *window, QWidget *parent)
    : KivaroButton(parent), m_kind(kind), m_color(color), m_window(window)
{
    setFocusPolicy(Qt::NoFocus);
    setEnabled(isLive());
    connect(this, &QAbstractButton::clicked, this, &WindowControlButton::invoke);
}

bool WindowControlButton::isLive() const
{
    if (m_kind == Kind::close)
        return true;
    if (!m_window)
        return false;
    const auto mask = m_window->styleMask();
    return m_kind == Kind::miniaturize ? mask.testFlag(KivaroWindow::Miniaturizable) : mask.testFlag(KivaroWindow::Resizable);
}

void WindowControlButton::invoke()
{
    if (!m_window || !isLive())
        return;
    switch (m_kind) {
    case Kind::close: m_window->performClose(); break;
    case Kind::miniaturize: m_window->performMiniaturize(); break;
    case Kind::zoom: m_window->performZoom(); break;
    }
}

void WindowControlButton::paint(QPainter &painter, Kind kind, const QColor &disc, bool live, bool pressed, Appearance appearance)
{
    const QRectF circle(3, 3, 14, 14);
    NativeDrawing::fillEllipse(painter, circle, live ? disc : withAlpha(resolve(DynamicColor::secondaryLabel, appearance), 0.18));
    if (pressed)
        NativeDrawing::fillEllipse(painter, circle, withAlpha(Qt::black, 0.15));
    if (!live)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withAlpha(Qt::black, 0.5), 1.2, Qt::SolidLine, Qt::RoundCap));
    switch (kind) {
    case Kind::close:
        painter.drawLine(QPointF(7, 7), QPointF(13, 13));
        painter.drawLine(QPointF(7, 13), QPointF(13, 7));
        break;
    case Kind::miniaturize:
        painter.drawLine(QPointF(6, 10), QPointF(14, 10));
        break;
    case Kind::zoom:
        painter.drawLine(QPointF(6, 10), QPointF(14, 10));
        painter.drawLine(QPointF(10, 6), QPointF(10, 14));
        break;
    }
    painter.restore();
}

void WindowControlButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const Appearance appearance = effectiveAppearance();
    paint(painter, m_kind, resolve(m_color, appearance), isLive(), isDown(), appearance);
}

} // namespace Kivaro
