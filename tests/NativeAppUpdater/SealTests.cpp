// The bundle seal's canonical form and rules, the signatures over it, and the verification of a
// bundle on disk against it.

#include "UpdaterTestSupport.h"

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QProcess>

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <elf.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace NativeAppUpdater;
using namespace UpdaterTesting;

namespace {

SealEntry folder(const char *path, int mode = 0755)
{
    return {QString::fromLatin1(path), SealEntry::Type::directory, mode, 0, {}, {}};
}

SealEntry file(const char *path, int mode = 0644, qint64 size = 3)
{
    return {QString::fromLatin1(path), SealEntry::Type::file, mode, size, QByteArray(32, '\xab'), {}};
}

SealEntry sealedLink(const char *path, const char *target)
{
    return {QString::fromLatin1(path), SealEntry::Type::link, 0, 0, {}, QString::fromLatin1(target)};
}

SealHeader header()
{
    return {QStringLiteral("app.kivaro.Kivaro"), QStringLiteral("TESTTEAM01"), QStringLiteral("1.0"), 1, QStringLiteral("bin/kivaro")};
}

QList<SealEntry> goodEntries()
{
    return {file("Info.plist"), folder("bin"), file("bin/kivaro", 0755), folder("lib"), sealedLink("lib/libx.so", "libx.so.1"),
            file("lib/libx.so.1")};
}

std::optional<QString> refusal(const QList<SealEntry> &entries, const NativeUpdateLimits &limits = {})
{
    try {
        CodeSeal seal(header(), entries, limits);
        return std::nullopt;
    } catch (const SealError &error) {
        return QString::fromUtf8(error.what());
    }
}

std::optional<QString> parseRefusal(const QByteArray &bytes)
{
    try {
        CodeSeal::parse(bytes);
        return std::nullopt;
    } catch (const SealError &error) {
        return QString::fromUtf8(error.what());
    }
}

std::optional<QString> bundleRefusal(const QString &bundle, const NativeUpdateConfiguration &config = configuration())
{
    try {
        NativeCodeSignature::verifyBundle(bundle, config, {QStringLiteral("1.0"), 1});
        return std::nullopt;
    } catch (const NativeUpdateInstaller::Error &error) {
        return error.detail();
    }
}

class SignedBundle : public ::testing::Test {
protected:
    QTemporaryDir m_folder;
    QString m_bundle = makeBundle(m_folder.path(), {});
    QString at(const char *relative) const { return m_bundle + QLatin1Char('/') + QLatin1String(relative); }
};

} // namespace

TEST(CodeSeal, RoundTripsItsCanonicalText)
{
    const CodeSeal seal(header(), goodEntries());
    const QByteArray text = seal.serialize();
    EXPECT_TRUE(text.startsWith("KivaroSeal 1\nidentifier app.kivaro.Kivaro\nteam TESTTEAM01\nversion 1.0\nbuild 1\n"));
    EXPECT_TRUE(text.contains("\nl - - libx.so.1 lib/libx.so\n"));
    EXPECT_EQ(CodeSeal::parse(text).entries(), seal.entries());

    SealHeader spaced = header();
    spaced.version = QStringLiteral("2.0 beta");
    QList<SealEntry> entries = goodEntries();
    entries.insert(1, file("Read me.txt"));
    const CodeSeal escaped(spaced, entries);
    EXPECT_TRUE(escaped.serialize().contains("version 2.0%20beta\n"));
    EXPECT_EQ(CodeSeal::parse(escaped.serialize()).header(), spaced);
}

TEST(CodeSeal, ParsingRefusesAnythingButTheCanonicalForm)
{
    const QByteArray text = CodeSeal(header(), goodEntries()).serialize();
    const std::pair<QByteArray, QByteArray> edits[] = {
        {"f 755 ", "f 0755 "},                                 // leading zero
        {QByteArray(64, 'a').replace('a', "ab").left(64), QByteArray(64, 'A').replace('A', "AB").left(64)}, // upper-case digest
        {"d 755 - - bin\n", "d 755 - - bin\nd 755 - - bin\n"}, // repeated entry
        {"entries 6", "entries 7"},
        {"build 1\n", "build 01\n"},
        {"lib/libx.so\n", "lib/libx.so \n"},
    };
    for (const auto &[from, to] : edits) {
        QByteArray edited = text;
        edited.replace(from, to);
        ASSERT_NE(edited, text) << from.constData();
        EXPECT_NE(parseRefusal(edited), std::nullopt) << to.constData();
    }
    EXPECT_NE(parseRefusal(text.chopped(1)), std::nullopt);
    EXPECT_NE(parseRefusal(QByteArray(9 * 1024 * 1024, 'x')), std::nullopt);
}

