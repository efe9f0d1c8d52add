#include "Platform/Async/Awaitables.h"
#include "Support/TaskTesting.h"

#include <gtest/gtest.h>

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
    co_await Platform::sleep(1ms);
    log.push_back(name + " ends");
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

TEST(TaskStart, BodyIsQueuedSoTheHandleIsStoredFirst)
{
    std::vector<std::string> log;
    TaskHandle<void> stored;
    auto body = [&]() -> Task<void> {
        log.push_back(stored ? "handle stored" : "handle missing");
        co_return;
    };
    stored = Platform::start(body());
    EXPECT_TRUE(log.empty()) << "no part of the body may run inside start()";
    ASSERT_TRUE(waitFor(stored));
    EXPECT_EQ(log, std::vector<std::string>{"handle stored"});
}

TEST(TaskStart, TasksBeginInTheOrderTheyWereStarted)
{
    std::vector<std::string> log;
    auto a = Platform::start(record(log, "a"));
    auto b = Platform::start(record(log, "b"));
    ASSERT_TRUE(waitFor(a));
    ASSERT_TRUE(waitFor(b));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "a begins");
    EXPECT_EQ(log[1], "b begins");
}

TEST(TaskStart, ValuesAndErrorsReachTheHandle)
{
    auto ok = Platform::start(answer());
    auto bad = Platform::start(failing());
    ASSERT_TRUE(waitFor(ok));
    ASSERT_TRUE(waitFor(bad));
    EXPECT_EQ(ok.value(), 42);
    EXPECT_FALSE(ok.error());
    ASSERT_TRUE(bad.error());
    EXPECT_FALSE(bad.endedByCancellation());
    EXPECT_THROW(std::rethrow_exception(bad.error()), std::runtime_error);
    EXPECT_EQ(Platform::runningTaskCount(), 0u);
}

TEST(TaskCancel, CancelDuringSleepThrowsAtTheSleep)
{
    bool reachedEnd = false, sawCancellation = false;
    auto handle = Platform::start(sleepLong(reachedEnd, sawCancellation));
    TestSupport::waitUntil([] { return false; }, 20); // let it reach the sleep
    ASSERT_FALSE(handle.isFinished());
    handle.cancel();
    ASSERT_TRUE(waitFor(handle, 1000)) << "a cancelled sleep must wake at once";
    EXPECT_TRUE(sawCancellation);
    EXPECT_FALSE(reachedEnd);
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

TEST(TaskCancel, InlineChildrenShareTheCancellationOfTheirParent)
{
    bool childEnd = false, childCancelled = false, parentAfterChild = false;
    auto parent = [&]() -> Task<void> {
        co_await sleepLong(childEnd, childCancelled);
        parentAfterChild = true;
    };
    auto handle = Platform::start(parent());
    TestSupport::waitUntil([] { return false; }, 20);
    handle.cancel();
    ASSERT_TRUE(waitFor(handle));
    EXPECT_TRUE(childCancelled);
    EXPECT_FALSE(parentAfterChild);
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

TEST(TaskCancel, OwnerOutlivingTheTaskIsLeftAlone)
{
    QObject owner;
    auto handle = Platform::start(answer(), &owner);
    ASSERT_TRUE(waitFor(handle));
    EXPECT_EQ(handle.value(), 42);
    EXPECT_FALSE(handle.isCancelled());
}

TEST(TaskHandleAwait, AwaitingAHandleGetsItsValueAndCancellingTheWaiterLeavesTheTaskRunning)
{
    auto slow = [&]() -> Task<int> {
        co_await Platform::sleep(50ms);
        co_return 7;
    };
    auto target = Platform::start(slow());
    int seen = 0;
    auto waiter = [&]() -> Task<void> { seen = co_await target; };
    auto first = Platform::start(waiter());
    ASSERT_TRUE(waitFor(first));
    EXPECT_EQ(seen, 7);

    auto target2 = Platform::start(slow());
    auto waiter2 = [&]() -> Task<void> { co_await target2; };
    auto second = Platform::start(waiter2());
    TestSupport::waitUntil([] { return false; }, 10);
    second.cancel();
    ASSERT_TRUE(waitFor(second));
    EXPECT_TRUE(second.endedByCancellation());
    EXPECT_FALSE(target2.isCancelled());
    ASSERT_TRUE(waitFor(target2));
    EXPECT_EQ(target2.value(), 7);
}

TEST(TaskHandleAwait, OnFinishedRunsOnceAndAtOnceWhenAlreadyFinished)
{
    auto handle = Platform::start(answer());
    int calls = 0;
    handle.onFinished([&] { ++calls; });
    ASSERT_TRUE(waitFor(handle));
    EXPECT_EQ(calls, 1);
    handle.onFinished([&] { ++calls; });
    EXPECT_EQ(calls, 2);
}
