#include "Kivaro/voice-and-text/IntegratedTellumo.h"

#include "Kivaro/controls/KivaroTabButton.h"
#include "Kivaro/voice-and-text/internal/IntegratedTellumoSettings.h"
#include "KivaroCore/EvidenceFolder.h"
#include "KivaroCore/ShotError.h"
#include "Support/LaunchArgumentsScope.h"
#include "Support/LoopbackChatServer.h"
#include "Support/PrivateConfigHome.h"
#include "Support/KeyboardTesting.h"
#include "Support/TaskTesting.h"
#include "TellumoCore/TellumoError.h"
#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/PrivateFileKeyStore.h"
#include "TellumoRuntime/TellumoDefaultPrompt.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Kivaro;
using namespace Tellumo;
using TestSupport::LoopbackChatServer;

namespace {

class IntegratedTellumoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Platform::UserDefaults::removePersistentDomain(QString::fromLatin1(TellumoPreferences::suite));
        bridge = std::make_unique<IntegratedTellumo>(store, session);
        bridge->prepare()->setAiBaseURL(server.address());
    }
    void TearDown() override
    {
        bridge.reset();
        Platform::UserDefaults::removePersistentDomain(QString::fromLatin1(TellumoPreferences::suite));
    }

    Platform::TaskHandle<QString> polish(const QString &text)
    {
        auto handle = Platform::start(bridge->polish(text));
        EXPECT_TRUE(TestSupport::waitFor(handle, 15000));
        return handle;
    }
    template <typename Error>
    static std::optional<Error> errorOf(const Platform::TaskHandle<QString> &handle)
    {
        try {
            if (handle.error())
                std::rethrow_exception(handle.error());
        } catch (const Error &error) {
            return error;
        } catch (...) {
        }
        return std::nullopt;
    }
    static QJsonObject bodyOf(const LoopbackChatServer::Request &request) { return QJsonDocument::fromJson(request.body).object(); }

    std::shared_ptr<InMemoryKeyStore> store = std::make_shared<InMemoryKeyStore>();
    LoopbackChatServer server{TestSupport::TestCertificate::shared()};
    std::shared_ptr<PolishingSession> session = std::make_shared<PolishingSession>(TestSupport::TestCertificate::shared().trustingConfiguration());
    std::unique_ptr<IntegratedTellumo> bridge;
};

} // namespace

TEST_F(IntegratedTellumoTest, TheSettingsWindowIsMadeOnceAndShowsAFreshViewEachTime)
{
    EXPECT_EQ(bridge->window(), nullptr);
    KivaroWindow *window = bridge->showSettings();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(bridge->window(), window);
    EXPECT_EQ(window->contentSize(), QSize(600, 580));
    EXPECT_EQ(window->title(), QStringLiteral("识字与 AI 润色 · Tellumo"));
    EXPECT_EQ(window->styleMask(), KivaroWindow::Titled | KivaroWindow::Closable);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->testAttribute(Qt::WA_DeleteOnClose));
    auto *content = qobject_cast<IntegratedTellumoSettings *>(window->contentView());
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->selectedTab(), 0);
    EXPECT_TRUE(content->aiTab()->isSelected());
    EXPECT_EQ(content->aiTab()->text(), QStringLiteral("AI 润色"));
    EXPECT_EQ(content->aiTab()->symbol(), QStringLiteral("sparkles"));
    ASSERT_EQ(bridge->settingsView(), content->settingsView());
    EXPECT_TRUE(bridge->settingsView()->customControls());
    for (QLineEdit *field : bridge->settingsView()->textFields())
        EXPECT_FALSE(field->hasFrame()); // the application's field look
    // The page scrolls without showing a scroll bar.
    EXPECT_EQ(bridge->settingsView()->scrollArea()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(bridge->settingsView()->scrollArea()->verticalScrollBar()->isVisible());

    QPointer<TellumoAISettingsView> first = bridge->settingsView();
    bridge->prepare()->setAiModel(QStringLiteral("qwen3-max"));
    window->performClose();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(bridge->showSettings(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(bridge->settingsView(), first.data());
    EXPECT_EQ(bridge->settingsView()->modelField()->text(), QStringLiteral("qwen3-max"));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return first.isNull(); }));
}

