#include "TellumoRuntime/TellumoPreferences.h"

#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/TellumoDefaultPrompt.h"

#include "NativeAppAppearance/AppearanceManager.h"
#include "Support/LaunchArgumentsScope.h"
#include "Support/PrivateConfigHome.h"
#include "Support/TaskTesting.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Tellumo;
using namespace std::chrono_literals;
using Platform::UserDefaults;

namespace {

class TellumoPreferencesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int next = 0;
        m_suite = QStringLiteral("tellumo-preferences-test-%1").arg(++next);
    }
    void TearDown() override { UserDefaults::removePersistentDomain(m_suite); }

    UserDefaults defaults() const { return UserDefaults::suite(m_suite); }
    std::unique_ptr<TellumoPreferences> make(bool readKey = false)
    {
        return std::make_unique<TellumoPreferences>(defaults(), readKey, store);
    }
    static void wait(const Platform::TaskHandle<void> &handle) { ASSERT_TRUE(TestSupport::waitFor(handle)); }

    std::shared_ptr<InMemoryKeyStore> store = std::make_shared<InMemoryKeyStore>();
    QString m_suite;
};

} // namespace

TEST_F(TellumoPreferencesTest, AnEmptyDomainGivesTheDefaultsAndWritesNothing)
{
    auto preferences = make();
    EXPECT_EQ(preferences->aiBaseURL(), QStringLiteral("https://api.deepseek.com/v1"));
    EXPECT_EQ(preferences->aiModel(), QStringLiteral("deepseek-v4-flash"));
    EXPECT_EQ(preferences->language(), QStringLiteral("system"));
    EXPECT_EQ(preferences->polishPrompt(), TellumoDefaultPrompt::simplified()); // the tests prefer zh_CN
    EXPECT_EQ(preferences->colorMode(), QStringLiteral("system"));
    EXPECT_FALSE(preferences->hideMenuBarIcon());
    EXPECT_TRUE(preferences->hideDockIcon());
    EXPECT_EQ(preferences->shortcutTitle(), QStringLiteral("⌃⇧⌘2"));
    EXPECT_FALSE(preferences->keySaved());
    EXPECT_TRUE(preferences->keyError().isEmpty());
    EXPECT_TRUE(defaults().dictionaryRepresentation().isEmpty());
    EXPECT_FALSE(UserDefaults::persistentDomain(m_suite));
}

TEST_F(TellumoPreferencesTest, AnEarlierDefaultPromptIsReplacedAndWrittenBackAnEditedOneIsKept)
{
    defaults().set(QStringLiteral("language"), QStringLiteral("zh-Hans"));
    defaults().set(QStringLiteral("polishPrompt"), TellumoDefaultPrompt::legacy()[2]);
    EXPECT_EQ(make()->polishPrompt(), TellumoDefaultPrompt::simplified());
    EXPECT_EQ(defaults().string(QStringLiteral("polishPrompt")), TellumoDefaultPrompt::simplified());

    defaults().set(QStringLiteral("polishPrompt"), QStringLiteral("只改错字。"));
    EXPECT_EQ(make()->polishPrompt(), QStringLiteral("只改错字。"));
}

TEST_F(TellumoPreferencesTest, AnUntouchedDefaultPromptFollowsTheLanguageAndAnEditedOneStays)
{
    defaults().set(QStringLiteral("language"), QStringLiteral("zh-Hans"));
    auto preferences = make();
    QStringList calls;
    preferences->onLanguageChange = [&] { calls << QStringLiteral("language"); };
    preferences->onConfigurationChange = [&] { calls << QStringLiteral("configuration"); };
    preferences->setLanguage(QStringLiteral("en"));
    EXPECT_EQ(preferences->polishPrompt(), TellumoDefaultPrompt::english());
    EXPECT_EQ(defaults().string(QStringLiteral("polishPrompt")), TellumoDefaultPrompt::english());
    EXPECT_EQ(defaults().string(QStringLiteral("language")), QStringLiteral("en"));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("configuration"), QStringLiteral("language"), QStringLiteral("configuration")}));

    preferences->setPolishPrompt(QStringLiteral("Fix typos only."));
    preferences->setLanguage(QStringLiteral("zh-Hant"));
    EXPECT_EQ(preferences->polishPrompt(), QStringLiteral("Fix typos only."));
    EXPECT_EQ(defaults().string(QStringLiteral("polishPrompt")), QStringLiteral("Fix typos only."));
}

