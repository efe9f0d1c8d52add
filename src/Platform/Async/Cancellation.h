#pragma once
// Cooperative cancellation shared by a started task and every task it awaits inline.
//
// `cancel()` marks the token and wakes every registered waiter once. Waiters are the
// suspended awaitables (sleep, signal, future, ...): each registers a waker while it is
// suspended and removes it when it resumes, so a waker never outlives its wait.

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>

namespace Platform {

// The one error a cancelled wait throws. Code that catches it should let it go on
// unwinding, or end quietly.
class CancellationError final : public std::exception {
public:
    const char *what() const noexcept override;
};

// True when `error` holds a CancellationError.
bool isCancellation(const std::exception_ptr &error);

class CancellationToken final {
public:
    using WakerId = std::uint64_t;

    bool isCancelled() const { return m_cancelled; }
    // Marks the token and calls every registered waker once. Idempotent.
    void cancel();
    // Throws CancellationError when the token is cancelled.
    void checkCancellation() const;

    // Registers a waker called at most once, on cancellation. When the token is
    // cancelled already, the waker is not stored and 0 is returned: the caller must
    // look at isCancelled() before suspending.
    WakerId addWaker(std::function<void()> waker);
    void removeWaker(WakerId id);

private:
    bool m_cancelled = false;
    WakerId m_next = 1;
    std::map<WakerId, std::function<void()>> m_wakers;
};

using CancellationTokenPtr = std::shared_ptr<CancellationToken>;

} // namespace Platform