// Tab goes down the page; the buttons that cannot act now are passed over. (EditorX11Tests type
// a key and press Return and Escape on the X server.)
TEST_F(IntegratedTellumoTest, TabGoesDownTheSettingsPageAndReturnInTheKeyFieldSaves)
{
    KivaroWindow *window = bridge->showSettings();
    TellumoAISettingsView *view = bridge->settingsView();
    auto *content = qobject_cast<IntegratedTellumoSettings *>(window->contentView());
    const QList<QWidget *> round = TestSupport::tabRound(window);
    const QList<QWidget *> screen = {content->aiTab(), view->baseURLField(), view->modelField(), view->keyField(), view->promptEditor()};
    EXPECT_EQ(round, screen);
    EXPECT_TRUE(TestSupport::inScreenOrder(round));

    view->keyField()->setFocus();
    QTest::keyClicks(view->keyField(), QStringLiteral("sk-typed"));
    TestSupport::press(window, Qt::Key_Return);
    ASSERT_TRUE(TestSupport::waitFor(view->keySave()));
    EXPECT_EQ(store->key(), QStringLiteral("sk-typed"));
    TestSupport::press(window, Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), view->deleteButton()) << "a stored key's buttons join the round";
}

TEST_F(IntegratedTellumoTest, PolishingSendsTheSettingsAsTheyStandAndReturnsTheTrimmedAnswer)
{
    store->setKey(QStringLiteral("sk-bridge"));
    TellumoPreferences *preferences = bridge->prepare();
    preferences->setPolishPrompt(QStringLiteral("只改错字。"));
    server.setAnswer(LoopbackChatServer::completion(QStringLiteral("\n 润色好的文字 \n")));
    auto first = polish(QStringLiteral("识别的文字"));
    ASSERT_FALSE(first.error());
    EXPECT_EQ(first.value(), QStringLiteral("润色好的文字"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("authorization"), "Bearer sk-bridge");
    const QJsonObject body = bodyOf(server.requests().first());
    EXPECT_EQ(body[QLatin1String("model")].toString(), QStringLiteral("deepseek-v4-flash"));
    const QJsonArray messages = body[QLatin1String("messages")].toArray();
    EXPECT_EQ(messages[0].toObject()[QLatin1String("content")].toString(), QStringLiteral("只改错字。"));
    EXPECT_EQ(messages[1].toObject()[QLatin1String("content")].toString(), QStringLiteral("识别的文字"));

    // A change made in the settings window is used by the next request.
    bridge->showSettings()->hide();
    bridge->settingsView()->modelField()->selectAll();
    QTest::keyClicks(bridge->settingsView()->modelField(), QStringLiteral("glm-4.6"));
    ASSERT_FALSE(polish(QStringLiteral("第二段")).error());
    EXPECT_EQ(bodyOf(server.requests().last())[QLatin1String("model")].toString(), QStringLiteral("glm-4.6"));
}

TEST_F(IntegratedTellumoTest, WithoutAKeyTheSettingsWindowOpensAndNothingIsSent)
{
    bridge->showSettings()->performClose();
    auto handle = polish(QStringLiteral("识别的文字"));
    const auto error = errorOf<ShotError>(handle);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text(), QStringLiteral("请先在 AI 设置中保存 API Key。"));
    ASSERT_NE(bridge->window(), nullptr);
    EXPECT_TRUE(bridge->window()->isVisible());
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(IntegratedTellumoTest, ErrorsOfTheKeyStoreAndOfTheServicePassThroughUnchanged)
{
    store->setFailure(AIKeychainError(AIKeychainError::Code::refused, QStringLiteral("系统钥匙串拒绝了访问，可能仍处于锁定状态。")));
    auto refused = polish(QStringLiteral("t"));
    ASSERT_TRUE(errorOf<AIKeychainError>(refused));
    EXPECT_EQ(errorOf<AIKeychainError>(refused)->code(), AIKeychainError::Code::refused);
    EXPECT_EQ(bridge->window(), nullptr);

    store->setFailure(std::nullopt);
    store->setKey(QStringLiteral("sk-bridge"));
    server.setAnswer(LoopbackChatServer::json(401, "{}"));
    auto unauthorised = polish(QStringLiteral("t"));
    ASSERT_TRUE(errorOf<TellumoError>(unauthorised));
    EXPECT_EQ(errorOf<TellumoError>(unauthorised)->description(), QStringLiteral("AI 服务请求失败（HTTP 401）。"));
}

TEST_F(IntegratedTellumoTest, ACancelledPolishAbortsTheRequestAndDropsTheResult)
{
    store->setKey(QStringLiteral("sk-bridge"));
    server.setAnswer(LoopbackChatServer::silence());
    auto handle = Platform::start(bridge->polish(QStringLiteral("t")));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return server.requests().size() == 1; }));
    handle.cancel();
    ASSERT_TRUE(TestSupport::waitFor(handle));
    EXPECT_TRUE(handle.endedByCancellation());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return server.abandonedCount() == 1; }));
}

