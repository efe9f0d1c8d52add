#pragma once
// Main-thread coroutine tasks with cooperative cancellation.
//
// `Task<T>` is a lazy coroutine. Awaiting it (`co_await someTask()`) runs it inline, on the
// awaiting task's cancellation token, like an ordinary call that may suspend.
//
// `Platform::start(task, owner)` turns a Task into a running, detached task and returns a
// `TaskHandle<T>`. The body does not run yet: it is queued on the event loop, so the caller
// has stored the handle before any of the body runs. The frame keeps itself alive until the
// body ends; dropping the handle does not stop it. `handle.cancel()` marks the token and wakes
// the body's current wait, which throws CancellationError. A task cancelled before it starts
// still runs its body; its first cancellable wait throws at once.
//
// When an owner object is given and destroyed while the task is suspended, the task is
// cancelled: its wait throws CancellationError and the body unwinds. A body that catches
// CancellationError must not touch its owner afterwards.
//
// Every wait resumes exactly once, always from the event loop (never from inside the signal
// or callback that completed it), so the code after a co_await may delete the object it awaited
// with deleteLater.
//
// QCoro's awaitables are not used here: QCoro 0.8 cannot cancel a suspended wait, and deleting
// an object it awaits leaves the coroutine suspended for ever.

#include "Platform/Async/Cancellation.h"

#include <QObject>

#include <coroutine>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace Platform {

template <typename T = void>
class Task;
template <typename T = void>
class TaskHandle;

namespace detail {

// Posts `fn` to the main thread's event loop. Needs a QCoreApplication.
void post(std::function<void()> fn);

// Bookkeeping of running detached frames, so that frames still suspended at exit stay reachable.
void registerFrame(void *address);
void unregisterFrame(void *address);

struct PromiseBase {
    CancellationTokenPtr token;
    std::coroutine_handle<> continuation;
    std::exception_ptr exception;
    // Set for detached tasks: hands the result to the task's state and destroys the frame.
    std::function<void(std::coroutine_handle<>)> finish;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept
        {
            PromiseBase &promise = h.promise();
            if (promise.finish) {
                auto finish = std::move(promise.finish);
                finish(h); // destroys the frame
                return std::noop_coroutine();
            }
            return promise.continuation ? promise.continuation : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() noexcept { exception = std::current_exception(); }
};

template <typename T>
struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    template <typename U>
        requires std::is_convertible_v<U &&, T>
    void return_value(U &&v)
    {
        value.emplace(std::forward<U>(v));
    }
    T takeResult()
    {
        if (exception)
            std::rethrow_exception(exception);
        return std::move(*value);
    }
};

template <>
struct Promise<void> : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
    void takeResult()
    {
        if (exception)
            std::rethrow_exception(exception);
    }
};

// The cancellation token of the coroutine that awaits, or a fresh one when the awaiting
// coroutine is not one of ours.
template <typename P>
CancellationTokenPtr tokenOf(std::coroutine_handle<P> h)
{
    if constexpr (std::is_base_of_v<PromiseBase, P>) {
        if (!h.promise().token)
            h.promise().token = std::make_shared<CancellationToken>();
        return h.promise().token;
    } else {
        return std::make_shared<CancellationToken>();
    }
}

// One suspension of one coroutine: resumed exactly once, either normally or by cancellation,
// always through the event loop.
class Suspension final : public std::enable_shared_from_this<Suspension> {
public:
    // Registers the waker; `onCancel` runs first when cancellation wins (stop a timer, abort a
    // reply). Returns false when the token is already cancelled: then nothing is registered and
    // the caller must not suspend.
    bool arm(std::coroutine_handle<> handle, CancellationTokenPtr token, std::function<void()> onCancel = {});
    // First call wins; later calls are ignored and return false.
    bool resume();
    bool resumeCancelled();
    // Cancelled because the awaited object is gone: `onCancel` would touch what is being
    // destroyed, so it does not run.
    bool resumeAbandoned();
    bool isDone() const { return m_done; }
    bool wasCancelled() const { return m_cancelled; }

private:
    bool complete(bool cancelled, bool runOnCancel);

    std::coroutine_handle<> m_handle;
    CancellationTokenPtr m_token;
    CancellationToken::WakerId m_waker = 0;
    std::function<void()> m_onCancel;
    bool m_done = false;
    bool m_cancelled = false;
};

struct TaskStateBase {
    CancellationTokenPtr token = std::make_shared<CancellationToken>();
    bool finished = false;
    std::exception_ptr error;
    std::vector<std::function<void()>> finishedCallbacks;
    QMetaObject::Connection ownerConnection;

    void markFinished();
};

template <typename T>
struct TaskState : TaskStateBase {
    std::optional<T> value;
};
template <>
struct TaskState<void> : TaskStateBase {};

} // namespace detail

