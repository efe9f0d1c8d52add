#include "Platform/Async/Awaitables.h"
#include "Support/TaskTesting.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using Platform::CancellationError;
using Platform::Task;
using Platform::TaskHandle;
using TestSupport::waitFor;

namespace {

Task<void> record(std::vector<std::string> &log, std::string name)
{
    log.push_back(name + " begins");
    co_return;
}

Task<int> answer()
{
    co_await Platform::sleep(0ms);
    co_return 42;
}

Task<int> failing()
{
    co_await Platform::sleep(0ms);
    throw std::runtime_error("broken");
}

Task<void> sleepLong(bool &reachedEnd, bool &sawCancellation)
{
    try {
        co_await Platform::sleep(10s);
        reachedEnd = true;
    } catch (const CancellationError &) {
        sawCancellation = true;
        throw;
    }
}

} // namespace

TEST(TaskStart, BodiesAreQueuedInStartOrderSoTheHandleIsStoredFirst)
{
    std::vector<std::string> log;
    TaskHandle<void> stored;
    auto body = [&]() -> Task<void> {
        log.push_back(stored ? "handle stored" : "handle missing");
        co_return;
    };
    stored = Platform::start(body());
    auto a = Platform::start(record(log, "a"));
    auto b = Platform::start(record(log, "b"));
    EXPECT_TRUE(log.empty()) << "no part of a body may run inside start()";
    ASSERT_TRUE(waitFor(stored) && waitFor(a) && waitFor(b));
    EXPECT_EQ(log, (std::vector<std::string>{"handle stored", "a begins", "b begins"}));
}

TEST(TaskStart, ValuesAndErrorsReachTheHandleAndOnFinishedRunsOnceEvenWhenLate)
{
    auto ok = Platform::start(answer());
    auto bad = Platform::start(failing());
    int calls = 0;
    ok.onFinished([&] { ++calls; });
    ASSERT_TRUE(waitFor(ok) && waitFor(bad));
    EXPECT_EQ(ok.value(), 42);
    EXPECT_FALSE(ok.error());
    ASSERT_TRUE(bad.error());
    EXPECT_FALSE(bad.endedByCancellation());
    EXPECT_THROW(std::rethrow_exception(bad.error()), std::runtime_error);
    EXPECT_EQ(Platform::runningTaskCount(), 0u);
    EXPECT_EQ(calls, 1);
    ok.onFinished([&] { ++calls; }); // already finished: at once
    EXPECT_EQ(calls, 2);
}

TEST(TaskCancel, CancelWakesASleepAtOnceAlsoInsideAnInlineChild)
{
    bool childEnd = false, childCancelled = false, parentAfterChild = false;
    auto parent = [&]() -> Task<void> {
        co_await sleepLong(childEnd, childCancelled);
        parentAfterChild = true;
    };
    auto handle = Platform::start(parent());
    TestSupport::waitUntil([] { return false; }, 20); // let it reach the sleep
    ASSERT_FALSE(handle.isFinished());
    handle.cancel();
    ASSERT_TRUE(waitFor(handle, 1000)) << "a cancelled sleep must wake at once";
    EXPECT_TRUE(childCancelled);
    EXPECT_FALSE(childEnd);
    EXPECT_FALSE(parentAfterChild);
    EXPECT_TRUE(handle.endedByCancellation());
}

TEST(TaskCancel, CancelBeforeStartStillRunsTheBodyUpToItsFirstWait)
{
    bool ranPrologue = false, reachedEnd = false;
    auto body = [&]() -> Task<void> {
        ranPrologue = true;
        co_await Platform::sleep(1ms);
        reachedEnd = true;
    };
    auto handle = Platform::start(body());
    handle.cancel();
    ASSERT_TRUE(waitFor(handle));
    EXPECT_TRUE(ranPrologue) << "clean-up written in the body must get its chance to run";
    EXPECT_FALSE(reachedEnd);
    EXPECT_TRUE(handle.endedByCancellation());
}

TEST(TaskCancel, OwnerDestroyedWhileSuspendedEndsTheTaskQuietly)
{
    auto *owner = new QObject;
    bool touchedOwnerAfterWait = false;
    auto body = [&]() -> Task<void> {
        co_await Platform::sleep(10s);
        touchedOwnerAfterWait = true; // would be a use after free in real code
    };
    auto handle = Platform::start(body(), owner);
    TestSupport::waitUntil([] { return false; }, 20);
    delete owner;
    ASSERT_TRUE(waitFor(handle, 1000));
    EXPECT_FALSE(touchedOwnerAfterWait);
    EXPECT_TRUE(handle.endedByCancellation());
}

// The process may end while tasks wait: a store's debounced write when the application quits,
// an owner destroyed whose cancelled wait never gets its turn on the event loop. Their frames
// belong to those waits and must not be reported as leaked when the process ends (the
// sanitizer build checks for leaks after the static objects are gone).
TEST(TaskDeathTest, TasksStillSuspendedWhenTheProcessEndsAreNoLeak)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bool reachedEnd = false;
            bool sawCancellation = false;
            auto *owner = new QObject;
            Platform::start(sleepLong(reachedEnd, sawCancellation));
            Platform::start(sleepLong(reachedEnd, sawCancellation), owner);
            TestSupport::waitUntil([] { return false; }, 20);
            delete owner;
            // As when the application object goes: the queued resumption is dropped unrun.
            QCoreApplication::removePostedEvents(nullptr);
            std::exit(Platform::runningTaskCount() == 2 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TaskHandleAwait, AwaitingAHandleGetsItsValueAndCancellingOneWaiterLeavesTheTaskAndOthersRunning)
{
    auto slow = [&]() -> Task<int> {
        co_await Platform::sleep(50ms);
        co_return 7;
    };
    auto target = Platform::start(slow());
    int seen = 0;
    auto patient = [&]() -> Task<void> { seen = co_await target; };
    auto impatient = [&]() -> Task<void> { co_await target; };
    auto first = Platform::start(patient());
    auto second = Platform::start(impatient());
    TestSupport::waitUntil([] { return false; }, 10);
    second.cancel();
    ASSERT_TRUE(waitFor(second));
    EXPECT_TRUE(second.endedByCancellation());
    EXPECT_FALSE(target.isCancelled());
    ASSERT_TRUE(waitFor(first));
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(target.value(), 7);
}
