#include "Platform/HotKeys/HotKeyService.h"

#include "Platform/HotKeys/InProcessHotKeyService.h"
#include "Platform/HotKeys/X11HotKeyService.h"

#include <QCoreApplication>

namespace Platform {

namespace {
std::shared_ptr<HotKeyService> &sharedSlot()
{
    static std::shared_ptr<HotKeyService> service;
    return service;
}
} // namespace

HotKeyService::~HotKeyService() = default;

std::shared_ptr<HotKeyService> HotKeyService::shared()
{
    auto &slot = sharedSlot();
    if (!slot) {
        // Gone with the application object, while its event dispatcher still exists.
        static const bool cleanup = [] {
            qAddPostRoutine([] { sharedSlot().reset(); });
            return true;
        }();
        Q_UNUSED(cleanup);
        auto x11 = std::make_shared<X11HotKeyService>();
        if (x11->isAvailable())
            slot = x11;
        else
            slot = std::make_shared<InProcessHotKeyService>(false);
    }
    return slot;
}

void HotKeyService::setShared(std::shared_ptr<HotKeyService> service)
{
    sharedSlot() = std::move(service);
}

} // namespace Platform
