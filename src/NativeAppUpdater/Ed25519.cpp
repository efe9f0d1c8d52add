#include "NativeAppUpdater/Ed25519.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>
#include <stdexcept>

namespace NativeAppUpdater::Ed25519 {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

const unsigned char *bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

std::optional<KeyPair> pairOf(EVP_PKEY *key)
{
    if (!key || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519)
        return std::nullopt;
    KeyPair pair;
    size_t length = keyBytes;
    pair.privateKey.resize(keyBytes);
    if (EVP_PKEY_get_raw_private_key(key, reinterpret_cast<unsigned char *>(pair.privateKey.data()), &length) != 1
        || length != size_t(keyBytes))
        return std::nullopt;
    length = keyBytes;
    pair.publicKey.resize(keyBytes);
    if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char *>(pair.publicKey.data()), &length) != 1
        || length != size_t(keyBytes))
        return std::nullopt;
    return pair;
}

Key privateKeyOf(const QByteArray &privateKey)
{
    if (privateKey.size() != keyBytes)
        return nullptr;
    return Key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, bytes(privateKey), size_t(privateKey.size())));
}

} // namespace

KeyPair generate()
{
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    auto pair = pairOf(key.get());
    if (!pair)
        throw std::runtime_error("Ed25519 key generation failed");
    return *pair;
}

std::optional<KeyPair> fromPrivateKey(const QByteArray &privateKey)
{
    return pairOf(privateKeyOf(privateKey).get());
}

std::optional<KeyPair> fromPem(const QByteArray &pem)
{
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!bio)
        return std::nullopt;
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    return pairOf(key.get());
}

QByteArray toPem(const KeyPair &pair)
{
    Key key = privateKeyOf(pair.privateKey);
    Bio bio(BIO_new(BIO_s_mem()));
    if (!key || !bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, length);
}

QByteArray sign(const QByteArray &privateKey, const QByteArray &message)
{
    Key key = privateKeyOf(privateKey);
    Context context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return {};
    QByteArray signature(signatureBytes, Qt::Uninitialized);
    size_t length = size_t(signature.size());
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &length, bytes(message),
                       size_t(message.size())) != 1
        || length != size_t(signatureBytes))
        return {};
    return signature;
}

bool isWeakPublicKey(const QByteArray &publicKey)
{
    if (publicKey.size() != keyBytes)
        return true;
    // The y coordinates (little-endian, sign bit left out) of the eight points of small order,
    // and the two that are 0 and 1 again above the field's prime.
    static constexpr unsigned char smallOrder[][32] = {
        {0x00},
        {0x01},
        {0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4, 0x89, 0xf2, 0xef, 0x98, 0xf0,
         0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6, 0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05},
        {0xc7, 0x17, 0x6a, 0x70, 0x3d, 0x4d, 0xd8, 0x4f, 0xba, 0x3c, 0x0b, 0x76, 0x0d, 0x10, 0x67, 0x0f,
         0x2a, 0x20, 0x53, 0xfa, 0x2c, 0x39, 0xcc, 0xc6, 0x4e, 0xc7, 0xfd, 0x77, 0x92, 0xac, 0x03, 0x7a},
        {0xec, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
         0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
        {0xed, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
         0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
        {0xee, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
         0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    };
    const auto *key = reinterpret_cast<const unsigned char *>(publicKey.constData());
    for (const auto &y : smallOrder) {
        unsigned char difference = (key[31] & 0x7f) ^ y[31];
        for (int i = 0; i < 31; ++i)
            difference |= key[i] ^ y[i];
        if (difference == 0)
            return true;
    }
    return false;
}

bool verify(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature)
{
    if (publicKey.size() != keyBytes || signature.size() != signatureBytes || isWeakPublicKey(publicKey))
        return false;
    Key key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(publicKey), size_t(publicKey.size())));
    Context context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), bytes(signature), size_t(signature.size()), bytes(message), size_t(message.size())) == 1;
}

} // namespace NativeAppUpdater::Ed25519
