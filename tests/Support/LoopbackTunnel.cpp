#include "Support/LoopbackTunnel.h"

#include <QTcpSocket>

namespace TestSupport {

LoopbackTunnel::LoopbackTunnel(quint16 targetPort, QObject *parent) : QTcpServer(parent), m_targetPort(targetPort)
{
    if (!listen(QHostAddress::LocalHost))
        qFatal("loopback tunnel: %s", qPrintable(errorString()));
}

void LoopbackTunnel::incomingConnection(qintptr descriptor)
{
    auto *client = new QTcpSocket(this);
    if (!client->setSocketDescriptor(descriptor)) {
        delete client;
        return;
    }
    auto *upstream = new QTcpSocket(client);
    auto request = std::make_shared<QByteArray>();
    connect(client, &QTcpSocket::readyRead, this, [this, client, upstream, request] {
        if (upstream->state() == QAbstractSocket::ConnectedState && request->isEmpty()) {
            upstream->write(client->readAll());
            return;
        }
        *request += client->readAll();
        const qsizetype end = request->indexOf("\r\n\r\n");
        if (end < 0 || upstream->state() != QAbstractSocket::UnconnectedState)
            return;
        const QList<QByteArray> words = request->left(request->indexOf("\r\n")).split(' ');
        m_targets << QString::fromLatin1(words.value(1));
        const QByteArray early = request->mid(end + 4);
        request->clear();
        connect(upstream, &QTcpSocket::connected, client, [client, upstream, early] {
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
            if (!early.isEmpty())
                upstream->write(early);
        });
        upstream->connectToHost(QHostAddress::LocalHost, m_targetPort);
    });
    connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
    connect(upstream, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
    connect(client, &QTcpSocket::disconnected, client, [client, upstream] {
        upstream->disconnectFromHost();
        client->deleteLater();
    });
}

} // namespace TestSupport