TEST(CodeSeal, RefusesUnsafeModesLinksAndLayouts)
{
    auto with = [](std::function<void(QList<SealEntry> &)> change) {
        QList<SealEntry> entries = goodEntries();
        change(entries);
        return refusal(entries);
    };
    EXPECT_EQ(refusal(goodEntries()), std::nullopt);
    EXPECT_NE(with([](auto &e) { e[2].mode = 04755; }), std::nullopt);          // set-uid executable
    EXPECT_NE(with([](auto &e) { e[1].mode = 02755; }), std::nullopt);          // set-gid folder
    EXPECT_NE(with([](auto &e) { e[5].mode = 0664; }), std::nullopt);           // group-writable
    EXPECT_NE(with([](auto &e) { e[3].mode = 0757; }), std::nullopt);           // world-writable folder
    EXPECT_NE(with([](auto &e) { e[2].mode = 0644; }), std::nullopt);           // executable not executable
    EXPECT_NE(with([](auto &e) { e.removeFirst(); }), std::nullopt);            // no Info.plist
    EXPECT_NE(with([](auto &e) { e[4].target = QStringLiteral("../../etc/passwd"); }), std::nullopt);
    EXPECT_NE(with([](auto &e) { e[4].target = QStringLiteral("/etc/passwd"); }), std::nullopt);
    EXPECT_NE(with([](auto &e) { e[4].target = QStringLiteral("missing.so"); }), std::nullopt);
    EXPECT_EQ(with([](auto &e) { e[4].target = QStringLiteral("../bin/./kivaro"); }), std::nullopt);
    EXPECT_NE(with([](auto &e) { e.insert(4, sealedLink("lib/a", "libx.so")); e[5].target = QStringLiteral("a"); }), std::nullopt);
    EXPECT_NE(with([](auto &e) { e << sealedLink("lib/z", "../lib/libx.so/../libx.so.1"); }), std::nullopt); // through a file
    EXPECT_NE(with([](auto &e) { e.insert(5, file("lib/libx.so/inner")); }), std::nullopt);           // below a link
    EXPECT_NE(with([](auto &e) { e << file("share/loose"); }), std::nullopt);                          // parent unsealed
    EXPECT_NE(with([](auto &e) { e.insert(1, folder("_CodeSignature")); }), std::nullopt);
    EXPECT_NE(with([](auto &e) { std::swap(e[1], e[2]); }), std::nullopt); // out of order
    EXPECT_NE(with([](auto &e) { e << file("lib/../x"); }), std::nullopt);

    NativeUpdateLimits limits;
    limits.entries = 5;
    EXPECT_NE(refusal(goodEntries(), limits), std::nullopt);
    limits = {};
    limits.unpackedBytes = 8;
    EXPECT_NE(refusal(goodEntries(), limits), std::nullopt);
    limits = {};
    limits.depth = 1;
    EXPECT_NE(refusal(goodEntries(), limits), std::nullopt);
}

TEST(Ed25519Signatures, VerifyOnlyWithTheMatchingKeyAndMessage)
{
    const auto pair = Ed25519::generate();
    const auto other = Ed25519::generate();
    const QByteArray signature = Ed25519::sign(pair.privateKey, "seal");
    EXPECT_EQ(signature.size(), 64);
    EXPECT_TRUE(Ed25519::verify(pair.publicKey, "seal", signature));
    EXPECT_FALSE(Ed25519::verify(other.publicKey, "seal", signature));
    EXPECT_FALSE(Ed25519::verify(pair.publicKey, "seal!", signature));
    EXPECT_FALSE(Ed25519::verify(pair.publicKey, "seal", signature.left(63)));
    EXPECT_FALSE(Ed25519::verify(QByteArray(31, 'k'), "seal", signature));
    const auto reread = Ed25519::fromPem(Ed25519::toPem(pair));
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->publicKey, pair.publicKey);
    EXPECT_EQ(Ed25519::fromPem("not a key"), std::nullopt);
}

