#pragma once
// The waits the dialog services share: a Qt dialog opened with open() and awaited, and a
// scripted answer taken from a test double's queue.

#include "Platform/Async/Awaitables.h"

#include <QDialog>
#include <QPointer>

#include <deque>
#include <functional>

namespace Platform::detail {

// Hides a dialog and deletes it from the event loop when the scope ends, unless it is gone.
class DialogDisposer final {
public:
    explicit DialogDisposer(QDialog *dialog) : m_dialog(dialog) {}
    ~DialogDisposer();
    DialogDisposer(const DialogDisposer &) = delete;
    DialogDisposer &operator=(const DialogDisposer &) = delete;

private:
    QPointer<QDialog> m_dialog;
};

// Opens `dialog` (window-modal over its parent) and returns its result code once it finishes.
// `shown` runs from the event loop after the wait is connected, so it may answer the dialog at
// once. Cancelling the task ends the dialog with done(Rejected) and throws CancellationError;
// a dialog destroyed while awaited (with its parent) throws CancellationError too.
Task<int> openAndWait(QDialog *dialog, std::function<void()> shown);

// Takes the oldest answer of a scripted double's queue, waiting for `changed` while the queue is
// empty. `waiting` counts the requests inside this wait. Passes through the event loop first,
// as a real dialog never answers at once.
template <typename Owner, typename T>
Task<T> takeScriptedAnswer(Owner *owner, std::deque<T> *answers, int *waiting, void (Owner::*changed)())
{
    QPointer<Owner> self(owner);
    ++*waiting;
    std::exception_ptr error;
    std::optional<T> answer;
    try {
        co_await Platform::sleep(std::chrono::milliseconds(0));
        while (self && answers->empty()) {
            auto next = Platform::signal(owner, changed);
            co_await next;
        }
        if (!self)
            throw CancellationError();
        answer.emplace(std::move(answers->front()));
        answers->pop_front();
    } catch (...) {
        error = std::current_exception();
    }
    if (self)
        --*waiting;
    if (error)
        std::rethrow_exception(error);
    co_return std::move(*answer);
}

} // namespace Platform::detail
