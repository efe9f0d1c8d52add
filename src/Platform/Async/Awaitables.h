#pragma once
// The waits a task can suspend in. Each is cancellable through the awaiting task's token and
// resumes exactly once from the event loop.
//
//   co_await Platform::sleep(180ms);                 // throws CancellationError when cancelled
//   co_await Platform::checkCancellation();          // throws when the task is cancelled
//   auto [ok] = co_await Platform::signal(obj, &Obj::done, [&] { obj->abort(); });
//   auto value = co_await Platform::future(QtConcurrent::run(work, copy));
//
// GCC 12 destroys a temporary lambda written inside a co_await expression twice. An `abort`
// whose captures have destructors (QPointer, shared_ptr, QString) must therefore be passed to
// an awaiter built as a named local first:
//   auto finished = Platform::signal(obj, &Obj::done, [guard] { ... });
//   co_await finished;
//
// Awaited Qt objects are never deleted by these waits. On cancellation the `abort` callback
// runs (stop, abort, close); the caller deletes the object afterwards with deleteLater.

#include "Platform/Async/Task.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <tuple>

namespace Platform {

// ---- sleep -------------------------------------------------------------------------------

class SleepAwaiter final {
public:
    explicit SleepAwaiter(std::chrono::milliseconds duration) : m_duration(duration) {}

    bool await_ready() const noexcept { return false; }
    template <typename P>
    bool await_suspend(std::coroutine_handle<P> h)
    {
        return suspend(h, detail::tokenOf(h));
    }
    void await_resume();

private:
    bool suspend(std::coroutine_handle<> h, CancellationTokenPtr token);

    std::chrono::milliseconds m_duration;
    std::shared_ptr<detail::Suspension> m_suspension = std::make_shared<detail::Suspension>();
    std::unique_ptr<QTimer> m_timer;
};

// Suspends for `duration` (a zero duration still goes once through the event loop).
inline SleepAwaiter sleep(std::chrono::milliseconds duration)
{
    return SleepAwaiter(duration);
}
inline SleepAwaiter sleepSeconds(double seconds)
{
    return SleepAwaiter(std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5)));
}

// ---- the current task's token ------------------------------------------------------------

struct TokenAwaiter {
    CancellationTokenPtr token;
    bool await_ready() const noexcept { return false; }
    template <typename P>
    bool await_suspend(std::coroutine_handle<P> h)
    {
        token = detail::tokenOf(h);
        return false; // never suspends
    }
    CancellationTokenPtr await_resume() const { return token; }
};

// The awaiting task's cancellation token (never suspends).
inline TokenAwaiter currentToken()
{
    return {};
}

struct CheckCancellationAwaiter : TokenAwaiter {
    void await_resume() const { token->checkCancellation(); }
};

// Throws CancellationError when the awaiting task is cancelled (never suspends).
inline CheckCancellationAwaiter checkCancellation()
{
    return {};
}

// ---- yield -------------------------------------------------------------------------------

// Lets the event loop run once. Does not throw on cancellation.
struct YieldAwaiter {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) const { detail::post([h] { h.resume(); }); }
    void await_resume() const noexcept {}
};
inline YieldAwaiter yieldToEventLoop()
{
    return {};
}

// ---- Qt signals --------------------------------------------------------------------------

namespace detail {
template <typename... Args>
struct SignalResult {
    using type = std::tuple<std::decay_t<Args>...>;
};
template <typename A>
struct SignalResult<A> {
    using type = std::decay_t<A>;
};
template <>
struct SignalResult<> {
    using type = void;
};
} // namespace detail

// Waits for the next emission of `signal` by `sender`. Returns nothing for a signal without
// arguments, the argument for one argument, a tuple otherwise. When the task is cancelled,
// `abort` runs and the wait throws CancellationError; when `sender` is destroyed while awaited
// the wait throws CancellationError too (the task ends quietly), without running `abort`: the
// sender is half destroyed by then.
template <typename Sender, typename Base, typename... Args>
class SignalAwaiter final {
public:
    using Result = typename detail::SignalResult<Args...>::type;
    using Stored = std::tuple<std::decay_t<Args>...>;