namespace {

// Every 32-byte encoding of an Ed25519 point of small order, worked out here from the curve:
// y = 1 (the identity), p - 1, 0, the four y of the points of order 8, and 0 and 1 written as p
// and p + 1; each with either sign bit.
QList<QByteArray> smallOrderEncodings()
{
    using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
    const auto number = [] { return Bn(BN_new(), BN_free); };
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> context(BN_CTX_new(), BN_CTX_free);
    Bn p = number(), d = number(), t = number(), u = number(), one = number();
    BN_one(one.get());
    BN_set_bit(p.get(), 255);
    BN_sub_word(p.get(), 19);
    // d = -121665 / 121666
    BN_set_word(t.get(), 121666);
    BN_mod_inverse(u.get(), t.get(), p.get(), context.get());
    BN_set_word(t.get(), 121665);
    BN_mod_mul(d.get(), t.get(), u.get(), p.get(), context.get());
    BN_mod_sub(d.get(), p.get(), d.get(), p.get(), context.get());
    std::vector<Bn> ys;
    const auto add = [&](const BIGNUM *y) {
        ys.push_back(number());
        BN_copy(ys.back().get(), y);
    };
    add(one.get());
    BN_sub(t.get(), p.get(), one.get());
    add(t.get());
    BN_zero(t.get());
    add(t.get());
    // Order 8: 2P = (±sqrt(-1), 0), so y^2 = (-1 ± sqrt(1 + d)) / d.
    Bn root = number(), inverse = number(), square = number(), y = number();
    BN_mod_add(t.get(), one.get(), d.get(), p.get(), context.get());
    EXPECT_TRUE(BN_mod_sqrt(root.get(), t.get(), p.get(), context.get()));
    BN_mod_inverse(inverse.get(), d.get(), p.get(), context.get());
    for (const bool plus : {true, false}) {
        if (plus)
            BN_mod_sub(t.get(), root.get(), one.get(), p.get(), context.get());
        else
            BN_mod_sub(t.get(), p.get(), root.get(), p.get(), context.get()), BN_mod_sub(t.get(), t.get(), one.get(), p.get(), context.get());
        BN_mod_mul(square.get(), t.get(), inverse.get(), p.get(), context.get());
        ERR_set_mark();
        if (BN_mod_sqrt(y.get(), square.get(), p.get(), context.get()) && BN_mod_sqr(t.get(), y.get(), p.get(), context.get())
            && BN_cmp(t.get(), square.get()) == 0) {
            add(y.get());
            BN_sub(t.get(), p.get(), y.get());
            add(t.get());
        }
        ERR_pop_to_mark();
    }
    add(p.get());
    BN_add(t.get(), p.get(), one.get());
    add(t.get());
    QList<QByteArray> encodings;
    for (const Bn &value : ys) {
        QByteArray bytes(32, '\0');
        BN_bn2lebinpad(value.get(), reinterpret_cast<unsigned char *>(bytes.data()), 32);
        encodings << bytes;
        bytes[31] = char(bytes[31] | 0x80);
        encodings << bytes;
    }
    return encodings;
}

// Verifies with OpenSSL alone, as the updater once did.
bool opensslVerifies(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature)
{
    EVP_PKEY *key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char *>(publicKey.constData()), 32);
    if (!key)
        return false;
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    const bool verified = EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key) == 1
                          && EVP_DigestVerify(context, reinterpret_cast<const unsigned char *>(signature.constData()), size_t(signature.size()),
                                              reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size()))
                                 == 1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return verified;
}

} // namespace

