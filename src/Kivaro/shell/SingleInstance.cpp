#include "Kivaro/shell/SingleInstance.h"

#include "Kivaro/shell/internal/InstanceListener.h"
#include "KivaroCore/Localization.h"
#include "Platform/Files/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace Kivaro {

namespace {
constexpr int maxRequestBytes = 64;
constexpr int clientPatienceMs = 2000;
// A socket some other launch placed between our look and our own placing is asked again, a
// few times at most.
constexpr int placingAttempts = 3;

QString folderRefusal(const QString &folder, const Platform::FolderFault &fault)
{
    using Kind = Platform::FolderFault::Kind;
    QString why;
    switch (fault.kind) {
    case Kind::missing:
        why = kivaroFormat("无法创建文件夹 %@。", folder);
        break;
    case Kind::symbolicLink:
        why = kivaroFormat("%@ 是符号链接，不是文件夹。", folder);
        break;
    case Kind::notFolder:
        why = kivaroFormat("%@ 不是文件夹。", folder);
        break;
    case Kind::notOwned:
        why = kivaroFormat("文件夹 %@ 属于其他用户。", folder);
        break;
    case Kind::notPrivate:
        why = kivaroFormat("文件夹 %@ 的权限是 %@，应为 700。", folder, QString::number(fault.mode, 8));
        break;
    }
    return kivaroFormat("Kivaro 找不到安全的位置来确认它是否已在运行：%@请处理后重试，或把 XDG_RUNTIME_DIR 设为只有你能访问的文件夹（权限 700）。",
                        why);
}
} // namespace

SingleInstance::SingleInstance(QString path, QObject *parent) : QObject(parent), m_path(std::move(path)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Location SingleInstance::location(const QString &display)
{
    const QString name = serverName(display);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && !Platform::privateFolderFault(runtime))
        return {QDir(runtime).filePath(name), {}};
    // Without a runtime folder (a session started without a login manager, su, a remote
    // shell), one of ours in the shared temporary folder. Anyone can create names there, so it
    // must be a folder we made for ourselves: a name another user took first, or a link, would
    // let them answer our hand-off and swallow every launch.
    const QString fallback = QDir(QDir::tempPath()).filePath(QStringLiteral("kivaro-runtime-%1").arg(::geteuid()));
    ::mkdir(QFile::encodeName(fallback).constData(), 0700); // one already there is checked below
    if (const auto fault = Platform::privateFolderFault(fallback))
        return {{}, folderRefusal(fallback, *fault)};
    return {QDir(fallback).filePath(name), {}};
}

QString SingleInstance::serverName(const QString &display)
{
    QString safe;
    for (const QChar c : display)
        safe.append(c.isLetterOrNumber() ? c : QChar(u'_'));
    return QStringLiteral("kivaro-%1-%2").arg(::getuid()).arg(safe.isEmpty() ? QStringLiteral("none") : safe);
}

QString SingleInstance::busyMessage()
{
    return kivaroCopy("Kivaro 已在运行，但没有响应（可能正忙或已暂停），因此没有再启动一个 Kivaro。请稍后再试。");
}

SingleInstance::Answer SingleInstance::handOff(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(timeoutMs)) {
        switch (socket.error()) {
        case QLocalSocket::ServerNotFoundError:
            return Answer::missing;
        case QLocalSocket::ConnectionRefusedError:
            return Answer::refused;
        default:
            // A full queue or a socket we may not use: something is there.
            return Answer::silent;
        }
    }
    socket.write("reopen\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return Answer::silent;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < maxRequestBytes) {
        if (!socket.waitForReadyRead(timeoutMs))
            break;
        answer += socket.readAll();
    }
    return answer.startsWith("ok\n") ? Answer::taken : Answer::silent;
}

SingleInstance::Claim SingleInstance::claim(int timeoutMs)
{
    if (isListening())
        return Claim::serving;
    for (int attempt = 0; attempt < placingAttempts; ++attempt) {
        const Answer answer = handOff(timeoutMs);
        if (answer == Answer::taken)
            return Claim::handedOff;
        if (answer == Answer::silent)
            return Claim::busy;
        if (!m_listener)
            m_listener = std::make_unique<Shell::detail::InstanceListener>(m_path, maxClients, [this](QLocalSocket *client) { serve(client); });
        switch (m_listener->listen(answer == Answer::refused)) {
        case Shell::detail::InstanceListener::Placed::listening:
            if (QCoreApplication *application = QCoreApplication::instance())
                connect(application, &QCoreApplication::aboutToQuit, this, &SingleInstance::stopServing, Qt::UniqueConnection);
            return Claim::serving;
        case Shell::detail::InstanceListener::Placed::failed:
            return Claim::alone;
        case Shell::detail::InstanceListener::Placed::taken:
            break;
        }
    }
    return Claim::busy;
}

bool SingleInstance::isListening() const
{
    return m_listener && m_listener->isListening();
}

void SingleInstance::stopServing()
{
    if (m_listener)
        m_listener->close();
}

void SingleInstance::serve(QLocalSocket *client)
{
    QPointer<QLocalSocket> guarded(client);
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    QTimer::singleShot(clientPatienceMs, client, [guarded] {
        if (guarded) {
            guarded->abort();
            guarded->deleteLater();
        }
    });
    connect(client, &QLocalSocket::readyRead, this, [this, guarded] {
        if (!guarded)
            return;
        if (guarded->bytesAvailable() > maxRequestBytes) {
            guarded->abort();
            guarded->deleteLater();
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

} // namespace Kivaro
