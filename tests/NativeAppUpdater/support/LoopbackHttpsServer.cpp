#include "LoopbackHttpsServer.h"

#include <QRandomGenerator>
#include <QSslSocket>
#include <QTimer>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace UpdaterTesting {

namespace {

struct Identity {
    QSslCertificate certificate;
    QSslKey key;
};

QByteArray pemOf(const std::function<int(BIO *)> &write)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || write(bio.get()) != 1)
        throw std::runtime_error("cannot write PEM");
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, length);
}

// A self-signed P-256 certificate for 127.0.0.1, valid from a day ago to a day ahead.
Identity makeIdentity(const char *commonName)
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    if (!key || !certificate)
        throw std::runtime_error("cannot make a test certificate");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), long(QRandomGenerator::global()->bounded(1, 1 << 30)));
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME *name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(commonName), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
    for (const auto &[nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"}, std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
        X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        X509_add_ext(certificate.get(), extension, -1);
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0)
        throw std::runtime_error("cannot sign the test certificate");
    const QByteArray certificatePem = pemOf([&](BIO *bio) { return PEM_write_bio_X509(bio, certificate.get()); });
    const QByteArray keyPem = pemOf([&](BIO *bio) { return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr); });
    return {QSslCertificate(certificatePem, QSsl::Pem), QSslKey(keyPem, QSsl::Ec, QSsl::Pem)};
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

LoopbackHttpsServer::LoopbackHttpsServer()
    : LoopbackHttpsServer([] {
          const Identity identity = makeIdentity("127.0.0.1");
          return std::pair(identity.certificate, identity.key);
      }())
{
}

LoopbackHttpsServer::LoopbackHttpsServer(const LoopbackHttpsServer *sameCertificateAs)
    : LoopbackHttpsServer(std::pair(sameCertificateAs->m_certificate, sameCertificateAs->m_key))
{
}

LoopbackHttpsServer::LoopbackHttpsServer(const std::pair<QSslCertificate, QSslKey> &identity)
    : m_certificate(identity.first), m_key(identity.second)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(m_certificate);
    configuration.setPrivateKey(m_key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_server.setSslConfiguration(configuration);
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, &LoopbackHttpsServer::accept);
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the loopback server cannot listen");
}

LoopbackHttpsServer::~LoopbackHttpsServer()
{
    for (const auto &socket : std::as_const(m_sockets)) {
        if (socket)
            socket->abort();
    }
}

QUrl LoopbackHttpsServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port()).arg(path));
}

quint16 LoopbackHttpsServer::port() const
{
    return m_server.serverPort();
}

void LoopbackHttpsServer::route(const QString &path, ScriptedReply reply)
{
    m_routes.insert(path, std::move(reply));
}

QSslConfiguration LoopbackHttpsServer::clientConfiguration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates({m_certificate});
    return configuration;
}

QSslCertificate LoopbackHttpsServer::otherCertificate()
{
    return makeIdentity("127.0.0.1").certificate;
}

void LoopbackHttpsServer::accept()
{
    while (QTcpSocket *connection = m_server.nextPendingConnection()) {
        auto *socket = qobject_cast<QSslSocket *>(connection);
        if (!socket) {
            connection->deleteLater();
            continue;
        }
        m_sockets << socket;
        connect(socket, &QSslSocket::readyRead, this, [this, socket] { answer(socket); });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable())
            answer(socket);
    }
}

void LoopbackHttpsServer::answer(QSslSocket *socket)
{
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    // Requests are answered in turn as long as the connection lives (GET only: no bodies).
    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0 && !socket->property("closing").toBool(); end = buffer.indexOf("\r\n\r\n")) {
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
        const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
        m_requests << path;
        respond(socket, m_routes.value(path, ScriptedReply{ScriptedReply::Kind::body, 404, "missing", {}, {}}));
    }
    socket->setProperty("request", buffer);
}

void LoopbackHttpsServer::respond(QSslSocket *socket, const ScriptedReply &reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    switch (reply.kind) {
    case ScriptedReply::Kind::redirect:
        socket->write(head + "Location: " + reply.location.toUtf8() + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->setProperty("closing", true);
        socket->disconnectFromHost();
        return;
    case ScriptedReply::Kind::body:
        socket->write(head + "Content-Length: " + QByteArray::number(reply.declaredLength.value_or(reply.body.size())) + "\r\n\r\n"
                      + reply.body);
        return;
    case ScriptedReply::Kind::endless: {
        // No length: the body goes on until the client stops reading.
        socket->setProperty("closing", true);
        socket->write(head + "Connection: close\r\n\r\n");
        auto *timer = new QTimer(socket);
        const QByteArray block(64 * 1024, 'x');
        connect(timer, &QTimer::timeout, socket, [socket, block] {
            if (socket->bytesToWrite() < 1024 * 1024)
                socket->write(block);
        });
        timer->start(1);
        return;
    }
    case ScriptedReply::Kind::stall:
        socket->setProperty("closing", true);
        socket->write(head + "Content-Length: " + QByteArray::number(reply.body.size() + 1000) + "\r\n\r\n" + reply.body);
        return;
    }
}

} // namespace UpdaterTesting
