#include "Platform/HotKeys/HotKeyService.h"

#include "Platform/HotKeys/InProcessHotKeyService.h"
#include "Platform/HotKeys/X11HotKeyService.h"

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
