#include "NativeAppUpdater/internal/ProcessControl.h"

#include "NativeAppUpdater/UpdaterError.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace NativeAppUpdater::detail {

namespace {

UniqueFd openPidfd(qint64 pid)
{
    return UniqueFd(int(::syscall(SYS_pidfd_open, pid_t(pid), 0)));
}

// Polls a pidfd until it is readable (the process ended) or the time is up.
bool pollEnd(int pidfd, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd entry{pidfd, POLLIN, 0};
        const int remaining = int(qMax<qint64>(0, deadline.remainingTime()));
        const int result = ::poll(&entry, 1, remaining);
        if (result > 0)
            return true;
        if (result == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

ChildProcess spawnDetached(const QString &program, const QStringList &arguments)
{
    QList<QByteArray> storage{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        storage << argument.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
    // A session of its own: the terminal's hang-up or a signal to our process group must not end
    // an installer or the application it starts.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    // Only the standard streams are inherited (a lock descriptor, for one, must not be).
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, storage.first().constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        throw UpdateFileError(QStringLiteral("cannot start %1: %2").arg(program, errnoText(error)));
    // Our own unreaped child cannot be replaced by another process under the same id.
    return {pid, openPidfd(pid)};
}

bool waitForProcessEnd(qint64 pid, int timeoutMs)
{
    if (pid <= 0)
        return false;
    UniqueFd pidfd = openPidfd(pid);
    if (!pidfd)
        return errno == ESRCH;
    return pollEnd(pidfd.get(), timeoutMs);
}

std::optional<int> waitForChild(ChildProcess &child, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (child.pidfd && !pollEnd(child.pidfd.get(), timeoutMs))
        return std::nullopt;
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(pid_t(child.pid), &status, WNOHANG);
        if (result == pid_t(child.pid))
            return status;
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            return W_EXITCODE(127, 0);
        // Without a pidfd (it could not be opened) the child is polled.
        if (deadline.hasExpired())
            return std::nullopt;
        ::usleep(20'000);
    }
}

} // namespace NativeAppUpdater::detail
