#pragma once
// A TLS identity made at test time: a fresh P-256 key and a self-signed certificate for
// "localhost", 127.0.0.1 and any further host names given, valid from an hour ago for one day.
// Tests trust it by putting the certificate among the CA certificates of the client's TLS
// configuration.

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QStringList>

namespace TestSupport {

struct TestCertificate {
    QSslCertificate certificate;
    QSslKey key;

    // Throws std::runtime_error when OpenSSL refuses.
    static TestCertificate make(const QStringList &moreHosts = {});
    // One identity per test process, also naming the chat-completions hosts the tests reach
    // through a loopback tunnel (api.deepseek.com, api.openai.com, dashscope.aliyuncs.com,
    // openrouter.ai, api.example.com).
    static const TestCertificate &shared();

    // A server configuration presenting this identity.
    QSslConfiguration serverConfiguration() const;
    // A client configuration that trusts this certificate and nothing else.
    QSslConfiguration trustingConfiguration() const;
};

} // namespace TestSupport
