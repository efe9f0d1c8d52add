#include "Platform/Async/Awaitables.h"
#include "Support/TaskTesting.h"

#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

#include <atomic>

using namespace std::chrono_literals;
using Platform::CancellationError;
using Platform::Task;
using TestSupport::waitFor;

namespace {

class Emitter : public QObject {
    Q_OBJECT
public:
    void abort()
    {
        ++aborts;
        // Like QNetworkReply::abort(): the completion signal comes synchronously.
        Q_EMIT finished(-1);
    }
    int aborts = 0;
Q_SIGNALS:
    void finished(int code);
    void pair(const QString &text, int number);
    void ping();
};

} // namespace

TEST(SignalWait, ReturnsTheArgumentsOfTheFirstEmissionOnlyAsValueTupleOrNothing)
{
    Emitter emitter;
    int resumptions = 0, got = 0, number = 0;
    QString text;
    auto body = [&]() -> Task<void> {
        got = co_await Platform::signal(&emitter, &Emitter::finished);
        ++resumptions;
        std::tie(text, number) = co_await Platform::signal(&emitter, &Emitter::pair);
        co_await Platform::signal(&emitter, &Emitter::ping);
    };
    auto handle = Platform::start(body());
    TestSupport::waitUntil([] { return false; }, 10);
    Q_EMIT emitter.finished(3);
    Q_EMIT emitter.finished(4);
    TestSupport::waitUntil([] { return false; }, 10);
    Q_EMIT emitter.pair(QStringLiteral("x"), 9);
    TestSupport::waitUntil([] { return false; }, 10);
    Q_EMIT emitter.ping();
    ASSERT_TRUE(waitFor(handle));
    EXPECT_EQ(got, 3);
    EXPECT_EQ(resumptions, 1);
    EXPECT_EQ(text, QStringLiteral("x"));
    EXPECT_EQ(number, 9);
}

TEST(SignalWait, CancelAbortsTheObjectOnceAndResumesOnceWithCancellation)
{
    auto *emitter = new Emitter;
    int resumptions = 0, aborts = 0;
    bool cancelled = false;
    auto body = [&]() -> Task<void> {
        try {
            co_await Platform::signal(emitter, &Emitter::finished, [emitter] { emitter->abort(); });
        } catch (const CancellationError &) {
            cancelled = true;
        }
        ++resumptions;
        aborts = emitter->aborts;
        emitter->deleteLater(); // the awaited object is deleted only after the wait
    };
    auto handle = Platform::start(body());
    TestSupport::waitUntil([] { return false; }, 10);
    handle.cancel();
    ASSERT_TRUE(waitFor(handle));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(resumptions, 1);
    EXPECT_EQ(aborts, 1);
}

TEST(SignalWait, ACompletionBeforeTheCancelKeepsItsValueAndADestroyedSenderEndsQuietlyUnaborted)
{
    auto *emitter = new Emitter;
    int got = 0, resumptions = 0;
    auto body = [&]() -> Task<void> {
        got = co_await Platform::signal(emitter, &Emitter::finished);
        ++resumptions;
    };
    auto handle = Platform::start(body());
    TestSupport::waitUntil([] { return false; }, 10);
    Q_EMIT emitter->finished(5); // resume is queued ...
    handle.cancel();             // ... and cancellation arrives before it runs
    ASSERT_TRUE(waitFor(handle));
    EXPECT_EQ(got, 5);
    EXPECT_EQ(resumptions, 1);

    // The abort is not called on a sender that is being destroyed.
    int aborts = 0;
    auto abandoned = [&]() -> Task<void> {
        auto finished = Platform::signal(emitter, &Emitter::finished, [&] { ++aborts; });
        co_await finished;
        ++resumptions;
    };
    auto orphan = Platform::start(abandoned());
    TestSupport::waitUntil([] { return false; }, 10);
    delete emitter;
    ASSERT_TRUE(waitFor(orphan));
    EXPECT_EQ(resumptions, 1);
    EXPECT_TRUE(orphan.endedByCancellation());
    EXPECT_EQ(aborts, 0);
}

TEST(FutureWait, CancelStopsTheWaitButNotTheWorkerAndOtherwiseReturnsItsResult)
{
    std::atomic<bool> release{false}, workerDone{false};
    auto body = [&]() -> Task<void> {
        co_await Platform::future(QtConcurrent::run([&] {
            while (!release)
                QThread::msleep(1);
            workerDone = true;
        }));
    };
    auto handle = Platform::start(body());
    TestSupport::waitUntil([] { return false; }, 10);
    handle.cancel();
    ASSERT_TRUE(waitFor(handle, 1000));
    EXPECT_TRUE(handle.endedByCancellation());
    release = true;
    EXPECT_TRUE(TestSupport::waitUntil([&] { return workerDone.load(); }));
    QThreadPool::globalInstance()->waitForDone();

    auto finished = []() -> Task<int> { co_return co_await Platform::future(QtConcurrent::run([] { return 21; })); };
    EXPECT_EQ(TestSupport::run(finished()), 21) << "an uncancelled wait returns the worker's result";
}

TEST(CheckCancellation, ThrowsOnlyWhenCancelled)
{
    int reached = 0;
    auto body = [&]() -> Task<void> {
        co_await Platform::checkCancellation();
        ++reached;
        auto token = co_await Platform::currentToken();
        token->cancel();
        co_await Platform::checkCancellation();
        ++reached;
    };
    auto handle = Platform::start(body());
    ASSERT_TRUE(waitFor(handle));
    EXPECT_EQ(reached, 1);
    EXPECT_TRUE(handle.endedByCancellation());
}

#include "AwaitablesTests.moc"
