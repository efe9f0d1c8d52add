#pragma once
// The key in the desktop's Secret Service (GNOME Keyring, KWallet, ...) through libsecret: one
// item in the default collection with the attributes service "app.tellumo.Tellumo.ai" and
// account "openai-compatible-key", its secret the key's UTF-8 text. Storing replaces an item
// with those attributes.
//
// Only libsecret's asynchronous calls are used, so the event loop keeps running while a keyring
// asks the user to unlock it; a call that has not answered within the timeout is cancelled and
// fails as `timedOut`. Where no Secret Service answers at all (no session bus, no service on it)
// the operations fail as `unavailable`, which AIKeychain turns into the file fallback.
//
// libsecret answers through GLib's main context; Qt runs it on the main thread when its event
// dispatcher is GLib's, and otherwise this store turns the context itself while it waits.

#include "TellumoRuntime/AIKeyStore.h"

#include <chrono>

namespace Tellumo {

class SecretServiceKeyStore final : public AIKeyStore {
public:
    explicit SecretServiceKeyStore(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    std::chrono::milliseconds timeout() const { return m_timeout; }

    Platform::Task<void> write(QString key) override;
    Platform::Task<std::optional<QString>> read() override;
    Platform::Task<void> remove() override;

private:
    std::chrono::milliseconds m_timeout;
};

} // namespace Tellumo
