#pragma once
// A chat-completions service on the loopback interface, over TLS with a certificate made at
// test time. It records every connection and every request (method, path, headers, body) and
// answers each request as the test scripted: a status with a body, a redirect, an endless or a
// dripping body, or nothing at all.
//
// Runs on the main thread; the test drives it through the event loop.

#include "Support/TestCertificate.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>

#include <chrono>
#include <functional>

namespace TestSupport {

class LoopbackChatServer final : public QTcpServer {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
    };

    // What the server does with one request. `socket` is the request's connection.
    using Answer = std::function<void(const Request &request, QSslSocket *socket)>;

    explicit LoopbackChatServer(const TestCertificate &identity, QObject *parent = nullptr);
    ~LoopbackChatServer() override;

    // "https://127.0.0.1:<port><path>".
    QString address(const QString &path = QStringLiteral("/v1")) const;

    void setAnswer(Answer answer) { m_answer = std::move(answer); }

    // TCP connections accepted so far, handshake or not.
    int connectionCount() const { return m_connections; }
    const QList<Request> &requests() const { return m_requests; }
    // Connections whose peer closed before the answer was complete.
    int abandonedCount() const { return m_abandoned; }

    // Ready-made answers.
    static Answer json(int status, QByteArray body);
    static Answer completion(const QString &content);
    static Answer redirect(int status, const QString &location);
    // `size` bytes of a JSON string value, without a Content-Length: the connection's end ends it.
    static Answer endless(qint64 size);
    // Declares `declared` bytes and sends one byte every `interval`.
    static Answer drip(qint64 declared, std::chrono::milliseconds interval);
    // Reads the request and never answers it.
    static Answer silence();
    // Says nothing for `delay`, then answers as `answer` does.
    static Answer after(std::chrono::milliseconds delay, Answer answer);

    static void write(QSslSocket *socket, int status, const QByteArray &body, const QList<QByteArray> &extraHeaders = {});

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void readFrom(QSslSocket *socket);

    QSslConfiguration m_configuration;
    Answer m_answer;
    QList<Request> m_requests;
    QList<QPointer<QSslSocket>> m_sockets;
    int m_connections = 0;
    int m_abandoned = 0;
};

} // namespace TestSupport
