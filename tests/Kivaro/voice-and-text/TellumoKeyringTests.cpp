// The key store, the settings view and polishing against a real Secret Service: a GNOME keyring
// on a private session bus that scripts/with-keyring starts for this executable alone, checked
// from outside with secret-tool.

#include "Kivaro/voice-and-text/IntegratedTellumo.h"

#include "Support/LoopbackChatServer.h"
#include "Support/TaskTesting.h"
#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/PrivateFileKeyStore.h"
#include "TellumoRuntime/SecretServiceKeyStore.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace Kivaro;
using namespace Tellumo;
using namespace std::chrono_literals;

namespace {

const QStringList kItem = {QStringLiteral("service"), QString::fromLatin1(AIKeychain::service), QStringLiteral("account"),
                           QString::fromLatin1(AIKeychain::account)};

struct SecretTool {
    int exitCode = -1;
    QByteArray output;
};

SecretTool secretTool(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral("secret-tool"), arguments);
    process.write(input);
    process.closeWriteChannel();
    // secret-tool talks to the daemon this process may be waiting on too: keep the loop turning.
    TestSupport::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 20000);
    return {process.exitCode(), process.readAllStandardOutput()};
}

SecretTool lookUp()
{
    return secretTool(QStringList{QStringLiteral("lookup")} + kItem);
}

template <typename T>
T run(Platform::Task<T> task)
{
    return TestSupport::run(std::move(task), 20000);
}

// Collects every message Qt logs while it lives.
struct LogCapture {
    static QStringList &messages()
    {
        static QStringList list;
        return list;
    }
    LogCapture() : previous(qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) { messages() << text; })) {}
    ~LogCapture() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("KIVARO_PRIVATE_KEYRING") != u"1")
            GTEST_SKIP() << "runs only inside scripts/with-keyring, which gives it a keyring of its own";
        secretTool(QStringList{QStringLiteral("clear")} + kItem);
    }
    void TearDown() override
    {
        if (qEnvironmentVariable("KIVARO_PRIVATE_KEYRING") == u"1")
            secretTool(QStringList{QStringLiteral("clear")} + kItem);
    }
};

} // namespace

TEST_F(KeyringTest, SavingInTheSettingsViewStoresTheKeyWhereTheDesktopFindsItAndDeletingRemovesIt)
{
    IntegratedTellumo bridge(std::make_shared<AIKeychain>());
    bridge.showSettings();
    TellumoAISettingsView *view = bridge.settingsView();
    view->keyField()->setText(QStringLiteral(" sk-keyring-1 "));
    view->saveButton()->click();
    ASSERT_TRUE(TestSupport::waitFor(view->keySave(), 20000));
    EXPECT_TRUE(bridge.prepare()->keySaved());
    EXPECT_TRUE(bridge.prepare()->keyError().isEmpty()) << bridge.prepare()->keyError().toStdString();
    const SecretTool found = lookUp();
    EXPECT_EQ(found.exitCode, 0);
    EXPECT_EQ(found.output, "sk-keyring-1");
    EXPECT_FALSE(QFile::exists(PrivateFileKeyStore::defaultPath())) << "a Secret Service answered: no file";
    EXPECT_EQ(view->storedLabel()->text(), QStringLiteral("已存储在本机钥匙串"));

    // A second save replaces the item.
    view->keyField()->setText(QStringLiteral("sk-keyring-2"));
    view->saveButton()->click();
    ASSERT_TRUE(TestSupport::waitFor(view->keySave(), 20000));
    EXPECT_EQ(lookUp().output, "sk-keyring-2");

    view->deleteButton()->click();
    ASSERT_TRUE(TestSupport::waitFor(view->keySave(), 20000));
    EXPECT_FALSE(bridge.prepare()->keySaved());
    const SecretTool gone = lookUp();
    EXPECT_NE(gone.exitCode, 0);
    EXPECT_TRUE(gone.output.isEmpty());
}

