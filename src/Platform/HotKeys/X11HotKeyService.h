#pragma once
// Global hot keys on an X display: a passive grab (xcb_grab_key) on the root window for each
// X key code of the chord's key, once for each combination of the lock modifiers (Caps Lock,
// Num Lock) so that the chord works whatever the lock keys' state. A grab another client holds
// comes back as BadAccess; the grab requests are checked before registerHotKey returns, so the
// refusal is known at once and nothing half-registered stays behind.
//
// The service talks to the server over its own connection, read by a QSocketNotifier on the
// main thread. Not Qt's connection with a native event filter: grab errors on Qt's connection
// reach Qt's error handler (which logs them) and could not be matched to the request reliably,
// the grabs vanish with the connection when the service goes, and the service keeps working
// whichever platform plugin Qt runs on.

#include "Platform/HotKeys/HotKeyService.h"

#include <memory>

namespace Platform {

class X11HotKeyService final : public HotKeyService {
    Q_OBJECT
public:
    explicit X11HotKeyService(QObject *parent = nullptr);
    ~X11HotKeyService() override;

    bool isAvailable() const override;
    HotKeyRegistration registerHotKey(HotKeyChord chord, HotKeyIdentity identity) override;
    void unregisterHotKey(std::uint64_t reference) override;

private:
    void readEvents();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Platform
