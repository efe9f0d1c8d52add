#include "Platform/HotKeys/InProcessHotKeyService.h"

#include <QMetaObject>
#include <QPointer>

namespace Platform {

InProcessHotKeyService::InProcessHotKeyService(bool available, QObject *parent) : HotKeyService(parent), m_available(available)
{
}

HotKeyRegistration InProcessHotKeyService::registerHotKey(HotKeyChord chord, HotKeyIdentity identity)
{
    if (!m_available)
        return {HotKeyStatus::unavailable, 0};
    if (m_registry.holds(chord) || m_elsewhere.contains(chord))
        return {HotKeyStatus::occupied, 0};
    return {HotKeyStatus::registered, m_registry.add(chord, identity)};
}

void InProcessHotKeyService::unregisterHotKey(std::uint64_t reference)
{
    m_registry.remove(reference);
}

bool InProcessHotKeyService::press(HotKeyChord chord)
{
    const std::optional<HotKeyIdentity> identity = m_registry.identityOf(chord);
    if (!identity)
        return false;
    QPointer<InProcessHotKeyService> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, id = *identity] {
            if (self)
                Q_EMIT self->hotKeyPressed(id);
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace Platform