TEST_F(KeyringTest, AKeyStoredByAnotherToolIsFoundAndAKeyThatIsNotTextIsAnError)
{
    ASSERT_EQ(secretTool(QStringList{QStringLiteral("store"), QStringLiteral("--label=key")} + kItem, "sk-from-secret-tool").exitCode, 0);
    auto keychain = std::make_shared<AIKeychain>();
    EXPECT_EQ(run(keychain->read()), QStringLiteral("sk-from-secret-tool"));
    TellumoPreferences preferences(Platform::UserDefaults::suite(QStringLiteral("keyring-test")), true, keychain);
    ASSERT_TRUE(TestSupport::waitFor(preferences.keyLookup(), 20000));
    EXPECT_TRUE(preferences.keySaved());

    ASSERT_EQ(secretTool(QStringList{QStringLiteral("store"), QStringLiteral("--label=key")} + kItem, "\xff\xfek").exitCode, 0);
    try {
        run(keychain->read());
        ADD_FAILURE() << "bytes that are not UTF-8 were read as a key";
    } catch (const AIKeychainError &error) {
        EXPECT_EQ(error.code(), AIKeychainError::Code::invalidData);
        EXPECT_EQ(error.description(), QStringLiteral("钥匙串中保存的 API Key 不是有效的文字。"));
    }
    run(keychain->remove());
    EXPECT_EQ(run(keychain->read()), std::nullopt);
    Platform::UserDefaults::removePersistentDomain(QStringLiteral("keyring-test"));
}

TEST_F(KeyringTest, PolishingReadsTheKeyFromTheKeyringAndTheKeyIsNeverLogged)
{
    LogCapture log;
    TestSupport::LoopbackChatServer server(TestSupport::TestCertificate::shared());
    server.setAnswer(TestSupport::LoopbackChatServer::completion(QStringLiteral("润色后")));
    IntegratedTellumo bridge(std::make_shared<AIKeychain>(), std::make_shared<PolishingSession>(TestSupport::TestCertificate::shared().trustingConfiguration()));
    bridge.prepare()->setAiBaseURL(server.address());
    bridge.showSettings();
    const QString key = QStringLiteral("sk-never-logged-7f3a");
    bridge.settingsView()->keyField()->setText(key);
    bridge.settingsView()->saveButton()->click();
    ASSERT_TRUE(TestSupport::waitFor(bridge.settingsView()->keySave(), 20000));

    bridge.settingsView()->testButton()->click();
    ASSERT_TRUE(TestSupport::waitFor(bridge.settingsView()->connectionTest(), 20000));
    EXPECT_EQ(bridge.settingsView()->aiTestStatus(), QStringLiteral("连接成功"));

    auto polished = Platform::start(bridge.polish(QStringLiteral("识别的文字")));
    ASSERT_TRUE(TestSupport::waitFor(polished, 20000));
    ASSERT_FALSE(polished.error());
    EXPECT_EQ(polished.value(), QStringLiteral("润色后"));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().last().header("authorization"), "Bearer " + key.toUtf8());

    server.setAnswer(TestSupport::LoopbackChatServer::json(401, "{}"));
    bridge.settingsView()->testButton()->click();
    ASSERT_TRUE(TestSupport::waitFor(bridge.settingsView()->connectionTest(), 20000));
    EXPECT_FALSE(bridge.settingsView()->aiTestStatus().contains(key));
    for (const QString &message : LogCapture::messages())
        EXPECT_FALSE(message.contains(key)) << message.toStdString();
}

// A keyring that does not answer (here: its daemon is stopped, as it is in effect while it waits
// for an unlock prompt) costs the task its timeout, never the event loop.
TEST_F(KeyringTest, AKeyringThatDoesNotAnswerTimesOutWhileTheEventLoopRuns)
{
    const pid_t daemon = pid_t(qEnvironmentVariable("KIVARO_KEYRING_PID").toLongLong());
    ASSERT_GT(daemon, 0);
    QTemporaryDir folder;
    auto fallback = std::make_shared<PrivateFileKeyStore>(folder.path() + QStringLiteral("/key"));
    auto keychain = std::make_shared<AIKeychain>(std::make_shared<SecretServiceKeyStore>(400ms), fallback);
    run(keychain->read()); // the connection to the service is made before the daemon stops

    ASSERT_EQ(::kill(daemon, SIGSTOP), 0);
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{daemon};
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    for (bool writing : {false, true}) {
        try {
            if (writing)
                run(keychain->write(QStringLiteral("sk-while-frozen")));
            else
                run(keychain->read());
            ADD_FAILURE() << "a stopped keyring answered";
        } catch (const AIKeychainError &error) {
            EXPECT_EQ(error.code(), AIKeychainError::Code::timedOut);
            EXPECT_EQ(error.description(), QStringLiteral("系统钥匙串没有应答，可能正在等待解锁。"));
        }
    }
    EXPECT_GE(ticks, 20) << "the event loop stood still while the keyring was waited for";
    EXPECT_FALSE(QFile::exists(fallback->path())) << "a keyring that does not answer is no reason to write the key to a file";
}
