#pragma once
// Ed25519 signatures through OpenSSL's EVP interface (Qt has no such primitive). Keys travel as
// their 32 raw bytes; private keys can also be read from and written to PEM (PKCS #8), the form
// `openssl genpkey -algorithm ed25519` writes.

#include <QByteArray>

#include <optional>

namespace NativeAppUpdater::Ed25519 {

constexpr qsizetype keyBytes = 32;
constexpr qsizetype signatureBytes = 64;

struct KeyPair {
    QByteArray privateKey; // 32 raw bytes (the seed)
    QByteArray publicKey;  // 32 raw bytes
};

KeyPair generate();
// The pair of a raw private key; nothing for a malformed one.
std::optional<KeyPair> fromPrivateKey(const QByteArray &privateKey);
std::optional<KeyPair> fromPem(const QByteArray &pem);
QByteArray toPem(const KeyPair &pair);

// Empty for a malformed key.
QByteArray sign(const QByteArray &privateKey, const QByteArray &message);
// True for a public key that is a point of small order (the identity among them) in any of its
// encodings, the all-zero key included: for such a key signatures can be forged without the
// private key, so it is never trusted.
bool isWeakPublicKey(const QByteArray &publicKey);
// False for a malformed or weak key or signature as for a wrong one.
bool verify(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature);

} // namespace NativeAppUpdater::Ed25519
