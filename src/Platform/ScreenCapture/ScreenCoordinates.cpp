#include "Platform/ScreenCapture/ScreenCoordinates.h"

#include <QGuiApplication>
#include <QScreen>

namespace Platform {

ScreenCoordinates::ScreenCoordinates(QList<Screen> screens) : m_screens(std::move(screens))
{
    if (!m_screens.isEmpty()) {
        const QRectF &first = m_screens.first().qtGeometry;
        m_originX = first.x();
        m_mainTop = first.y() + first.height();
    }
}

ScreenCoordinates ScreenCoordinates::fromQtScreens()
{
    QList<Screen> list;
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        list.append({QRectF(primary->geometry()), primary->devicePixelRatio()});
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != primary)
            list.append({QRectF(screen->geometry()), screen->devicePixelRatio()});
    return ScreenCoordinates(list);
}

QRectF ScreenCoordinates::toModel(const QRectF &qt) const
{
    return QRectF(qt.x() - m_originX, m_mainTop - (qt.y() + qt.height()), qt.width(), qt.height());
}

QRectF ScreenCoordinates::toQt(const QRectF &model) const
{
    return QRectF(model.x() + m_originX, m_mainTop - (model.y() + model.height()), model.width(), model.height());
}

QPointF ScreenCoordinates::toModel(const QPointF &qt) const
{
    return QPointF(qt.x() - m_originX, m_mainTop - qt.y());
}

QPointF ScreenCoordinates::toQt(const QPointF &model) const
{
    return QPointF(model.x() + m_originX, m_mainTop - model.y());
}

QRectF ScreenCoordinates::nativeGeometry(int index) const
{
    if (index < 0 || index >= m_screens.size())
        return {};
    const Screen &screen = m_screens.at(index);
    return QRectF(screen.qtGeometry.topLeft(), screen.qtGeometry.size() * screen.scale);
}

namespace {
bool holds(const QRectF &rect, const QPointF &p)
{
    return p.x() >= rect.left() && p.x() < rect.x() + rect.width() && p.y() >= rect.top() && p.y() < rect.y() + rect.height();
}
} // namespace

int ScreenCoordinates::screenForNative(const QPointF &native) const
{
    for (int i = 0; i < m_screens.size(); ++i)
        if (holds(nativeGeometry(i), native))
            return i;
    return m_screens.isEmpty() ? -1 : 0;
}

int ScreenCoordinates::screenForQt(const QPointF &qt) const
{
    for (int i = 0; i < m_screens.size(); ++i)
        if (holds(m_screens.at(i).qtGeometry, qt))
            return i;
    return m_screens.isEmpty() ? -1 : 0;
}

QPointF ScreenCoordinates::nativeToQt(const QPointF &native) const
{
    const int index = screenForNative(native);
    if (index < 0)
        return native;
    const Screen &screen = m_screens.at(index);
    const QPointF origin = screen.qtGeometry.topLeft();
    return origin + (native - origin) / screen.scale;
}

QRectF ScreenCoordinates::nativeToQt(const QRectF &native) const
{
    const int index = screenForNative(native.center());
    return index < 0 ? native : m_screens.at(index).toQt(native);
}

QRectF ScreenCoordinates::qtToNative(const QRectF &qt) const
{
    const int index = screenForQt(qt.center());
    return index < 0 ? qt : m_screens.at(index).toNative(qt);
}

QRectF ScreenCoordinates::Screen::toQt(const QRectF &native) const
{
    const QPointF origin = qtGeometry.topLeft();
    return QRectF(origin + (native.topLeft() - origin) / scale, native.size() / scale);
}

QRectF ScreenCoordinates::Screen::toNative(const QRectF &qt) const
{
    const QPointF origin = qtGeometry.topLeft();
    return QRectF(origin + (qt.topLeft() - origin) * scale, qt.size() * scale);
}

} // namespace Platform
