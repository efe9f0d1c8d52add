#include "Support/LoopbackChatServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace TestSupport {

namespace {

// Bytes of one connection not yet parsed into a request.
const char *kPending = "kivaroPending";
// Set on a connection while its answer is still being written.
const char *kAnswering = "kivaroAnswering";

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 401:
        return "Unauthorized";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray head(int status, const QList<QByteArray> &headers)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    for (const QByteArray &header : headers)
        out += header + "\r\n";
    return out + "\r\n";
}

} // namespace

LoopbackChatServer::LoopbackChatServer(const TestCertificate &identity, QObject *parent)
    : QTcpServer(parent), m_configuration(identity.serverConfiguration()), m_answer(completion(QStringLiteral("好")))
{
    if (!listen(QHostAddress::LocalHost))
        qFatal("loopback server: %s", qPrintable(errorString()));
}

LoopbackChatServer::~LoopbackChatServer()
{
    for (const QPointer<QSslSocket> &socket : std::as_const(m_sockets))
        delete socket.data();
}

QString LoopbackChatServer::address(const QString &path) const
{
    return QStringLiteral("https://127.0.0.1:%1%2").arg(serverPort()).arg(path);
}

void LoopbackChatServer::incomingConnection(qintptr descriptor)
{
    ++m_connections;
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    m_sockets << socket;
    socket->setSslConfiguration(m_configuration);
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QSslSocket::disconnected, this, [this, socket] {
        if (socket->property(kAnswering).toBool())
            ++m_abandoned;
        socket->setProperty(kAnswering, false);
        socket->deleteLater();
    });
    socket->startServerEncryption();
}

void LoopbackChatServer::readFrom(QSslSocket *socket)
{
    QByteArray pending = socket->property(kPending).toByteArray() + socket->readAll();
    for (;;) {
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0)
            break;
        const QList<QByteArray> lines = pending.left(end).split('\n');
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.header("content-length").toLongLong();
        if (pending.size() < end + 4 + length)
            break;
        request.body = pending.mid(end + 4, length);
        pending.remove(0, end + 4 + length);
        m_requests << request;
        socket->setProperty(kAnswering, true);
        m_answer(request, socket);
    }
    socket->setProperty(kPending, pending);
}

void LoopbackChatServer::write(QSslSocket *socket, int status, const QByteArray &body, const QList<QByteArray> &extraHeaders)
{
    QList<QByteArray> headers = extraHeaders;
    headers << "Content-Length: " + QByteArray::number(body.size()) << "Connection: close";
    socket->write(head(status, headers) + body);
    socket->setProperty(kAnswering, false);
    socket->disconnectFromHost();
}

LoopbackChatServer::Answer LoopbackChatServer::json(int status, QByteArray body)
{
    return [status, body](const Request &, QSslSocket *socket) { write(socket, status, body, {"Content-Type: application/json"}); };
}

LoopbackChatServer::Answer LoopbackChatServer::completion(const QString &content)
{
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")}, {QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("index"), 0}, {QStringLiteral("message"), message}};
    const QJsonObject reply{{QStringLiteral("id"), QStringLiteral("chatcmpl-1")}, {QStringLiteral("choices"), QJsonArray{choice}}};
    return json(200, QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

LoopbackChatServer::Answer LoopbackChatServer::redirect(int status, const QString &location)
{
    return [status, location](const Request &, QSslSocket *socket) {
        write(socket, status, QByteArray(), {"Location: " + location.toUtf8()});
    };
}

LoopbackChatServer::Answer LoopbackChatServer::endless(qint64 size)
{
    return [size](const Request &, QSslSocket *socket) {
        socket->write(head(200, {"Content-Type: application/json", "Connection: close"}));
        socket->write("{\"choices\":[{\"message\":{\"content\":\"");
        // Written in pieces as the socket drains, so the client sees a stream, not one burst.
        auto remaining = std::make_shared<qint64>(size);
        auto more = [socket, remaining] {
            if (*remaining <= 0 || socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 256 * 1024)
                return;
            const qint64 piece = std::min<qint64>(*remaining, 64 * 1024);
            *remaining -= piece;
            socket->write(QByteArray(piece, 'a'));
            if (*remaining <= 0) {
                socket->write("\"}}]}");
                socket->setProperty(kAnswering, false);
                socket->disconnectFromHost();
            }
        };
        QObject::connect(socket, &QSslSocket::encryptedBytesWritten, socket, more);
        more();
    };
}

LoopbackChatServer::Answer LoopbackChatServer::drip(qint64 declared, std::chrono::milliseconds interval)
{
    return [declared, interval](const Request &, QSslSocket *socket) {
        socket->write(head(200, {"Content-Type: application/json", "Content-Length: " + QByteArray::number(declared)}));
        auto *timer = new QTimer(socket);
        timer->setInterval(interval);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write(" "); });
        timer->start();
    };
}

LoopbackChatServer::Answer LoopbackChatServer::after(std::chrono::milliseconds delay, Answer answer)
{
    return [delay, answer = std::move(answer)](const Request &request, QSslSocket *socket) {
        QTimer::singleShot(delay, socket, [request, socket, answer] { answer(request, socket); });
    };
}

LoopbackChatServer::Answer LoopbackChatServer::silence()
{
    return [](const Request &, QSslSocket *) {};
}

} // namespace TestSupport
