#include "Kivaro/shell/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace Kivaro {

namespace {
constexpr int maxRequestBytes = 64;
constexpr int clientPatienceMs = 2000;
} // namespace

SingleInstance::SingleInstance(QString name, QObject *parent)
    : QObject(parent), m_name(name.isEmpty() ? serverPath(qEnvironmentVariable("DISPLAY")) : std::move(name))
{
}

QString SingleInstance::serverPath(const QString &display)
{
    // In the user's private runtime folder where there is one: in the shared temporary folder
    // another user could take the name first and answer the hand-off in our place.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo folder(runtime);
    if (!runtime.isEmpty() && folder.isDir() && !folder.isSymLink() && folder.ownerId() == ::getuid()
        && !(folder.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther)))
        return QDir(runtime).filePath(serverName(display));
    return serverName(display);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString &display)
{
    QString safe;
    for (const QChar c : display)
        safe.append(c.isLetterOrNumber() ? c : QChar(u'_'));
    return QStringLiteral("kivaro-%1-%2").arg(::getuid()).arg(safe.isEmpty() ? QStringLiteral("none") : safe);
}

bool SingleInstance::handOff(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write("reopen\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < maxRequestBytes) {
        if (!socket.waitForReadyRead(timeoutMs))
            break;
        answer += socket.readAll();
    }
    return answer.startsWith("ok\n");
}

bool SingleInstance::listen()
{
    if (m_server)
        return m_server->isListening();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // Nobody answered our hand-off, so a socket that is there was left by a process that
        // died: clear it and serve again.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::accept()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        QPointer<QLocalSocket> guarded(client);
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        QTimer::singleShot(clientPatienceMs, client, [guarded] {
            if (guarded)
                guarded->abort();
        });
        connect(client, &QLocalSocket::readyRead, this, [this, guarded] {
            if (!guarded)
                return;
            if (guarded->bytesAvailable() > maxRequestBytes) {
                guarded->abort();
                return;
            }
            if (!guarded->canReadLine())
                return;
            const QByteArray line = guarded->readLine(maxRequestBytes);
            if (line == "reopen\n") {
                guarded->write("ok\n");
                guarded->flush();
                Q_EMIT reopenRequested();
            }
            guarded->disconnectFromServer();
        });
    }
}

} // namespace Kivaro
