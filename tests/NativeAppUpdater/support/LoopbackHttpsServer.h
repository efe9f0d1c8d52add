#pragma once
// A small HTTPS server on 127.0.0.1 for the updater's tests, with a certificate for 127.0.0.1
// made at run time; `clientConfiguration()` trusts that certificate and nothing else, the way
// the updater's injected TLS configuration is meant to be used. Each path answers with a
// scripted reply: a body, a status, a redirect, a body that never ends, or one that stalls.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QUrl>

#include <utility>

namespace UpdaterTesting {

struct ScriptedReply {
    enum class Kind { body, redirect, endless, stall };
    Kind kind = Kind::body;
    int status = 200;
    QByteArray body;
    QString location;               // redirects
    std::optional<qint64> declaredLength; // a Content-Length other than the body's
};

class LoopbackHttpsServer final : public QObject {
    Q_OBJECT
public:
    LoopbackHttpsServer();
    // Another server, on a port of its own, with the same certificate as `other`.
    explicit LoopbackHttpsServer(const LoopbackHttpsServer *sameCertificateAs);
    ~LoopbackHttpsServer() override;

    QUrl url(const QString &path) const;
    quint16 port() const;
    void route(const QString &path, ScriptedReply reply);
    void serve(const QString &path, const QByteArray &body) { route(path, {ScriptedReply::Kind::body, 200, body, {}, {}}); }
    // The paths requested so far, in order.
    const QStringList &requests() const { return m_requests; }

    QSslConfiguration clientConfiguration() const;
    static QSslCertificate otherCertificate();

private:
    explicit LoopbackHttpsServer(const std::pair<QSslCertificate, QSslKey> &identity);
    void accept();
    void answer(QSslSocket *socket);
    void respond(QSslSocket *socket, const ScriptedReply &reply);

    QSslServer m_server;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QHash<QString, ScriptedReply> m_routes;
    QStringList m_requests;
    QList<QPointer<QSslSocket>> m_sockets;
};

} // namespace UpdaterTesting
