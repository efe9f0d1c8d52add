#pragma once
// The updater's time: the wall clock for the once-a-day prompt rule, and timers for the
// automatic checks and the hand-over. Injected, so tests drive the 4-second delay, the
// 21,600-second period and the day between prompts without waiting for them.

#include <functional>
#include <memory>

namespace NativeAppUpdater {

// A scheduled call; destroying it cancels the call.
class ScheduledCall {
public:
    virtual ~ScheduledCall() = default;
};

class UpdaterClock {
public:
    virtual ~UpdaterClock() = default;
    // Seconds since 1970.
    virtual double now() const = 0;
    // Calls `fire` from the event loop after `seconds`, and every `seconds` after that when
    // `repeating`, until the returned object is destroyed.
    virtual std::unique_ptr<ScheduledCall> schedule(double seconds, bool repeating, std::function<void()> fire) = 0;
};

// The system clock and Qt timers on the current thread's event loop.
std::shared_ptr<UpdaterClock> systemUpdaterClock();

} // namespace NativeAppUpdater
