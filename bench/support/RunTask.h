#pragma once
// Runs a task to its end in the benchmark's event loop and returns its value or rethrows its error.

#include "Platform/Async/Task.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <exception>
#include <type_traits>
#include <utility>

namespace BenchSupport {

template <typename T>
T wait(Platform::Task<T> task)
{
    auto handle = Platform::start(std::move(task));
    while (!handle.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (handle.error())
        std::rethrow_exception(handle.error());
    if constexpr (!std::is_void_v<T>)
        return handle.value();
}

} // namespace BenchSupport