TEST(Ed25519Signatures, WeakKeysAreNeverTrusted)
{
    const QList<QByteArray> weak = smallOrderEncodings();
    ASSERT_EQ(weak.size(), 14);
    // With a key of small order, S = 0 and R one of the small-order points forges a signature
    // when R = -h*A, where h hashes R, A and the message: whether one of the encodings does
    // depends on the message, so the message is fixed and the count is this message's.
    const QByteArray message = "a forged seal";
    int forged = 0;
    for (const QByteArray &key : weak) {
        EXPECT_TRUE(Ed25519::isWeakPublicKey(key)) << key.toHex().toStdString();
        bool forgedHere = false;
        for (const QByteArray &r : weak) {
            const QByteArray signature = r + QByteArray(32, '\0');
            forgedHere = forgedHere || opensslVerifies(key, message, signature);
            EXPECT_FALSE(Ed25519::verify(key, message, signature));
        }
        forged += forgedHere;
        // Neither the configuration nor the trust takes such a key.
        EXPECT_TRUE(NativeUpdateTrust::keysFromBase64({QString::fromLatin1(key.toBase64())}).isEmpty());
        NativeUpdateTrust trust{{key}, {key}};
        EXPECT_FALSE(trust.isComplete());
    }
    EXPECT_EQ(forged, 10) << "forgeries under small-order keys are possible with OpenSSL alone";
    // The identity key and all zeros, as the issue named them.
    EXPECT_TRUE(Ed25519::isWeakPublicKey(QByteArray(32, '\0')));
    EXPECT_TRUE(Ed25519::isWeakPublicKey(QByteArray("\x01", 1) + QByteArray(31, '\0')));
    // Real keys stay trusted.
    for (int i = 0; i < 50; ++i) {
        const auto pair = Ed25519::generate();
        EXPECT_FALSE(Ed25519::isWeakPublicKey(pair.publicKey));
        EXPECT_EQ(NativeUpdateTrust::keysFromBase64({QString::fromLatin1(pair.publicKey.toBase64())}), QList<QByteArray>{pair.publicKey});
    }
    EXPECT_TRUE(configuration().trust.isComplete());

    // The build option stops the configuration for each of them, and only for them.
    const auto buildAccepts = [](const QByteArray &key) {
        QProcess cmake;
        cmake.start(QStringLiteral(KIVARO_CMAKE_COMMAND), {QStringLiteral("-DKEYS=") + QString::fromLatin1(key.toBase64()), QStringLiteral("-P"),
                                                           QStringLiteral(KIVARO_SOURCE_DIR "/cmake/KivaroReleaseKeys.cmake")});
        cmake.waitForFinished(30'000);
        const QByteArray err = cmake.readAllStandardError();
        return std::pair(cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0, err);
    };
    for (const QByteArray &key : weak) {
        const auto [accepted, message] = buildAccepts(key);
        EXPECT_FALSE(accepted) << key.toHex().toStdString();
        EXPECT_TRUE(message.simplified().contains("is a weak Ed25519 key")) << message.constData();
    }
    EXPECT_TRUE(buildAccepts(Ed25519::generate().publicKey).first);
}

TEST(ExecutableCheck, AcceptsOnlyElfProgramsForThisMachine)
{
    QFile application(testApplication());
    ASSERT_TRUE(application.open(QIODevice::ReadOnly));
    QByteArray head = application.read(sizeof(Elf64_Ehdr));
    EXPECT_TRUE(NativeCodeSignature::isExecutableForThisMachine(head));
    QByteArray foreign = head;
    Elf64_Ehdr elf;
    std::memcpy(&elf, foreign.constData(), sizeof elf);
    elf.e_machine = elf.e_machine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;
    std::memcpy(foreign.data(), &elf, sizeof elf);
    EXPECT_FALSE(NativeCodeSignature::isExecutableForThisMachine(foreign));
    EXPECT_FALSE(NativeCodeSignature::isExecutableForThisMachine("#!/bin/sh\nrm -rf ~\n"));
    EXPECT_FALSE(NativeCodeSignature::isExecutableForThisMachine(head.left(20)));
}

TEST_F(SignedBundle, VerifiesAsMade)
{
    EXPECT_EQ(bundleRefusal(m_bundle), std::nullopt);
}

TEST(SignedBundleOnDisk, AnyChangeIsRefused)
{
    using Change = std::function<void(const QString &bundle)>;
    auto write = [](const QString &path, const QByteArray &bytes) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Append);
        f.write(bytes);
    };
    const std::pair<const char *, Change> changes[] = {
        {"extra file", [&](const QString &b) { write(b + QStringLiteral("/lib/extra.so"), {}); }},
        {"group-writable", [](const QString &b) { ::chmod(QFile::encodeName(b + QStringLiteral("/lib/libkivaro-test.so.1")).constData(), 0664); }},
        {"set-uid", [](const QString &b) { ::chmod(QFile::encodeName(b + QStringLiteral("/bin/kivaro")).constData(), 04755); }},
        {"changed byte", [&](const QString &b) { write(b + QStringLiteral("/lib/libkivaro-test.so.1"), "X"); }},
        {"retargeted link", [](const QString &b) {
             QFile::remove(b + QStringLiteral("/lib/libkivaro-test.so"));
             QFile::link(QStringLiteral("../bin/kivaro"), b + QStringLiteral("/lib/libkivaro-test.so"));
         }},
        {"missing file", [](const QString &b) { QFile::remove(b + QStringLiteral("/share/behaviour")); }},
        {"file for folder", [&](const QString &b) {
             QDir(b + QStringLiteral("/share")).removeRecursively();
             write(b + QStringLiteral("/share"), "x");
         }},
        {"extra signature file", [&](const QString &b) { write(b + QStringLiteral("/_CodeSignature/CodeResources.bak"), {}); }},
        {"seal replaced by a link", [](const QString &b) {
             QFile::rename(b + QStringLiteral("/_CodeSignature/CodeResources"), b + QStringLiteral("/seal"));
             QFile::link(QStringLiteral("../seal"), b + QStringLiteral("/_CodeSignature/CodeResources"));
         }},
    };
    for (const auto &[name, change] : changes) {
        QTemporaryDir folder;
        const QString bundle = makeBundle(folder.path(), {});
        change(bundle);
        EXPECT_NE(bundleRefusal(bundle), std::nullopt) << name;
    }
}

