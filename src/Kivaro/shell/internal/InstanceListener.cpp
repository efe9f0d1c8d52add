#include "Kivaro/shell/internal/InstanceListener.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Kivaro::Shell::detail {

namespace {
// How long an accept that failed (no descriptor or memory left) waits before the next try.
constexpr int acceptRetryMs = 250;
constexpr int backlog = 64;

bool fill(sockaddr_un &address, const QByteArray &path)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() + 1 > qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), path.size());
    return true;
}
} // namespace

InstanceListener::InstanceListener(QString path, int maxClients, std::function<void(QLocalSocket *)> serve, QObject *parent)
    : QObject(parent), m_path(std::move(path)), m_maxClients(maxClients), m_serve(std::move(serve))
{
}

InstanceListener::~InstanceListener()
{
    close();
}

InstanceListener::Placed InstanceListener::listen(bool replacing)
{
    if (m_fd >= 0)
        return Placed::listening;
    const QByteArray path = QFile::encodeName(m_path);
    const QByteArray temporary = path + '.' + QByteArray::number(QCoreApplication::applicationPid());
    sockaddr_un address {};
    if (!fill(address, temporary))
        return Placed::failed;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Placed::failed;
    ::unlink(temporary.constData()); // left by a process of the same id that died
    struct stat bound {};
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::chmod(temporary.constData(), 0600) != 0 || ::listen(fd, backlog) != 0
        || ::lstat(temporary.constData(), &bound) != 0) {
        ::close(fd);
        ::unlink(temporary.constData());
        return Placed::failed;
    }
    if (replacing)
        ::unlink(path.constData());
    const bool linked = ::link(temporary.constData(), path.constData()) == 0;
    const int error = errno;
    ::unlink(temporary.constData());
    if (!linked) {
        ::close(fd);
        return error == EEXIST ? Placed::taken : Placed::failed;
    }
    m_fd = fd;
    m_device = bound.st_dev;
    m_inode = bound.st_ino;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceListener::acceptPending);
    return Placed::listening;
}

void InstanceListener::close()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    // Another instance may have put its own socket at the path since (after ours stopped
    // answering, or the file was removed by hand): that one stays.
    const QByteArray path = QFile::encodeName(m_path);
    struct stat current {};
    if (::lstat(path.constData(), &current) == 0 && current.st_dev == m_device && current.st_ino == m_inode)
        ::unlink(path.constData());
}

void InstanceListener::acceptPending()
{
    while (m_fd >= 0) {
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory: the connection stays queued until one is free.
                m_notifier->setEnabled(false);
                QTimer::singleShot(acceptRetryMs, m_notifier, [notifier = m_notifier] { notifier->setEnabled(true); });
            }
            return;
        }
        if (m_clients >= m_maxClients) {
            ::close(client);
            continue;
        }
        auto *socket = new QLocalSocket(this);
        if (!socket->setSocketDescriptor(client)) {
            ::close(client);
            delete socket;
            continue;
        }
        ++m_clients;
        connect(socket, &QObject::destroyed, this, [this] { --m_clients; });
        m_serve(socket);
    }
}

} // namespace Kivaro::Shell::detail
