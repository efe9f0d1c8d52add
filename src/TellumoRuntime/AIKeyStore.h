#pragma once
// Where the AI service's one API key is kept: an interface with the desktop's key store as its
// real backend (AIKeychain), a private file where no key store answers (PrivateFileKeyStore),
// and an in-memory double for tests (InMemoryKeyStore).
//
// Every operation is a cancellable task on the main thread; a store never blocks the event loop
// while it waits for a key store that may be asking the user to unlock it. Failures are
// AIKeychainError, whose description is a full sentence for the user and never holds the key.
//
// Stores are shared (std::shared_ptr): a running operation keeps its store alive.

#include "Platform/Async/Task.h"

#include <QString>

#include <exception>
#include <memory>
#include <optional>

namespace Tellumo {

class AIKeychainError final : public std::exception {
public:
    enum class Code {
        unavailable,  // no key store answers on this desktop
        timedOut,     // the key store did not answer in time (a locked keyring waiting to be unlocked)
        refused,      // the key store refused: still locked, unlocking dismissed, or access denied
        invalidData,  // the stored key is not UTF-8 text
        failed,       // any other failure of the key store or of the key file
    };

    AIKeychainError(Code code, QString description)
        : m_code(code), m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }

    Code code() const { return m_code; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    Code m_code;
    QString m_description;
    QByteArray m_utf8;
};

class AIKeyStore : public std::enable_shared_from_this<AIKeyStore> {
public:
    virtual ~AIKeyStore();

    // Stores `key` (trimmed by the caller, never empty), replacing a stored one.
    virtual Platform::Task<void> write(QString key) = 0;
    // The stored key exactly as stored, or nothing when none is stored.
    virtual Platform::Task<std::optional<QString>> read() = 0;
    // Deletes the stored key; finding none is success.
    virtual Platform::Task<void> remove() = 0;

    // The private file that holds the key this store last stored or found; empty when that key
    // is in the desktop's key store, or when nothing was stored or found yet.
    virtual QString keyFile() const { return {}; }
};

} // namespace Tellumo