template <typename T>
class [[nodiscard]] Task final {
public:
    using promise_type = detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle h) noexcept : m_handle(h) {}
    Task(Task &&other) noexcept : m_handle(std::exchange(other.m_handle, {})) {}
    Task &operator=(Task &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_handle = std::exchange(other.m_handle, {});
        }
        return *this;
    }
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    ~Task() { reset(); }

    bool isValid() const { return bool(m_handle); }

    struct Awaiter {
        Handle handle;
        bool await_ready() const noexcept { return !handle || handle.done(); }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent)
        {
            handle.promise().token = detail::tokenOf(parent);
            handle.promise().continuation = parent;
            return handle;
        }
        T await_resume() { return handle.promise().takeResult(); }
    };
    Awaiter operator co_await() & noexcept { return Awaiter{m_handle}; }
    Awaiter operator co_await() && noexcept { return Awaiter{m_handle}; }

    Handle release() noexcept { return std::exchange(m_handle, {}); }

private:
    void reset() noexcept
    {
        if (m_handle)
            m_handle.destroy();
        m_handle = {};
    }
    Handle m_handle;
};

template <typename T>
Task<T> detail::Promise<T>::get_return_object() noexcept
{
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}
inline Task<void> detail::Promise<void>::get_return_object() noexcept
{
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

// A started task. Copies refer to the same task; a default-constructed handle refers to none.
template <typename T>
class TaskHandle final {
public:
    TaskHandle() = default;

    explicit operator bool() const { return bool(m_state); }
    bool operator==(const TaskHandle &other) const { return m_state == other.m_state; }

    void cancel() const
    {
        if (m_state)
            m_state->token->cancel();
    }
    bool isCancelled() const { return m_state && m_state->token->isCancelled(); }
    bool isFinished() const { return m_state && m_state->finished; }
    // The error the body ended with (CancellationError included), or null.
    std::exception_ptr error() const { return m_state ? m_state->error : nullptr; }
    // True when the body ended by a CancellationError.
    bool endedByCancellation() const { return m_state && isCancellation(m_state->error); }

    // The value of a finished task that ended normally.
    template <typename U = T>
        requires(!std::is_void_v<U>)
    const U &value() const
    {
        return *m_state->value;
    }

    // Calls `callback` when the body has ended: at once when it has ended already.
    void onFinished(std::function<void()> callback) const
    {
        if (!m_state)
            return;
        if (m_state->finished)
            callback();
        else
            m_state->finishedCallbacks.push_back(std::move(callback));
    }

    // Awaits the end of the task and returns its value or rethrows its error. Cancelling the
    // awaiting task stops the wait with CancellationError but leaves the awaited task running.
    struct Awaiter {
        std::shared_ptr<detail::TaskState<T>> state;
        std::shared_ptr<detail::Suspension> suspension = std::make_shared<detail::Suspension>();

        bool await_ready() const noexcept { return !state || state->finished; }
        template <typename P>
        bool await_suspend(std::coroutine_handle<P> h)
        {
            if (!suspension->arm(h, detail::tokenOf(h)))
                return false;
            std::weak_ptr<detail::Suspension> weak = suspension;
            state->finishedCallbacks.push_back([weak] {
                if (auto s = weak.lock())
                    s->resume();
            });
            return true;
        }
        T await_resume()
        {
            if (!state)
                throw CancellationError();
            if (suspension->wasCancelled() || !state->finished)
                throw CancellationError();
            if (state->error)
                std::rethrow_exception(state->error);
            if constexpr (!std::is_void_v<T>)
                return *state->value;
        }
    };
    Awaiter operator co_await() const { return Awaiter{m_state}; }

private:
    template <typename U>
    friend TaskHandle<U> start(Task<U> task, QObject *owner);
    explicit TaskHandle(std::shared_ptr<detail::TaskState<T>> state) : m_state(std::move(state)) {}
    std::shared_ptr<detail::TaskState<T>> m_state;
};

// Starts `task` on the event loop. See the header comment for the rules.
template <typename T>
TaskHandle<T> start(Task<T> task, QObject *owner = nullptr)
{
    auto state = std::make_shared<detail::TaskState<T>>();
    auto handle = task.release();
    if (!handle) {
        state->error = std::make_exception_ptr(CancellationError());
        state->markFinished();
        return TaskHandle<T>(state);
    }
    auto &promise = handle.promise();
    promise.token = state->token;
    promise.finish = [state](std::coroutine_handle<> h) {
        auto typed = std::coroutine_handle<detail::Promise<T>>::from_address(h.address());
        auto &p = typed.promise();
        if (p.exception)
            state->error = p.exception;
        else if constexpr (!std::is_void_v<T>)
            state->value = std::move(p.value);
        detail::unregisterFrame(h.address());
        h.destroy();
        state->markFinished();
    };
    if (owner) {
        std::weak_ptr<detail::TaskState<T>> weak = state;
        state->ownerConnection = QObject::connect(owner, &QObject::destroyed, [weak] {
            if (auto s = weak.lock())
                s->token->cancel();
        });
    }
    detail::registerFrame(handle.address());
    detail::post([handle] { handle.resume(); });
    return TaskHandle<T>(state);
}

// Number of started tasks whose bodies have not ended yet.
std::size_t runningTaskCount();

} // namespace Platform
