#include "TellumoRuntime/InMemoryKeyStore.h"

#include "Platform/Async/Awaitables.h"

namespace Tellumo {

AIKeyStore::~AIKeyStore() = default;

Platform::Task<void> InMemoryKeyStore::answer(const char *call)
{
    m_calls << QString::fromLatin1(call);
    co_await Platform::sleep(m_delay);
    if (m_failure)
        throw *m_failure;
}

Platform::Task<void> InMemoryKeyStore::write(QString key)
{
    auto self = shared_from_this();
    co_await answer("write");
    m_key = key;
}

Platform::Task<std::optional<QString>> InMemoryKeyStore::read()
{
    auto self = shared_from_this();
    const std::optional<QString> key = m_key;
    co_await answer("read");
    co_return key;
}

Platform::Task<void> InMemoryKeyStore::remove()
{
    auto self = shared_from_this();
    co_await answer("remove");
    m_key.reset();
}

} // namespace Tellumo
