#include "TellumoRuntime/AIKeychain.h"

#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/PrivateFileKeyStore.h"
#include "TellumoRuntime/SecretServiceKeyStore.h"

#include "KivaroCore/EvidenceFolder.h"

#include <QDir>

namespace Tellumo {

namespace {

bool unavailable(const AIKeychainError &error)
{
    return error.code() == AIKeychainError::Code::unavailable;
}

} // namespace

AIKeychain::AIKeychain()
    : AIKeychain(std::make_shared<SecretServiceKeyStore>(), std::make_shared<PrivateFileKeyStore>(PrivateFileKeyStore::defaultPath()))
{
}

AIKeychain::AIKeychain(std::shared_ptr<AIKeyStore> secretService, std::shared_ptr<AIKeyStore> fallback)
    : m_secretService(std::move(secretService)), m_fallback(std::move(fallback))
{
}

std::shared_ptr<AIKeyStore> AIKeychain::forProcess()
{
    using namespace Kivaro::PrototypeVerification;
    if (isVerificationRun()) {
        if (const auto evidence = evidenceFolder())
            return std::make_shared<PrivateFileKeyStore>(QDir(*evidence).filePath(QStringLiteral("tellumo-key/") + QLatin1String(service) + u'.'
                                                                                  + QLatin1String(account)));
        return std::make_shared<InMemoryKeyStore>(); // nowhere to keep it, and never the user's store
    }
    return std::make_shared<AIKeychain>();
}

Platform::Task<void> AIKeychain::write(QString key)
{
    auto self = shared_from_this();
    bool stored = false;
    try {
        co_await m_secretService->write(key);
        stored = true;
    } catch (const AIKeychainError &error) {
        if (!unavailable(error))
            throw;
    }
    if (!stored) {
        co_await m_fallback->write(key);
        m_keyFile = m_fallback->keyFile();
        co_return;
    }
    m_keyFile.clear();
    // A key kept in the file while no Secret Service answered is stale now.
    try {
        co_await m_fallback->remove();
    } catch (const AIKeychainError &) {
        // The Secret Service's key is found first; a stale file cannot shadow it.
    }
}

Platform::Task<std::optional<QString>> AIKeychain::read()
{
    auto self = shared_from_this();
    std::optional<QString> key;
    try {
        key = co_await m_secretService->read();
    } catch (const AIKeychainError &error) {
        if (!unavailable(error))
            throw;
    }
    if (key) {
        m_keyFile.clear();
        co_return key;
    }
    key = co_await m_fallback->read();
    m_keyFile = key ? m_fallback->keyFile() : QString();
    co_return key;
}

Platform::Task<void> AIKeychain::remove()
{
    auto self = shared_from_this();
    try {
        co_await m_secretService->remove();
    } catch (const AIKeychainError &error) {
        if (!unavailable(error))
            throw;
    }
    co_await m_fallback->remove();
    m_keyFile.clear();
}

} // namespace Tellumo