TEST(IntegratedTellumoVerification, AVerificationRunUsesItsOwnSuiteAndNeverTheUsersKey)
{
    QTemporaryDir evidence;
    TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--verify"), QStringLiteral("--evidence-dir"), evidence.path()});
    auto store = std::make_shared<InMemoryKeyStore>(QStringLiteral("sk-stored"));
    IntegratedTellumo bridge(store);
    TellumoPreferences *preferences = bridge.prepare();
    EXPECT_EQ(preferences->defaults().domain(), QStringLiteral("kivaro-tellumo-verification"));
    EXPECT_FALSE(preferences->keyLookup()); // made with readKey false
    EXPECT_EQ(bridge.prepare(), preferences);
    preferences->setAiModel(QStringLiteral("verification-model"));
    EXPECT_TRUE(preferences->settingsError().isEmpty());
    EXPECT_TRUE(QFile::exists(evidence.path() + QStringLiteral("/preferences/kivaro-tellumo-verification.plist")));
    EXPECT_FALSE(QFile::exists(Platform::UserDefaults::folder() + QStringLiteral("/kivaro-tellumo-verification.plist")));

    const auto processStore = std::dynamic_pointer_cast<PrivateFileKeyStore>(AIKeychain::forProcess());
    ASSERT_TRUE(processStore);
    EXPECT_EQ(processStore->path(), evidence.path() + QStringLiteral("/tellumo-key/app.tellumo.Tellumo.ai.openai-compatible-key"));
    TestSupport::LaunchArgumentsScope uiSession({QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), evidence.path()});
    EXPECT_TRUE(std::dynamic_pointer_cast<PrivateFileKeyStore>(AIKeychain::forProcess()));
}

