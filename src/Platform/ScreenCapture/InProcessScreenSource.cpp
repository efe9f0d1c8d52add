#include "Platform/ScreenCapture/InProcessScreenSource.h"

namespace Platform {

QList<CaptureScreen> InProcessScreenSource::screens() const
{
    QList<CaptureScreen> result;
    for (const Screen &entry : m_screens)
        result.append(entry.screen);
    return result;
}

ScreenCoordinates InProcessScreenSource::coordinates() const
{
    // Model frames are given; lay the Qt desktop out so that the first screen sits at (0, 0).
    QList<ScreenCoordinates::Screen> list;
    if (m_screens.isEmpty())
        return ScreenCoordinates(list);
    const QRectF first = m_screens.first().screen.frame;
    for (const Screen &entry : m_screens) {
        const QRectF frame = entry.screen.frame;
        const double qtY = (first.y() + first.height()) - (frame.y() + frame.height());
        list.append({QRectF(frame.x() - first.x(), qtY, frame.width(), frame.height()), entry.screen.backingScale});
    }
    return ScreenCoordinates(list);
}

QList<ShareableWindow> InProcessScreenSource::windows()
{
    ++m_windowListCount;
    return m_windows;
}

QImage InProcessScreenSource::freeze(const CaptureScreen &screen)
{
    ++m_freezeCount;
    for (const Screen &entry : m_screens)
        if (entry.screen == screen) {
            if (entry.unreadable)
                throw ScreenCaptureError(screen.name);
            return entry.image;
        }
    return {};
}

QImage InProcessScreenSource::windowImage(const ShareableWindow &window, double scale, const QList<FrozenScreen> &frozen)
{
    m_windowImageRequests.append({window.windowID, scale});
    const auto found = m_windowImages.constFind(window.windowID);
    if (found != m_windowImages.cend()) {
        const QSize size = windowPixelSize(window.frame, scale);
        if (size.isEmpty())
            return {};
        if (found->size() == size)
            return *found;
        return found->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return cutFromFrozenScreens(window.frame, scale, frozen);
}

bool InProcessScreenSource::grabInput(QWindow *)
{
    m_grabbed = m_grabSucceeds;
    return m_grabSucceeds;
}

} // namespace Platform