// What is verified is the folder the handle names, every file reached from it: a bundle put in
// its place under the same name after the handle was opened is not what gets read.
TEST_F(SignedBundle, VerificationThroughAHandleReadsOnlyThatFolder)
{
    detail::UniqueFd handle = detail::openDirectoryPath(m_bundle);
    ASSERT_TRUE(handle);
    ASSERT_TRUE(QDir().rename(m_bundle, m_folder.path() + QStringLiteral("/Moved.app")));
    // In its place: the same bundle with another Info.plist and a foreign executable.
    QTemporaryDir other;
    const QString swapped = makeBundle(other.path(), {});
    QFile info(swapped + QStringLiteral("/Info.plist"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly | QIODevice::Truncate));
    info.write("not the sealed dictionary");
    info.close();
    QFile executable(swapped + QStringLiteral("/bin/kivaro"));
    ASSERT_TRUE(executable.open(QIODevice::WriteOnly | QIODevice::Truncate));
    executable.write("#!/bin/sh\nrm -rf ~\n");
    executable.close();
    ASSERT_TRUE(QDir().rename(swapped, m_bundle));
    EXPECT_NO_THROW(NativeCodeSignature::verifyOpenBundle(handle.get(), configuration(), {QStringLiteral("1.0"), 1}));
    EXPECT_NE(bundleRefusal(m_bundle), std::nullopt);
}

TEST_F(SignedBundle, SignaturesMustComeFromThePinnedKeysEachInItsRole)
{
    Keys strangers{Ed25519::generate(), Ed25519::generate()};
    resign(m_bundle, {}, strangers);
    EXPECT_TRUE(bundleRefusal(m_bundle)->contains(QStringLiteral("signing key")));

    // The countersigning key alone, in both roles: the signature's role is part of what is signed.
    Keys swapped{Keys::shared().countersigning, Keys::shared().countersigning};
    resign(m_bundle, {}, swapped);
    NativeUpdateConfiguration both = configuration();
    both.trust.signingKeys << Keys::shared().countersigning.publicKey;
    EXPECT_EQ(bundleRefusal(m_bundle, both), std::nullopt);
    QFile::remove(at("_CodeSignature/CodeCountersignature"));
    QFile::copy(at("_CodeSignature/CodeSignature"), at("_CodeSignature/CodeCountersignature"));
    EXPECT_TRUE(bundleRefusal(m_bundle, both)->contains(QStringLiteral("countersignature")));
}

TEST_F(SignedBundle, WithoutPinnedKeysNothingVerifies)
{
    NativeUpdateConfiguration keyless = configuration();
    keyless.trust = {};
    try {
        NativeCodeSignature::verifyBundle(m_bundle, keyless, {});
        FAIL() << "a configuration without keys accepted a bundle";
    } catch (const NativeUpdateInstaller::Error &error) {
        EXPECT_EQ(error.failure(), NativeUpdateInstaller::Failure::noReleaseKeys);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("This build has no release keys, so it cannot verify updates."));
    }
}

TEST(CodeSealOfFolder, RefusesWhatABundleCannotHold)
{
    QTemporaryDir folder;
    const QString bundle = makeBundle(folder.path(), {});
    ASSERT_EQ(::mkfifo(QFile::encodeName(bundle + QStringLiteral("/lib/pipe")).constData(), 0644), 0);
    EXPECT_THROW(CodeSeal::ofFolder(bundle, header()), SealError);
    QFile::remove(bundle + QStringLiteral("/lib/pipe"));
    QFile::link(QStringLiteral("../../.."), bundle + QStringLiteral("/lib/up"));
    EXPECT_THROW(CodeSeal::ofFolder(bundle, header()), SealError);
}
