#pragma once
// A key store that lives in memory: the double of tests and previews. It answers on the next
// turn of the event loop (or after a delay), a read with the key as it was when asked; it
// records what it was asked and can be told to fail.

#include "TellumoRuntime/AIKeyStore.h"

#include <QStringList>

#include <chrono>

namespace Tellumo {

class InMemoryKeyStore final : public AIKeyStore {
public:
    explicit InMemoryKeyStore(std::optional<QString> key = std::nullopt) : m_key(std::move(key)) {}

    const std::optional<QString> &key() const { return m_key; }
    void setKey(std::optional<QString> key) { m_key = std::move(key); }

    // Every later operation fails with `error` until this is called with nothing.
    void setFailure(std::optional<AIKeychainError> error) { m_failure = std::move(error); }
    // How long each later operation takes before it answers (none: the next turn of the loop).
    void setDelay(std::chrono::milliseconds delay) { m_delay = delay; }
    // "write", "read" and "remove", in the order asked.
    const QStringList &calls() const { return m_calls; }

    Platform::Task<void> write(QString key) override;
    Platform::Task<std::optional<QString>> read() override;
    Platform::Task<void> remove() override;

private:
    Platform::Task<void> answer(const char *call);

    std::optional<QString> m_key;
    std::optional<AIKeychainError> m_failure;
    std::chrono::milliseconds m_delay{0};
    QStringList m_calls;
};

} // namespace Tellumo
