#include "Support/TestCertificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace TestSupport {

namespace {

template <typename T, void (*Free)(T *)>
using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

void require(bool condition, const char *what)
{
    if (!condition)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

void addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    Owned<X509_EXTENSION, X509_EXTENSION_free> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    require(extension && X509_add_ext(certificate, extension.get(), -1) == 1, "extension");
}

QByteArray pem(int (*write)(BIO *, void *), void *object)
{
    Owned<BIO, BIO_free_all> bio(BIO_new(BIO_s_mem()));
    require(bio && write(bio.get(), object) == 1, "PEM");
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, size);
}

} // namespace

TestCertificate TestCertificate::make(const QStringList &moreHosts)
{
    Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
    require(bool(key), "key");
    Owned<X509, X509_free> certificate(X509_new());
    require(bool(certificate), "certificate");
    X509_set_version(certificate.get(), 2);
    unsigned char serial[16];
    require(RAND_bytes(serial, sizeof serial) == 1, "serial");
    serial[0] &= 0x7F;
    Owned<BIGNUM, BN_free> number(BN_bin2bn(serial, sizeof serial, nullptr));
    require(number && BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())), "serial");
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    require(X509_set_pubkey(certificate.get(), key.get()) == 1, "public key");
    X509_NAME *name = X509_get_subject_name(certificate.get());
    const QByteArray cn = "localhost";
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(cn.constData()), -1, -1, 0);
    require(X509_set_issuer_name(certificate.get(), name) == 1, "issuer");
    addExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(certificate.get(), NID_ext_key_usage, "serverAuth");
    QByteArray names = "DNS:localhost,IP:127.0.0.1";
    for (const QString &host : moreHosts)
        names += ",DNS:" + host.toUtf8();
    addExtension(certificate.get(), NID_subject_alt_name, names.constData());
    addExtension(certificate.get(), NID_subject_key_identifier, "hash");
    require(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "signature");

    TestCertificate made;
    made.certificate = QSslCertificate(pem([](BIO *bio, void *x) { return PEM_write_bio_X509(bio, static_cast<X509 *>(x)); }, certificate.get()));
    made.key = QSslKey(pem([](BIO *bio, void *k) {
                           return PEM_write_bio_PrivateKey(bio, static_cast<EVP_PKEY *>(k), nullptr, nullptr, 0, nullptr, nullptr);
                       },
                           key.get()),
                       QSsl::Ec);
    require(!made.certificate.isNull() && !made.key.isNull(), "Qt refused the identity");
    return made;
}

const TestCertificate &TestCertificate::shared()
{
    static const TestCertificate made = make({QStringLiteral("api.deepseek.com"), QStringLiteral("api.openai.com"),
                                              QStringLiteral("dashscope.aliyuncs.com"), QStringLiteral("openrouter.ai"),
                                              QStringLiteral("api.example.com")});
    return made;
}

QSslConfiguration TestCertificate::serverConfiguration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

QSslConfiguration TestCertificate::trustingConfiguration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates({certificate});
    return configuration;
}

} // namespace TestSupport