TEST_F(TellumoPreferencesTest, EveryPersistedSettingWritesThroughAndIsReadBack)
{
    {
        auto preferences = make();
        QSignalSpy changed(preferences.get(), &TellumoPreferences::changed);
        int configurations = 0, visibility = 0, shortcuts = 0;
        preferences->onConfigurationChange = [&] { ++configurations; };
        preferences->onVisibilityChange = [&] { ++visibility; };
        preferences->onShortcutChange = [&] { ++shortcuts; };
        preferences->setAiBaseURL(QStringLiteral("https://api.example.com/v2"));
        preferences->setAiModel(QStringLiteral("gpt-5.2"));
        preferences->setHideMenuBarIcon(true);
        preferences->setHideDockIcon(false);
        preferences->setShortcut(CapturedShortcut{21, 0x1900, QStringLiteral("4")});
        EXPECT_EQ(configurations, 5);
        EXPECT_EQ(visibility, 2);
        EXPECT_EQ(shortcuts, 1);
        EXPECT_EQ(changed.count(), 5);
    }
    auto again = make();
    EXPECT_EQ(again->aiBaseURL(), QStringLiteral("https://api.example.com/v2"));
    EXPECT_EQ(again->aiModel(), QStringLiteral("gpt-5.2"));
    EXPECT_TRUE(again->hideMenuBarIcon());
    EXPECT_FALSE(again->hideDockIcon());
    EXPECT_EQ(again->shortcut(), (CapturedShortcut{21, 0x1900, QStringLiteral("4")}));
    EXPECT_EQ(again->shortcutTitle(), QStringLiteral("⌃⌥⌘4"));
    EXPECT_EQ(*defaults().data(QStringLiteral("shortcut")), QByteArray(R"({"keyCode":21,"modifiers":6400,"label":"4"})"));
}

TEST_F(TellumoPreferencesTest, IllTypedValuesGiveTheDefaultsAndStayUntilReplaced)
{
    defaults().set(QStringLiteral("hideMenuBarIcon"), true);
    defaults().set(QStringLiteral("hideDockIcon"), QStringLiteral("yes"));
    defaults().set(QStringLiteral("shortcut"), QByteArray("{\"keyCode\":-1,\"modifiers\":0,\"label\":\"x\"}"));
    auto preferences = make();
    EXPECT_FALSE(preferences->hideDockIcon());
    EXPECT_EQ(preferences->shortcut(), CapturedShortcut{});
    EXPECT_EQ(*defaults().data(QStringLiteral("shortcut")), QByteArray("{\"keyCode\":-1,\"modifiers\":0,\"label\":\"x\"}"));
    for (const QByteArray &bad : {QByteArray("[]"), QByteArray("{\"keyCode\":1.5,\"modifiers\":0,\"label\":\"x\"}"),
                                  QByteArray("{\"keyCode\":4294967296,\"modifiers\":0,\"label\":\"x\"}"),
                                  QByteArray("{\"keyCode\":1,\"modifiers\":0}")})
        EXPECT_FALSE(CapturedShortcut::decode(bad)) << bad.toStdString();
}

TEST_F(TellumoPreferencesTest, ColorModeSetsTheApplicationsAppearance)
{
    auto &manager = NativeAppAppearance::AppearanceManager::shared();
    auto preferences = make();
    preferences->setColorMode(QStringLiteral("dark"));
    EXPECT_EQ(manager.applicationAppearance(), NativeAppAppearance::Appearance::dark);
    preferences->setColorMode(QStringLiteral("light"));
    EXPECT_EQ(manager.applicationAppearance(), NativeAppAppearance::Appearance::light);
    preferences->setColorMode(QStringLiteral("auto"));
    EXPECT_EQ(manager.applicationAppearance(), std::nullopt);
}

TEST_F(TellumoPreferencesTest, SaveKeyStoresTheTrimmedKeyAndAnEmptyOneRemovesIt)
{
    auto preferences = make();
    wait(preferences->saveKey(QStringLiteral("  sk-new \n")));
    EXPECT_EQ(store->key(), QStringLiteral("sk-new"));
    EXPECT_TRUE(preferences->keySaved());
    EXPECT_TRUE(preferences->keyError().isEmpty());
    wait(preferences->saveKey(QStringLiteral(" \n\t")));
    EXPECT_EQ(store->key(), std::nullopt);
    EXPECT_FALSE(preferences->keySaved());
    wait(preferences->saveKey(QString())); // nothing stored: still a success
    EXPECT_FALSE(preferences->keySaved());
    EXPECT_TRUE(preferences->keyError().isEmpty());
    EXPECT_EQ(store->calls(), (QStringList{QStringLiteral("write"), QStringLiteral("remove"), QStringLiteral("remove")}));
}

TEST_F(TellumoPreferencesTest, AFailedOrRefusedSaveKeepsTheStateAndTellsWhy)
{
    auto preferences = make();
    wait(preferences->saveKey(QStringLiteral("sk-first")));
    store->setFailure(AIKeychainError(AIKeychainError::Code::refused, QStringLiteral("钥匙串已锁定。")));
    wait(preferences->saveKey(QStringLiteral("sk-second")));
    EXPECT_TRUE(preferences->keySaved());
    EXPECT_EQ(preferences->keyError(), QStringLiteral("保存密钥失败：钥匙串已锁定。"));
    store->setFailure(std::nullopt);

    // A line break in the middle would end the request's header early: refused, nothing stored.
    const QString injected = QStringLiteral("sk-evil\r\nX-Injected: 1");
    wait(preferences->saveKey(injected));
    EXPECT_EQ(store->key(), QStringLiteral("sk-first"));
    EXPECT_TRUE(preferences->keySaved());
    EXPECT_EQ(preferences->keyError(), QStringLiteral("保存密钥失败：API Key 含有控制字符，请重新输入。"));
    EXPECT_FALSE(preferences->keyError().contains(QStringLiteral("sk-evil")));
    EXPECT_EQ(store->calls().count(QStringLiteral("write")), 2);

    wait(preferences->saveKey(QStringLiteral("sk-third")));
    EXPECT_TRUE(preferences->keyError().isEmpty());
}