    SignalAwaiter(Sender *sender, void (Base::*signal)(Args...), std::function<void()> abort)
        : m_sender(sender), m_signal(signal), m_abort(std::move(abort))
    {
    }

    bool await_ready() const noexcept { return false; }
    template <typename P>
    bool await_suspend(std::coroutine_handle<P> h)
    {
        if (!m_sender) {
            m_gone = true;
            return false;
        }
        if (!m_suspension->arm(h, detail::tokenOf(h), m_abort))
            return false;
        m_context = std::make_unique<QObject>();
        std::weak_ptr<detail::Suspension> weak = m_suspension;
        auto stored = m_stored;
        QObject::connect(m_sender.data(), m_signal, m_context.get(), [weak, stored](Args... args) {
            auto s = weak.lock();
            if (!s || s->isDone())
                return;
            stored->emplace(args...);
            s->resume();
        });
        QObject::connect(m_sender.data(), &QObject::destroyed, m_context.get(), [weak] {
            if (auto s = weak.lock())
                s->resumeAbandoned();
        });
        return true;
    }
    Result await_resume()
    {
        m_context.reset();
        if (m_gone || m_suspension->wasCancelled() || !m_stored->has_value())
            throw CancellationError();
        if constexpr (sizeof...(Args) == 1)
            return std::get<0>(std::move(**m_stored));
        else if constexpr (sizeof...(Args) > 1)
            return std::move(**m_stored);
    }

private:
    QPointer<Sender> m_sender;
    void (Base::*m_signal)(Args...);
    std::function<void()> m_abort;
    std::shared_ptr<detail::Suspension> m_suspension = std::make_shared<detail::Suspension>();
    std::shared_ptr<std::optional<Stored>> m_stored = std::make_shared<std::optional<Stored>>();
    std::unique_ptr<QObject> m_context;
    bool m_gone = false;
};

template <typename Sender, typename Base, typename... Args>
    requires std::is_base_of_v<Base, Sender>
SignalAwaiter<Sender, Base, Args...> signal(Sender *sender, void (Base::*sig)(Args...), std::function<void()> abort = {})
{
    return SignalAwaiter<Sender, Base, Args...>(sender, sig, std::move(abort));
}

// ---- futures of off-thread work ----------------------------------------------------------

// Awaits a QFuture (QtConcurrent::run on a value copy). Cancelling the task ends the wait with
// CancellationError; the worker runs to its end and its result is dropped.
template <typename T>
class FutureAwaiter final {
public:
    explicit FutureAwaiter(QFuture<T> future) : m_future(std::move(future)) {}

    bool await_ready() const noexcept { return false; }
    template <typename P>
    bool await_suspend(std::coroutine_handle<P> h)
    {
        if (!m_suspension->arm(h, detail::tokenOf(h)))
            return false;
        if (m_future.isFinished()) {
            m_suspension->resume();
            return true;
        }
        m_watcher = std::make_unique<QFutureWatcher<T>>();
        std::weak_ptr<detail::Suspension> weak = m_suspension;
        QObject::connect(m_watcher.get(), &QFutureWatcherBase::finished, [weak] {
            if (auto s = weak.lock())
                s->resume();
        });
        m_watcher->setFuture(m_future);
        return true;
    }
    T await_resume()
    {
        if (m_watcher) {
            m_watcher->disconnect();
            // The watcher may still have queued events; let the event loop delete it.
            m_watcher.release()->deleteLater();
        }
        if (m_suspension->wasCancelled())
            throw CancellationError();
        if constexpr (std::is_void_v<T>)
            m_future.waitForFinished();
        else
            return m_future.result();
    }

private:
    QFuture<T> m_future;
    std::shared_ptr<detail::Suspension> m_suspension = std::make_shared<detail::Suspension>();
    std::unique_ptr<QFutureWatcher<T>> m_watcher;
};

template <typename T>
FutureAwaiter<T> future(QFuture<T> f)
{
    return FutureAwaiter<T>(std::move(f));
}

} // namespace Platform
