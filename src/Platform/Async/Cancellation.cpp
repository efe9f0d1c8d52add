#include "Platform/Async/Cancellation.h"

namespace Platform {

const char *CancellationError::what() const noexcept
{
    return "cancelled";
}

bool isCancellation(const std::exception_ptr &error)
{
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError &) {
        return true;
    } catch (...) {
        return false;
    }
}

void CancellationToken::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    // A waker may resume work that registers or removes other wakers; take them out first.
    auto wakers = std::move(m_wakers);
    m_wakers.clear();
    for (auto &[id, waker] : wakers)
        waker();
}

void CancellationToken::checkCancellation() const
{
    if (m_cancelled)
        throw CancellationError();
}

CancellationToken::WakerId CancellationToken::addWaker(std::function<void()> waker)
{
    if (m_cancelled)
        return 0;
    const WakerId id = m_next++;
    m_wakers.emplace(id, std::move(waker));
    return id;
}

void CancellationToken::removeWaker(WakerId id)
{
    m_wakers.erase(id);
}

} // namespace Platform
