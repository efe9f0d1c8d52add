#pragma once
// The running instance's listening socket, made and removed here rather than by QLocalServer,
// which gives up for good when an accept fails (out of descriptors) and then, like its close,
// deletes whatever file stands at its path, another instance's socket included.
//
// The socket is bound and listening under a temporary name beside its path and then linked to
// the path, so the path never names a socket that does not listen yet. Closing removes the file
// only while it is still the one bound here. An accept that fails leaves the connection waiting
// in the queue and is tried again shortly; the socket is never given up. At most `maxClients`
// connections are served at once: one more is closed as soon as it is accepted.
//
// The socket file is owner-only (0600) and the folder must be a private one of the user's.
// Main thread only.

#include <QObject>
#include <QString>

#include <functional>
#include <sys/types.h>

class QLocalSocket;
class QSocketNotifier;

namespace Kivaro::Shell::detail {

class InstanceListener final : public QObject {
public:
    enum class Placed {
        listening, // the path names our socket now
        taken,     // another socket took the path first: nothing was changed
        failed,    // the socket could not be made (name too long, folder not writable, …)
    };

    // `serve` receives each accepted connection, owned by the listener (delete it when done).
    InstanceListener(QString path, int maxClients, std::function<void(QLocalSocket *)> serve, QObject *parent = nullptr);
    ~InstanceListener() override;

    // Starts listening at the path. With `replacing`, a file already there (a socket nobody
    // listens on) is removed first; without, such a file means `taken`.
    Placed listen(bool replacing);
    // Stops listening and removes the socket file when it is still ours.
    void close();
    bool isListening() const { return m_fd >= 0; }
    // Connections being served now.
    int clients() const { return m_clients; }

private:
    void acceptPending();

    QString m_path;
    int m_maxClients;
    std::function<void(QLocalSocket *)> m_serve;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    QSocketNotifier *m_notifier = nullptr;
    int m_clients = 0;
};

} // namespace Kivaro::Shell::detail
