#include "Platform/Sharing/internal/ProcessExitWatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform::detail {

ProcessExitWatcher::ProcessExitWatcher(pid_t pid, QObject *parent) : QObject(parent), m_pid(pid)
{
#ifdef SYS_pidfd_open
    m_pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
#endif
    if (m_pidfd >= 0) {
        m_notifier = new QSocketNotifier(m_pidfd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ProcessExitWatcher::finish);
    } else if (errno == ESRCH) {
        QTimer::singleShot(0, this, &ProcessExitWatcher::finish);
    } else {
        m_poll = new QTimer(this);
        m_poll->setInterval(1000);
        connect(m_poll, &QTimer::timeout, this, &ProcessExitWatcher::check);
        m_poll->start();
    }
}

ProcessExitWatcher::~ProcessExitWatcher()
{
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

void ProcessExitWatcher::check()
{
    if (::kill(m_pid, 0) != 0 && errno == ESRCH)
        finish();
}

void ProcessExitWatcher::finish()
{
    if (m_exited)
        return;
    m_exited = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_poll)
        m_poll->stop();
    Q_EMIT exited();
}

} // namespace Platform::detail
