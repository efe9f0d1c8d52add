#include "Platform/Pointer/PointerSource.h"

#include "Platform/Pointer/InProcessPointerSource.h"
#include "Platform/Pointer/X11PointerSource.h"

#include <QGuiApplication>

namespace Platform {

std::shared_ptr<PointerSource> PointerSource::forPlatform()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_shared<X11PointerSource>();
    return InProcessPointerSource::shared();
}

std::shared_ptr<InProcessPointerSource> InProcessPointerSource::shared()
{
    static const auto source = std::make_shared<InProcessPointerSource>();
    return source;
}

} // namespace Platform
