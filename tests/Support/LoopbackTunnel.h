#pragma once
// An HTTP proxy on the loopback interface that answers every CONNECT by tunnelling to one
// local port, whatever host was asked for. With it as the application's proxy, a request to
// "https://api.example.com" reaches a LoopbackChatServer whose certificate names that host, so
// tests see the exact bytes a client sends to a named service without any name resolution.

#include <QTcpServer>
#include <QStringList>

namespace TestSupport {

class LoopbackTunnel final : public QTcpServer {
    Q_OBJECT
public:
    explicit LoopbackTunnel(quint16 targetPort, QObject *parent = nullptr);

    // "host:port" of every CONNECT, in order.
    const QStringList &targets() const { return m_targets; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    quint16 m_targetPort;
    QStringList m_targets;
};

} // namespace TestSupport
