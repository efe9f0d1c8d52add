#pragma once
// A hot-key service without a window system: registrations are kept in the process, chords can
// be marked as taken by "another application", and presses are scripted.

#include "Platform/HotKeys/HotKeyRegistry.h"
#include "Platform/HotKeys/HotKeyService.h"

namespace Platform {

class InProcessHotKeyService final : public HotKeyService {
    Q_OBJECT
public:
    explicit InProcessHotKeyService(bool available = true, QObject *parent = nullptr);

    void setAvailable(bool available) { m_available = available; }
    // Marks a chord as held by another application: registering it is refused.
    void occupyElsewhere(HotKeyChord chord) { m_elsewhere.append(chord); }
    void releaseElsewhere(HotKeyChord chord) { m_elsewhere.removeAll(chord); }

    // A press of `chord`: when this process holds it, hotKeyPressed follows from the event
    // loop. Returns whether a registration matched.
    bool press(HotKeyChord chord);
    QList<HotKeyChord> registeredChords() const { return m_registry.chords(); }

    bool isAvailable() const override { return m_available; }
    HotKeyRegistration registerHotKey(HotKeyChord chord, HotKeyIdentity identity) override;
    void unregisterHotKey(std::uint64_t reference) override;

private:
    bool m_available;
    HotKeyRegistry m_registry;
    QList<HotKeyChord> m_elsewhere;
};

} // namespace Platform
