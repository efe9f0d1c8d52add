#include "Platform/Async/Task.h"

#include <QCoreApplication>

#include <unordered_set>

namespace Platform {
namespace detail {

namespace {
// Only touched on the main thread. Holding the frame addresses keeps frames that are still
// suspended at exit reachable, which is what they are: owned by the waits they sit in. The set is
// never destroyed: a static object would be gone before the leak check at exit, which runs after
// the static destructors, and a frame unregistered during static destruction would touch it.
std::unordered_set<void *> &liveFrames()
{
    static auto *frames = new std::unordered_set<void *>;
    return *frames;
}
} // namespace

void post(std::function<void()> fn)
{
    QCoreApplication *app = QCoreApplication::instance();
    Q_ASSERT_X(app, "Platform::detail::post", "tasks need a QCoreApplication");
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void registerFrame(void *address)
{
    liveFrames().insert(address);
}

void unregisterFrame(void *address)
{
    liveFrames().erase(address);
}

bool Suspension::arm(std::coroutine_handle<> handle, CancellationTokenPtr token, std::function<void()> onCancel)
{
    m_handle = handle;
    m_token = std::move(token);
    m_onCancel = std::move(onCancel);
    if (m_token->isCancelled()) {
        m_done = true;
        m_cancelled = true;
        return false;
    }
    std::weak_ptr<Suspension> weak = weak_from_this();
    m_waker = m_token->addWaker([weak] {
        if (auto self = weak.lock())
            self->resumeCancelled();
    });
    return true;
}

bool Suspension::resume()
{
    return complete(false, false);
}

bool Suspension::resumeCancelled()
{
    return complete(true, true);
}

bool Suspension::resumeAbandoned()
{
    return complete(true, false);
}

bool Suspension::complete(bool cancelled, bool runOnCancel)
{
    if (m_done)
        return false;
    m_done = true;
    m_cancelled = cancelled;
    if (m_waker) {
        m_token->removeWaker(m_waker);
        m_waker = 0;
    }
    if (runOnCancel && m_onCancel) {
        // May complete the awaited operation synchronously (an aborted reply emits finished);
        // that second completion is ignored because m_done is set.
        auto onCancel = std::move(m_onCancel);
        onCancel();
    }
    m_onCancel = nullptr;
    auto handle = m_handle;
    post([handle] { handle.resume(); });
    return true;
}

void TaskStateBase::markFinished()
{
    finished = true;
    if (ownerConnection)
        QObject::disconnect(ownerConnection);
    auto callbacks = std::move(finishedCallbacks);
    finishedCallbacks.clear();
    for (auto &callback : callbacks)
        callback();
}

} // namespace detail

std::size_t runningTaskCount()
{
    return detail::liveFrames().size();
}

} // namespace Platform
