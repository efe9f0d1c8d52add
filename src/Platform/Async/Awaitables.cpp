#include "Platform/Async/Awaitables.h"

namespace Platform {

bool SleepAwaiter::suspend(std::coroutine_handle<> h, CancellationTokenPtr token)
{
    m_timer = std::make_unique<QTimer>();
    QTimer *timer = m_timer.get();
    if (!m_suspension->arm(h, std::move(token), [timer] { timer->stop(); }))
        return false;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    std::weak_ptr<detail::Suspension> weak = m_suspension;
    QObject::connect(timer, &QTimer::timeout, [weak] {
        if (auto s = weak.lock())
            s->resume();
    });
    timer->start(std::max<std::chrono::milliseconds>(m_duration, std::chrono::milliseconds(0)));
    return true;
}

void SleepAwaiter::await_resume()
{
    // Resumption is queued, so we are not inside the timer's own emission here.
    m_timer.reset();
    if (m_suspension->wasCancelled())
        throw CancellationError();
}

} // namespace Platform