// Without "--evidence-dir" a run gets a fresh private folder of its own: never a fixed name in
// the shared temporary folder, and nothing in the user's configuration folder.
TEST(IntegratedTellumoVerification, WithoutAnEvidenceFolderTheRunMakesAFreshPrivateOne)
{
    QTemporaryDir temporary;
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    {
        TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--verify")});
        const auto folder = PrototypeVerification::evidenceFolder();
        ASSERT_TRUE(folder);
        EXPECT_EQ(PrototypeVerification::evidenceFolder(), folder); // one per run
        EXPECT_TRUE(folder->startsWith(temporary.path() + QStringLiteral("/kivaro-verification-"))) << folder->toStdString();
        struct stat status {};
        ASSERT_EQ(::lstat(QFile::encodeName(*folder).constData(), &status), 0);
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_mode & 07777, 0700u);

        const auto processStore = std::dynamic_pointer_cast<PrivateFileKeyStore>(AIKeychain::forProcess());
        ASSERT_TRUE(processStore);
        EXPECT_TRUE(processStore->path().startsWith(*folder + u'/')) << processStore->path().toStdString();
        IntegratedTellumo bridge(processStore);
        TellumoPreferences *preferences = bridge.prepare();
        ASSERT_TRUE(TestSupport::waitFor(preferences->saveKey(QStringLiteral("sk-verification"))));
        EXPECT_TRUE(preferences->keySaved());
        EXPECT_EQ(preferences->keyFile(), processStore->path());
        preferences->setAiModel(QStringLiteral("verification-model"));
        EXPECT_TRUE(QFile::exists(*folder + QStringLiteral("/preferences/kivaro-tellumo-verification.plist")));
        EXPECT_FALSE(QFile::exists(Platform::UserDefaults::folder() + QStringLiteral("/kivaro-tellumo-verification.plist")));
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/kivaro-verification/tellumo-key")));
    }
    qputenv("TMPDIR", savedTemporary);
    if (savedTemporary.isNull())
        qunsetenv("TMPDIR");
}

// A run that cannot make its evidence folder still keeps away from the user's key and settings.
TEST(IntegratedTellumoVerification, WithoutAnyPlaceForEvidenceNothingOfTheUsersIsTouched)
{
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/proc/no-such-temporary-folder");
    {
        TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--ui-session")});
        EXPECT_FALSE(PrototypeVerification::evidenceFolder());
        EXPECT_TRUE(std::dynamic_pointer_cast<InMemoryKeyStore>(AIKeychain::forProcess()));
        IntegratedTellumo bridge(std::make_shared<InMemoryKeyStore>());
        TellumoPreferences *preferences = nullptr;
        ASSERT_NO_THROW(preferences = bridge.prepare());
        preferences->setAiModel(QStringLiteral("verification-model"));
        EXPECT_EQ(preferences->aiModel(), QStringLiteral("verification-model"));
        EXPECT_FALSE(preferences->settingsError().isEmpty());
        EXPECT_FALSE(QFile::exists(Platform::UserDefaults::folder() + QStringLiteral("/kivaro-tellumo-verification.plist")));
    }
    qputenv("TMPDIR", savedTemporary);
    if (savedTemporary.isNull())
        qunsetenv("TMPDIR");
}

TEST(IntegratedTellumoPreferences, PreferencesThatCannotBeWrittenNeverStopPreparingAndTheSettingsSaySo)
{
    PrivateConfigHome home;
    const QString suite = QString::fromLatin1(TellumoPreferences::suite);
    Platform::UserDefaults::suite(suite).set(QStringLiteral("polishPrompt"), TellumoDefaultPrompt::legacy()[0]);
    ASSERT_TRUE(home.breakFolder());
    IntegratedTellumo bridge(std::make_shared<InMemoryKeyStore>());
    TellumoPreferences *preferences = nullptr;
    ASSERT_NO_THROW(preferences = bridge.prepare()); // the migrated prompt cannot be written back
    EXPECT_FALSE(preferences->settingsError().isEmpty());

    // Polishing goes on to its own answer: no key, so the settings open and say what failed.
    auto handle = Platform::start(bridge.polish(QStringLiteral("t")));
    ASSERT_TRUE(TestSupport::waitFor(handle));
    try {
        std::rethrow_exception(handle.error());
    } catch (const ShotError &error) {
        EXPECT_EQ(error.text(), QStringLiteral("请先在 AI 设置中保存 API Key。"));
    } catch (...) {
        ADD_FAILURE() << "another error than the missing key";
    }
    ASSERT_NE(bridge.settingsView(), nullptr);
    EXPECT_TRUE(bridge.settingsView()->settingsErrorLabel()->isVisibleTo(bridge.window()));
    EXPECT_EQ(bridge.settingsView()->settingsErrorLabel()->text(), preferences->settingsError());
    ASSERT_TRUE(home.mendFolder());
    Platform::UserDefaults::removePersistentDomain(suite);
}