TEST_F(TellumoPreferencesTest, WhetherAKeyIsStoredIsLearnedWithoutBlocking)
{
    store->setKey(QStringLiteral("sk-stored"));
    auto preferences = make(true);
    EXPECT_FALSE(preferences->keySaved()); // the store has not answered yet
    wait(preferences->keyLookup());
    EXPECT_TRUE(preferences->keySaved());

    store->setFailure(AIKeychainError(AIKeychainError::Code::timedOut, QStringLiteral("没有应答")));
    auto failing = make(true);
    wait(failing->keyLookup());
    EXPECT_FALSE(failing->keySaved());
    EXPECT_TRUE(failing->keyError().isEmpty());
}

TEST_F(TellumoPreferencesTest, NoKeyLookupWithoutPermissionOrInThePreview)
{
    store->setKey(QStringLiteral("sk-stored"));
    EXPECT_FALSE(make(false)->keyLookup());
    {
        TestSupport::LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--open-settings-preview")});
        EXPECT_FALSE(make(true)->keyLookup());
    }
    EXPECT_TRUE(store->calls().isEmpty());
}

TEST_F(TellumoPreferencesTest, ASaveOverridesAnAnswerOfTheFirstLookupThatComesLater)
{
    store->setDelay(300ms); // a keyring waiting to be unlocked
    auto preferences = make(true);
    store->setDelay(0ms);
    wait(preferences->saveKey(QStringLiteral("sk-new")));
    EXPECT_TRUE(preferences->keySaved());
    wait(preferences->keyLookup()); // answers "none", as it was when asked
    EXPECT_TRUE(preferences->keySaved());
}

// A file where the preference folder belongs: nothing throws, the values hold for the session,
// the domain reads as before, and the user is told once.
TEST_F(TellumoPreferencesTest, AWriteThatFailsThrowsNothingKeepsTheValueAndTellsTheUserOnce)
{
    PrivateConfigHome home;
    defaults().set(QStringLiteral("language"), QStringLiteral("zh-Hans"));
    defaults().set(QStringLiteral("polishPrompt"), TellumoDefaultPrompt::legacy()[2]);
    ASSERT_TRUE(home.breakFolder());
    const QString cannotSave = QStringLiteral("设置无法保存：无法写入“%1”。").arg(Platform::UserDefaults::folder() + u'/' + m_suite + QStringLiteral(".plist"));

    std::unique_ptr<TellumoPreferences> preferences;
    ASSERT_NO_THROW(preferences = make()); // the migrated prompt cannot be written back
    EXPECT_EQ(preferences->polishPrompt(), TellumoDefaultPrompt::simplified());
    EXPECT_EQ(preferences->settingsError(), cannotSave);
    EXPECT_EQ(defaults().string(QStringLiteral("polishPrompt")), TellumoDefaultPrompt::legacy()[2]);

    QSignalSpy changed(preferences.get(), &TellumoPreferences::changed);
    int configurations = 0;
    preferences->onConfigurationChange = [&] { ++configurations; };
    ASSERT_NO_THROW(preferences->setAiModel(QStringLiteral("gpt-5.2")));
    ASSERT_NO_THROW(preferences->setAiBaseURL(QStringLiteral("https://api.example.com/v1")));
    ASSERT_NO_THROW(preferences->setHideMenuBarIcon(true));
    ASSERT_NO_THROW(preferences->setShortcut(CapturedShortcut{21, 0x1900, QStringLiteral("4")}));
    ASSERT_NO_THROW(preferences->setLanguage(QStringLiteral("en")));
    EXPECT_EQ(preferences->aiModel(), QStringLiteral("gpt-5.2"));
    EXPECT_EQ(preferences->polishPrompt(), TellumoDefaultPrompt::english());
    EXPECT_EQ(configurations, 6);
    EXPECT_EQ(changed.count(), 6);
    EXPECT_EQ(preferences->settingsError(), cannotSave);
    EXPECT_FALSE(defaults().contains(QStringLiteral("aiModel")));
    EXPECT_EQ(defaults().string(QStringLiteral("language")), QStringLiteral("zh-Hans"));

    // The next write that reaches the disk clears the message.
    ASSERT_TRUE(home.mendFolder());
    preferences->setAiModel(QStringLiteral("gpt-5.2-mini"));
    EXPECT_TRUE(preferences->settingsError().isEmpty());
    EXPECT_EQ(defaults().string(QStringLiteral("aiModel")), QStringLiteral("gpt-5.2-mini"));
}
