#pragma once
// Tells when a process that is not our child has exited: through a pidfd where the kernel has
// them (Linux 5.3 and later), else by polling whether the process still exists.

#include <QObject>

#include <sys/types.h>

class QSocketNotifier;
class QTimer;

namespace Platform::detail {

class ProcessExitWatcher final : public QObject {
    Q_OBJECT
public:
    explicit ProcessExitWatcher(pid_t pid, QObject *parent = nullptr);
    ~ProcessExitWatcher() override;
    bool hasExited() const { return m_exited; }

Q_SIGNALS:
    void exited();

private:
    void check();
    void finish();

    pid_t m_pid;
    int m_pidfd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_poll = nullptr;
    bool m_exited = false;
};

} // namespace Platform::detail
