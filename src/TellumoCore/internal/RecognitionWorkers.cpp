#include "TellumoCore/internal/RecognitionWorkers.h"

#include "TellumoCore/internal/OcrEngines.h"

#include <QThread>

#include <omp.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace Tellumo::detail {

namespace {

constexpr int kMaxWorkers = 4;

struct SharedWork {
    std::function<void(int)> body;
    int count = 0;
    std::atomic<int> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    int done = 0;
    std::exception_ptr error;
};

// The engine parallelises the inner loops of its network with OpenMP, four threads a line.
// The workers already read several lines at once, and teams of OpenMP threads waiting for
// each other on a busy machine cost more than they save (a screen took three times as long), so
// each thread that reads lines here turns OpenMP's parallel regions off for itself (the setting
// belongs to the calling thread) while it does.
class SerialEngineScope {
public:
    SerialEngineScope() : m_levels(omp_get_max_active_levels()) { omp_set_max_active_levels(0); }
    ~SerialEngineScope() { omp_set_max_active_levels(m_levels); }
    SerialEngineScope(const SerialEngineScope &) = delete;
    SerialEngineScope &operator=(const SerialEngineScope &) = delete;

private:
    int m_levels;
};

void drain(const std::shared_ptr<SharedWork> &work)
{
    const SerialEngineScope serial;
    for (;;) {
        const int index = work->next.fetch_add(1);
        if (index >= work->count)
            return;
        std::exception_ptr error;
        try {
            work->body(index);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(work->mutex);
        if (error && !work->error)
            work->error = error;
        if (++work->done == work->count)
            work->finished.notify_all();
    }
}

} // namespace

QThreadPool &recognitionPool()
{
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, kMaxWorkers));
        // A thread ends once it has not read for the engines' idle period, and with it what
        // it kept for itself (the fonts that drew reference characters, its stack).
        created->setExpiryTimeout(int(OcrEngines::idlePeriod().count()));
        return created;
    }();
    return *pool;
}

void runParallel(int count, const std::function<void(int)> &body, FreedMemory freed)
{
    if (count <= 0)
        return;
    auto work = std::make_shared<SharedWork>();
    work->body = body;
    work->count = count;
    const int helpers = std::min(count - 1, recognitionPool().maxThreadCount() - (recognitionPool().contains(QThread::currentThread()) ? 1 : 0));
    for (int i = 0; i < helpers; ++i)
        recognitionPool().start([work] { drain(work); });
    drain(work);
    {
        std::unique_lock lock(work->mutex);
        work->finished.wait(lock, [&] { return work->done == work->count; });
        // A helper that has not run yet keeps `work` alive but will not call the body again.
        work->body = nullptr;
    }
    // Each thread frees into an allocator arena of its own, which the others do not reuse: what
    // the engines freed goes back to the system after every round, or a recognition's rounds
    // would add up (about 100 MB more on a 4K screen). It takes about a millisecond.
    if (freed == FreedMemory::release)
        OcrEngines::releaseFreedMemory();
    if (work->error)
        std::rethrow_exception(work->error);
}

bool warmWorkers(std::initializer_list<OcrModel> models)
{
    bool ok = true;
    for (OcrModel model : models)
        ok = OcrEngines::warm(model) && ok;
    return ok;
}

} // namespace Tellumo::detail
