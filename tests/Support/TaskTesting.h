#pragma once
// Helpers that drive the event loop until a task or a condition is done.

#include "Platform/Async/Task.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include <functional>

namespace TestSupport {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it holds.
// Objects handed to deleteLater are deleted on the way: a test body runs outside any event
// loop, where Qt would otherwise keep them until the application ends.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!done())
            QThread::usleep(200);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

template <typename T>
bool waitFor(const Platform::TaskHandle<T> &handle, int timeoutMs = 5000)
{
    return waitUntil([&] { return handle.isFinished(); }, timeoutMs);
}

// Starts `task`, runs the event loop until it ends, and returns its value or rethrows its error.
template <typename T>
T run(Platform::Task<T> task, int timeoutMs = 5000)
{
    auto handle = Platform::start(std::move(task));
    if (!waitFor(handle, timeoutMs))
        throw std::runtime_error("task did not finish in time");
    if (handle.error())
        std::rethrow_exception(handle.error());
    if constexpr (!std::is_void_v<T>)
        return handle.value();
}

} // namespace TestSupport
