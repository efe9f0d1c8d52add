#pragma once
// Starting and watching processes without the pitfalls of process ids: a process is waited on
// through a pidfd, which keeps naming the same process even when its id is reused, and a
// non-positive id (which kill() would read as "a process group" or "every process") is never
// waited on.

#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace NativeAppUpdater::detail {

struct ChildProcess {
    qint64 pid = 0;
    UniqueFd pidfd;
};

// Starts `program` (argv[0] = program, then `arguments`) in a session of its own, with this
// process's environment and standard streams and no other descriptor. Throws UpdateFileError.
ChildProcess spawnDetached(const QString &program, const QStringList &arguments);

// Waits until the process `pid` has ended, at most `timeoutMs`; true when it ended or never
// existed. `pid` must be positive.
bool waitForProcessEnd(qint64 pid, int timeoutMs);

// Waits at most `timeoutMs` for a child started here; its wait status when it ended (the child
// is reaped), nothing while it still runs.
std::optional<int> waitForChild(ChildProcess &child, int timeoutMs);

} // namespace NativeAppUpdater::detail
