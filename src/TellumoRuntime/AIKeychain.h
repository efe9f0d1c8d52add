#pragma once
// The AI service's key store on this desktop: the Secret Service, and where none answers a
// private file (PrivateFileKeyStore::defaultPath(), 0600 in a 0700 folder).
//
//   write   to the Secret Service, and then removes a key the file still held; to the file
//           only when no Secret Service answers
//   read    the Secret Service's key; the file's when the service holds none or does not answer
//           (a key saved while no service answered stays usable)
//   remove  from both
//
// Any other failure of the Secret Service (timed out, refused, unreadable data) is reported as
// it is and never falls back, so a key is not written to a file while a keyring waits to be
// unlocked.

#include "TellumoRuntime/AIKeyStore.h"

#include <chrono>

namespace Tellumo {

class AIKeychain final : public AIKeyStore {
public:
    static constexpr const char *service = "app.tellumo.Tellumo.ai";
    static constexpr const char *account = "openai-compatible-key";

    // The Secret Service with the default timeout and the default file.
    AIKeychain();
    AIKeychain(std::shared_ptr<AIKeyStore> secretService, std::shared_ptr<AIKeyStore> fallback);

    // The store of this process. A verification run ("--verify" or "--ui-session" among the
    // arguments) never touches the user's key: it gets a private file in its evidence folder
    // (PrototypeVerification::evidenceFolder()), "tellumo-key/" plus the item's name, or a store
    // in memory when no evidence folder could be made.
    static std::shared_ptr<AIKeyStore> forProcess();

    Platform::Task<void> write(QString key) override;
    Platform::Task<std::optional<QString>> read() override;
    Platform::Task<void> remove() override;
    // The fallback's file after a write or a read that went to it; otherwise empty.
    QString keyFile() const override { return m_keyFile; }

private:
    std::shared_ptr<AIKeyStore> m_secretService;
    std::shared_ptr<AIKeyStore> m_fallback;
    QString m_keyFile;
};

} // namespace Tellumo
