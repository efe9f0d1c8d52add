#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/PrivateFileKeyStore.h"
#include "TellumoRuntime/SecretServiceKeyStore.h"

#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Tellumo;
using Code = AIKeychainError::Code;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

template <typename T>
T run(Platform::Task<T> task)
{
    return TestSupport::run(std::move(task), 10000);
}

// The failure code of a key-store operation that must fail.
template <typename T>
std::optional<AIKeychainError> failureOf(Platform::Task<T> task)
{
    try {
        run(std::move(task));
    } catch (const AIKeychainError &error) {
        return error;
    }
    return std::nullopt;
}

class PrivateFileKeyStoreTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString folder = root.path() + QStringLiteral("/kivaro/keys");
    std::shared_ptr<PrivateFileKeyStore> store = std::make_shared<PrivateFileKeyStore>(folder + QStringLiteral("/item"));
};

} // namespace

TEST_F(PrivateFileKeyStoreTest, KeepsTheKeyInAPrivateFileInAPrivateFolder)
{
    EXPECT_EQ(run(store->read()), std::nullopt);
    run(store->write(QStringLiteral("sk-密钥-1")));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(store->path()), 0600u);
    QFile file(store->path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QStringLiteral("sk-密钥-1").toUtf8());
    run(store->write(QStringLiteral("sk-2")));
    EXPECT_EQ(run(store->read()), QStringLiteral("sk-2"));
    run(store->remove());
    EXPECT_FALSE(QFile::exists(store->path()));
    run(store->remove()); // nothing to remove: success
    EXPECT_EQ(run(store->read()), std::nullopt);
}

TEST_F(PrivateFileKeyStoreTest, NeverFollowsALinkAndRefusesWhatIsNoKeyFile)
{
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString elsewhere = root.path() + QStringLiteral("/elsewhere");
    QFile target(elsewhere);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("someone else's");
    target.close();
    ASSERT_TRUE(QFile::link(elsewhere, store->path()));
    auto failure = failureOf(store->read());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code(), Code::failed);
    EXPECT_TRUE(failure->description().startsWith(QStringLiteral("无法读取密钥文件："))) << failure->description().toStdString();
    EXPECT_TRUE(failureOf(store->write(QStringLiteral("sk"))));
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "someone else's");
    target.close();
    run(store->remove()); // removes the link, not its target
    EXPECT_TRUE(QFile::exists(elsewhere));

    QFile big(store->path());
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(PrivateFileKeyStore::maxFileBytes + 1, 'k'));
    big.close();
    EXPECT_EQ(failureOf(store->read())->code(), Code::failed);
}

TEST_F(PrivateFileKeyStoreTest, BytesThatAreNotTextAreAnErrorWithARealMessage)
{
    run(store->write(QStringLiteral("sk")));
    QFile file(store->path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xff\xfe\x00k", 4);
    file.close();
    const auto failure = failureOf(store->read());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code(), Code::invalidData);
    EXPECT_EQ(failure->description(), QStringLiteral("钥匙串中保存的 API Key 不是有效的文字。"));
}

TEST_F(PrivateFileKeyStoreTest, AFileOthersCanReadIsMadePrivateAgain)
{
    run(store->write(QStringLiteral("sk")));
    ASSERT_EQ(::chmod(QFile::encodeName(store->path()).constData(), 0644), 0);
    EXPECT_EQ(run(store->read()), QStringLiteral("sk"));
    EXPECT_EQ(modeOf(store->path()), 0600u);
}

// The tests run without a session bus, as a desktop without a Secret Service does.
TEST(AIKeychain, WithoutASecretServiceTheKeyGoesToThePrivateFile)
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    const auto failure = failureOf(std::make_shared<SecretServiceKeyStore>()->read());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code(), Code::unavailable);

    const QString path = PrivateFileKeyStore::defaultPath();
    EXPECT_TRUE(path.startsWith(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/kivaro/"))) << path.toStdString();
    auto keychain = std::make_shared<AIKeychain>();
    run(keychain->write(QStringLiteral("sk-fallback")));
    EXPECT_EQ(keychain->keyFile(), path);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(path).path()), 0700u);
    EXPECT_EQ(run(keychain->read()), QStringLiteral("sk-fallback"));
    run(keychain->remove());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(run(keychain->read()), std::nullopt);
}

TEST(AIKeychain, OnlyAMissingSecretServiceFallsBackToTheFile)
{
    auto service = std::make_shared<InMemoryKeyStore>();
    auto file = std::make_shared<InMemoryKeyStore>();
    auto keychain = std::make_shared<AIKeychain>(service, file);

    // A keyring waiting to be unlocked is not a missing one: nothing goes to the file.
    service->setFailure(AIKeychainError(Code::timedOut, QStringLiteral("没有应答")));
    EXPECT_EQ(failureOf(keychain->write(QStringLiteral("sk")))->code(), Code::timedOut);
    EXPECT_EQ(failureOf(keychain->read())->code(), Code::timedOut);
    EXPECT_TRUE(file->calls().isEmpty());

    service->setFailure(AIKeychainError(Code::unavailable, QStringLiteral("没有总线")));
    run(keychain->write(QStringLiteral("sk-file")));
    EXPECT_EQ(file->key(), QStringLiteral("sk-file"));
    EXPECT_EQ(run(keychain->read()), QStringLiteral("sk-file"));

    // The Secret Service is back: a key saved meanwhile is still found, a new save replaces it.
    service->setFailure(std::nullopt);
    EXPECT_EQ(run(keychain->read()), QStringLiteral("sk-file"));
    run(keychain->write(QStringLiteral("sk-service")));
    EXPECT_EQ(service->key(), QStringLiteral("sk-service"));
    EXPECT_EQ(file->key(), std::nullopt);
    EXPECT_EQ(run(keychain->read()), QStringLiteral("sk-service"));
    EXPECT_TRUE(keychain->keyFile().isEmpty());
    file->setKey(QStringLiteral("sk-stale"));
    run(keychain->remove());
    EXPECT_EQ(service->key(), std::nullopt);
    EXPECT_EQ(file->key(), std::nullopt);
}
