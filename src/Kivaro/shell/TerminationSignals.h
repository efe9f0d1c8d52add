#pragma once
// Turns SIGTERM and SIGINT into a call on the main thread: the handler only writes one byte
// to a socket pair, which the event loop reads. A further signal while the process is still
// ending comes through the same way (the delegate then ends it at once).

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace Kivaro {

class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // One instance per process; installs the handlers, which the destructor restores.
    explicit TerminationSignals(std::function<void()> received, QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

private:
    std::function<void()> m_received;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Kivaro
