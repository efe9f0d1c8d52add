#pragma once
// The threads that recognise text. Their number is the machine's core count, at most four. They
// read with engines borrowed from the engines' pool (OcrEngines), which stay started between
// recognitions until the pool's idle period passes; the threads end after that period too.
//
// runParallel spreads one recognition's lines over the workers. The calling thread takes part,
// so it finishes even when every worker is busy with another recognition, and it never waits
// for a worker that has not started: a helper that starts after the work is done finds nothing
// left and returns.

#include <QThreadPool>

#include <functional>
#include <initializer_list>

namespace Tellumo::detail {

enum class OcrModel;

QThreadPool &recognitionPool();

// What runParallel does with the memory the calls freed: hand it back to the system (about a
// millisecond), or keep it for a round of short calls that allocate little.
enum class FreedMemory { release, keep };

// Calls body(i) for every i in [0, count), on the workers and the calling thread, and returns
// when all calls have returned, and hands the memory they freed back to the system. The first
// exception a call throws is rethrown here (the other calls still run).
void runParallel(int count, const std::function<void(int)> &body, FreedMemory freed = FreedMemory::release);

// Starts the engines of `models` in the pool. Blocks; returns whether all started.
bool warmWorkers(std::initializer_list<OcrModel> models);

} // namespace Tellumo::detail
