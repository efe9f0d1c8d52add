#include "TellumoRuntime/TellumoAISettingsView.h"

#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/PrivateFileKeyStore.h"
#include "TellumoRuntime/TellumoPreferences.h"

#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeSoftButton.h"
#include "Support/LoopbackChatServer.h"
#include "Support/PrivateConfigHome.h"
#include "Support/TaskTesting.h"

#include <QAbstractButton>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <QTest>

#include <QRegularExpression>
#include <QScopeGuard>

#include <gtest/gtest.h>

using namespace Tellumo;
using TestSupport::LoopbackChatServer;
using TestSupport::waitFor;
using TestSupport::waitUntil;

namespace {

class SettingsViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int next = 0;
        suite = QStringLiteral("tellumo-settings-view-test-%1").arg(++next);
        preferences = std::make_unique<TellumoPreferences>(Platform::UserDefaults::suite(suite), false, store);
        preferences->setAiBaseURL(server.address());
        preferences->setAiModel(QStringLiteral("deepseek-v4-flash"));
        view = std::make_unique<TellumoAISettingsView>(preferences.get(), true, session);
        view->resize(560, 520);
        view->show();
    }
    void TearDown() override
    {
        view.reset();
        preferences.reset();
        Platform::UserDefaults::removePersistentDomain(suite);
    }

    void saveKey(const QString &key)
    {
        view->keyField()->setText(key);
        view->saveButton()->click();
        ASSERT_TRUE(waitFor(view->keySave()));
    }
    void runTest()
    {
        view->testButton()->click();
        ASSERT_TRUE(view->connectionTest());
        ASSERT_TRUE(waitFor(view->connectionTest(), 15000));
    }
    bool visible(QWidget *widget) const { return widget->isVisibleTo(view.get()); }

    QString suite;
    std::shared_ptr<InMemoryKeyStore> store = std::make_shared<InMemoryKeyStore>();
    LoopbackChatServer server{TestSupport::TestCertificate::shared()};
    std::shared_ptr<PolishingSession> session = std::make_shared<PolishingSession>(TestSupport::TestCertificate::shared().trustingConfiguration());
    std::unique_ptr<TellumoPreferences> preferences;
    std::unique_ptr<TellumoAISettingsView> view;
};

} // namespace

TEST_F(SettingsViewTest, WithoutAKeyOnlyTypingEnablesSaving)
{
    EXPECT_EQ(view->baseURLCaption()->text(), QStringLiteral("API 根地址"));
    EXPECT_EQ(view->modelCaption()->text(), QStringLiteral("模型"));
    EXPECT_EQ(view->baseURLField()->text(), server.address());
    EXPECT_EQ(view->keyField()->placeholderText(), QStringLiteral("API Key"));
    EXPECT_EQ(view->keyField()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(view->saveButton()->isEnabled());
    EXPECT_FALSE(visible(view->deleteButton()));
    EXPECT_FALSE(visible(view->storedLabel()));
    EXPECT_EQ(view->testButton()->text(), QStringLiteral("测试连接"));
    EXPECT_FALSE(view->testButton()->isEnabled());
    EXPECT_FALSE(visible(view->keyErrorLabel()));
    EXPECT_FALSE(visible(view->statusLabel()));
    EXPECT_NE(qobject_cast<NativeAppAppearance::NativeSoftButton *>(view->saveButton()), nullptr);

    QTest::keyClicks(view->keyField(), QStringLiteral("   "));
    EXPECT_FALSE(view->saveButton()->isEnabled());
    QTest::keyClicks(view->keyField(), QStringLiteral("sk"));
    EXPECT_TRUE(view->saveButton()->isEnabled());
}

TEST_F(SettingsViewTest, SavingClearsTheFieldAndShowsTheStoredState)
{
    saveKey(QStringLiteral("  sk-view \n"));
    EXPECT_TRUE(view->keyDraft().isEmpty());
    EXPECT_EQ(store->key(), QStringLiteral("sk-view"));
    EXPECT_EQ(view->keyField()->placeholderText(), QStringLiteral("已保存 API Key；输入新值可替换"));
    EXPECT_TRUE(visible(view->deleteButton()));
    EXPECT_TRUE(visible(view->storedLabel()));
    EXPECT_EQ(view->storedLabel()->text(), QStringLiteral("已存储在本机钥匙串"));
    EXPECT_TRUE(view->testButton()->isEnabled());

    view->keyField()->setText(QStringLiteral("draft"));
    view->deleteButton()->click();
    ASSERT_TRUE(waitFor(view->keySave()));
    EXPECT_EQ(store->key(), std::nullopt);
    EXPECT_FALSE(visible(view->deleteButton()));
    EXPECT_FALSE(view->testButton()->isEnabled());
    EXPECT_EQ(view->keyDraft(), QStringLiteral("draft"));
}

TEST_F(SettingsViewTest, AFailedSaveStillClearsTheFieldAndShowsTheErrorInRed)
{
    store->setFailure(AIKeychainError(AIKeychainError::Code::refused, QStringLiteral("系统钥匙串拒绝了访问，可能仍处于锁定状态。")));
    saveKey(QStringLiteral("sk-refused"));
    EXPECT_TRUE(view->keyDraft().isEmpty());
    EXPECT_FALSE(preferences->keySaved());
    EXPECT_TRUE(visible(view->keyErrorLabel()));
    EXPECT_EQ(view->keyErrorLabel()->text(), QStringLiteral("保存密钥失败：系统钥匙串拒绝了访问，可能仍处于锁定状态。"));
    const QColor red = NativeAppAppearance::AppearanceManager::shared().color(NativeAppAppearance::DynamicColor::systemRed, view.get());
    EXPECT_EQ(view->keyErrorLabel()->palette().color(QPalette::WindowText), red);
}

TEST_F(SettingsViewTest, FieldsWriteThePreferencesAndFollowThem)
{
    view->baseURLField()->clear();
    QTest::keyClicks(view->baseURLField(), QStringLiteral("https://api.example.com/v1"));
    EXPECT_EQ(preferences->aiBaseURL(), QStringLiteral("https://api.example.com/v1"));
    QTest::keyClicks(view->modelField(), QStringLiteral("-x"));
    EXPECT_EQ(preferences->aiModel(), QStringLiteral("deepseek-v4-flash-x"));
    view->promptEditor()->setPlainText(QStringLiteral("只改错字。"));
    EXPECT_EQ(preferences->polishPrompt(), QStringLiteral("只改错字。"));

    preferences->setAiModel(QStringLiteral("gpt-5.2"));
    EXPECT_EQ(view->modelField()->text(), QStringLiteral("gpt-5.2"));
    preferences->setLanguage(QStringLiteral("en"));
    EXPECT_EQ(view->baseURLCaption()->text(), QStringLiteral("API Base URL"));
    EXPECT_EQ(view->testButton()->text(), QStringLiteral("Test Connection"));
    EXPECT_EQ(view->promptEditor()->toPlainText(), QStringLiteral("只改错字。"));
}

TEST_F(SettingsViewTest, TheConnectionTestSendsItsOwnShortRequestAndReportsSuccess)
{
    saveKey(QStringLiteral("sk-test"));
    server.setAnswer(LoopbackChatServer::silence());
    view->testButton()->click();
    EXPECT_TRUE(view->testingAI());
    EXPECT_EQ(view->testButton()->text(), QStringLiteral("测试中…"));
    EXPECT_FALSE(view->testButton()->isEnabled());
    EXPECT_TRUE(view->spinner()->isVisible()) << "the spinner turns while the test waits";
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));

    const auto request = server.requests().first();
    EXPECT_EQ(request.header("authorization"), "Bearer sk-test");
    const QJsonArray messages = QJsonDocument::fromJson(request.body).object()[QLatin1String("messages")].toArray();
    EXPECT_EQ(messages[0].toObject()[QLatin1String("content")].toString(), QStringLiteral("请只回复：连接成功"));
    EXPECT_EQ(messages[1].toObject()[QLatin1String("content")].toString(), QStringLiteral("测试"));

    // Any text counts as success.
    server.setAnswer(LoopbackChatServer::completion(QStringLiteral("完全无关的回答")));
    view.reset(); // the silent request goes with its view
    view = std::make_unique<TellumoAISettingsView>(preferences.get(), true, session);
    view->show();
    preferences->setLanguage(QStringLiteral("en"));
    runTest();
    EXPECT_FALSE(view->testingAI());
    EXPECT_EQ(view->aiTestStatus(), QStringLiteral("连接成功"));
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("Connection succeeded"));
    EXPECT_EQ(view->testButton()->text(), QStringLiteral("Test Connection"));
    EXPECT_TRUE(view->testButton()->isEnabled());
}

TEST_F(SettingsViewTest, FailuresOfTheConnectionTestAreReportedInTheStatusLine)
{
    saveKey(QStringLiteral("sk-test"));
    server.setAnswer(LoopbackChatServer::json(500, "{}"));
    runTest();
    EXPECT_EQ(view->aiTestStatus(), QStringLiteral("连接失败：AI 服务请求失败（HTTP 500）。"));
    EXPECT_TRUE(visible(view->statusLabel()));

    preferences->setAiBaseURL(QStringLiteral("http://127.0.0.1/v1"));
    runTest();
    EXPECT_EQ(view->aiTestStatus(), QStringLiteral("连接失败：AI 地址必须是 HTTPS API 根地址。"));

    store->setFailure(AIKeychainError(AIKeychainError::Code::timedOut, QStringLiteral("系统钥匙串没有应答，可能正在等待解锁。")));
    runTest();
    EXPECT_EQ(view->aiTestStatus(), QStringLiteral("连接失败：系统钥匙串没有应答，可能正在等待解锁。"));

    store->setFailure(std::nullopt);
    store->setKey(std::nullopt); // deleted elsewhere while the button was enabled
    runTest();
    EXPECT_EQ(view->aiTestStatus(), QStringLiteral("请先保存 API Key。"));
    EXPECT_EQ(server.requests().size(), 1);
}

// The connection test's failures read wholly in the user's language, in English too: our own
// sentence first, then what Qt said in its own words (a parse error, a refused certificate).
TEST_F(SettingsViewTest, ConnectionFailuresReadInTheUsersLanguageWithTheLibrarysWordsAfterOurs)
{
    saveKey(QStringLiteral("sk-test"));
    const auto restore = qScopeGuard([] { Kivaro::StringTable::overrideLanguage({}); });
    const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    const auto shown = [&] { return view->statusLabel()->text(); };
    Kivaro::StringTable::overrideLanguage(QStringLiteral("en"));

    server.setAnswer(LoopbackChatServer::redirect(307, QStringLiteral("https://elsewhere.invalid/v1/chat/completions")));
    runTest();
    EXPECT_EQ(shown(), QStringLiteral("Connection failed: The AI service request failed (HTTP 307)."));
    preferences->setAiBaseURL(QStringLiteral("http://127.0.0.1/v1"));
    runTest();
    EXPECT_EQ(shown(), QStringLiteral("Connection failed: The AI address must be an HTTPS API root."));
    preferences->setAiBaseURL(server.address());
    server.setAnswer(LoopbackChatServer::json(200, "{\"choices\": [nonsense]}"));
    runTest();
    EXPECT_TRUE(shown().startsWith(QStringLiteral("Connection failed: The AI service’s answer is not valid JSON (at byte 15): "))) << shown().toStdString();
    EXPECT_FALSE(shown().contains(chinese)) << shown().toStdString();

    Kivaro::StringTable::overrideLanguage(QStringLiteral("zh-Hans"));
    runTest();
    EXPECT_TRUE(shown().startsWith(QStringLiteral("连接失败：AI 服务的应答不是有效的 JSON（第 15 字节）："))) << shown().toStdString();
    const QString parserWords = shown().section(QStringLiteral("）："), 1);
    EXPECT_FALSE(parserWords.isEmpty());
    EXPECT_FALSE(parserWords.contains(chinese)) << "Qt's own words after ours";

    // A server whose certificate nobody trusts: the handshake fails before anything is sent.
    const auto stranger = std::make_shared<PolishingSession>(TestSupport::TestCertificate::make().trustingConfiguration());
    view = std::make_unique<TellumoAISettingsView>(preferences.get(), true, stranger);
    runTest();
    EXPECT_TRUE(shown().startsWith(QStringLiteral("连接失败：无法安全连接到 AI 服务："))) << shown().toStdString();
    EXPECT_GT(shown().size(), QStringLiteral("连接失败：无法安全连接到 AI 服务：").size()) << "Qt's words follow";
    Kivaro::StringTable::overrideLanguage(QStringLiteral("en"));
    runTest();
    EXPECT_TRUE(shown().startsWith(QStringLiteral("Connection failed: Could not connect securely to the AI service: "))) << shown().toStdString();
    Kivaro::StringTable::overrideLanguage(QStringLiteral("zh-Hant"));
    runTest();
    EXPECT_TRUE(shown().contains(QStringLiteral("無法安全連線到 AI 服務："))) << shown().toStdString();
}

TEST_F(SettingsViewTest, ATestWhoseViewIsReplacedIsCancelledAndItsResultDropped)
{
    saveKey(QStringLiteral("sk-test"));
    server.setAnswer(LoopbackChatServer::silence());
    view->testButton()->click();
    const auto test = view->connectionTest();
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    view.reset();
    ASSERT_TRUE(waitFor(test));
    EXPECT_TRUE(test.endedByCancellation());
    EXPECT_TRUE(waitUntil([&] { return server.abandonedCount() == 1; }));

    view = std::make_unique<TellumoAISettingsView>(preferences.get(), true, session);
    EXPECT_FALSE(view->testingAI());
    EXPECT_TRUE(view->aiTestStatus().isEmpty());
    EXPECT_TRUE(view->testButton()->isEnabled());
}

TEST_F(SettingsViewTest, TheFormPresentationHasNoCaptionsAndStockControls)
{
    TellumoAISettingsView form(preferences.get(), false, session);
    EXPECT_EQ(form.baseURLCaption(), nullptr);
    EXPECT_EQ(form.modelCaption(), nullptr);
    EXPECT_NE(qobject_cast<QPushButton *>(form.saveButton()), nullptr);
    EXPECT_EQ(form.promptEditor()->minimumHeight(), 130);
    EXPECT_EQ(form.promptEditor()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(form.baseURLField()->text(), server.address());
    // The titles stand beside the fields, not inside them.
    EXPECT_TRUE(form.baseURLField()->placeholderText().isEmpty());
    EXPECT_TRUE(form.keyField()->placeholderText().isEmpty());
}

TEST_F(SettingsViewTest, TypingWhileThePreferencesCannotBeWrittenKeepsTheTextAndSaysSoOnceInRed)
{
    PrivateConfigHome home;
    auto broken = std::make_unique<TellumoPreferences>(Platform::UserDefaults::suite(suite), false, store);
    TellumoAISettingsView page(broken.get(), true, session);
    page.show();
    EXPECT_FALSE(visible(page.settingsErrorLabel()));
    ASSERT_TRUE(home.breakFolder());

    page.baseURLField()->clear();
    // An exception out of these slots would end the program.
    QTest::keyClicks(page.baseURLField(), QStringLiteral("https://api.example.com/v1"));
    QTest::keyClicks(page.modelField(), QStringLiteral("-x"));
    page.promptEditor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(page.promptEditor(), QStringLiteral(" Fix typos only."));
    EXPECT_EQ(page.baseURLField()->text(), QStringLiteral("https://api.example.com/v1"));
    EXPECT_EQ(broken->aiBaseURL(), QStringLiteral("https://api.example.com/v1"));
    EXPECT_EQ(broken->aiModel(), QStringLiteral("deepseek-v4-flash-x"));
    EXPECT_TRUE(broken->polishPrompt().endsWith(QStringLiteral(" Fix typos only.")));
    EXPECT_TRUE(page.settingsErrorLabel()->isVisibleTo(&page));
    EXPECT_EQ(page.settingsErrorLabel()->text(), broken->settingsError());
    EXPECT_TRUE(page.settingsErrorLabel()->text().startsWith(QStringLiteral("设置无法保存：无法写入“")));
    int shown = 0;
    for (QLabel *label : page.findChildren<QLabel *>())
        shown += label->isVisibleTo(&page) && label->text().startsWith(QStringLiteral("设置无法保存"));
    EXPECT_EQ(shown, 1);
    const QColor red = NativeAppAppearance::AppearanceManager::shared().color(NativeAppAppearance::DynamicColor::systemRed, &page);
    EXPECT_EQ(page.settingsErrorLabel()->palette().color(QPalette::WindowText), red);

    ASSERT_TRUE(home.mendFolder());
    QTest::keyClicks(page.modelField(), QStringLiteral("y"));
    EXPECT_FALSE(visible(page.settingsErrorLabel()));
}

// The editor shows line ends and no-break spaces as plain ones; that alone is no edit.
TEST_F(SettingsViewTest, OpeningThePageNeverRewritesTheStoredPromptAndAnEditWritesIt)
{
    const QString stored = QStringLiteral("第一行\r\n第二行\u00a0保留。\r\n");
    Platform::UserDefaults defaults = Platform::UserDefaults::suite(suite);
    defaults.set(QStringLiteral("polishPrompt"), stored);
    auto reopened = std::make_unique<TellumoPreferences>(defaults, false, store);
    int writes = 0;
    QObject::connect(defaults.notifier(), &Platform::DefaultsNotifier::changed, [&](const QString &key) { writes += key == u"polishPrompt"; });
    {
        TellumoAISettingsView page(reopened.get(), true, session);
        page.show();
        TellumoAISettingsView form(reopened.get(), false, session);
        reopened->setAiModel(QStringLiteral("gpt-5.2")); // the pages show the change
        EXPECT_EQ(page.modelField()->text(), QStringLiteral("gpt-5.2"));
        EXPECT_EQ(page.promptEditor()->toPlainText(), QStringLiteral("第一行\n第二行 保留。\n"));
    }
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(reopened->polishPrompt(), stored);
    EXPECT_EQ(defaults.string(QStringLiteral("polishPrompt")), stored);

    TellumoAISettingsView page(reopened.get(), true, session);
    page.show();
    page.promptEditor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(page.promptEditor(), QStringLiteral("x"));
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(defaults.string(QStringLiteral("polishPrompt")), QStringLiteral("第一行\n第二行 保留。\nx"));
    // A prompt changed elsewhere is shown; showing it writes nothing.
    reopened->setPolishPrompt(QStringLiteral("别处改的\r\n提示词"));
    EXPECT_EQ(page.promptEditor()->toPlainText(), QStringLiteral("别处改的\n提示词"));
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(defaults.string(QStringLiteral("polishPrompt")), QStringLiteral("别处改的\r\n提示词"));
}

// Where no Secret Service answers the key goes to a private file, and the page names that file
// instead of claiming the keyring holds it.
TEST_F(SettingsViewTest, ThePageSaysWhetherTheKeyIsInTheKeyringOrInThePrivateFile)
{
    QTemporaryDir root;
    const QString path = root.path() + QStringLiteral("/keys/item");
    auto service = std::make_shared<InMemoryKeyStore>();
    service->setFailure(AIKeychainError(AIKeychainError::Code::unavailable, QStringLiteral("没有总线")));
    auto keychain = std::make_shared<AIKeychain>(service, std::make_shared<PrivateFileKeyStore>(path));
    const QString inFile = QStringLiteral("已存储在本机私有文件“%1”").arg(path);
    {
        TellumoPreferences fallen(Platform::UserDefaults::suite(suite), false, keychain);
        TellumoAISettingsView page(&fallen, true, session);
        page.show();
        page.keyField()->setText(QStringLiteral("sk-file"));
        page.saveButton()->click();
        ASSERT_TRUE(waitFor(page.keySave()));
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(page.storedLabel()->isVisibleTo(&page));
        EXPECT_EQ(page.storedLabel()->text(), inFile);
    }
    {
        // Found there at the next start.
        TellumoPreferences again(Platform::UserDefaults::suite(suite), true, keychain);
        ASSERT_TRUE(waitFor(again.keyLookup()));
        TellumoAISettingsView page(&again, true, session);
        EXPECT_EQ(page.storedLabel()->text(), inFile);

        // The keyring is back: the next save goes there and the file is gone.
        service->setFailure(std::nullopt);
        page.keyField()->setText(QStringLiteral("sk-keyring"));
        page.saveButton()->click();
        ASSERT_TRUE(waitFor(page.keySave()));
        EXPECT_EQ(service->key(), QStringLiteral("sk-keyring"));
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_EQ(page.storedLabel()->text(), QStringLiteral("已存储在本机钥匙串"));
    }
}

// Every row of the column 18 below the one above it, hidden rows taking no room; no scroll bar
// shows, and the page still scrolls.
TEST_F(SettingsViewTest, TheColumnsRowsAre18ApartAndItScrollsWithoutScrollBars)
{
    saveKey(QStringLiteral("sk-rows"));
    server.setAnswer(LoopbackChatServer::json(500, "{}"));
    runTest();
    preferences->setPolishPrompt(QString(40, u'长') + QStringLiteral("\n") + QString(60, u'词'));
    view->resize(560, 300);
    QCoreApplication::processEvents();
    QWidget *column = view->scrollArea()->widget();
    column->layout()->activate();

    QList<QWidget *> rows;
    for (int i = 0; i < column->layout()->count(); ++i)
        if (QWidget *row = column->layout()->itemAt(i)->widget(); row && row->isVisibleTo(column))
            rows << row;
    ASSERT_GE(rows.size(), 12); // titles, captions, fields, notes, key, buttons, status, prompt
    EXPECT_EQ(rows.first()->y(), 4);
    for (qsizetype i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i]->y() - rows[i - 1]->geometry().bottom() - 1, 18) << "row " << i;
    EXPECT_TRUE(rows.contains(view->baseURLCaption()));
    EXPECT_TRUE(rows.contains(view->baseURLField()));
    EXPECT_FALSE(rows.contains(view->keyErrorLabel()));

    QScrollArea *area = view->scrollArea();
    EXPECT_EQ(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    EXPECT_EQ(view->promptEditor()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    ASSERT_GT(area->verticalScrollBar()->maximum(), 0);
    const QPointF inside(area->viewport()->width() / 2.0, area->viewport()->height() / 2.0);
    QWheelEvent wheel(inside, area->viewport()->mapToGlobal(inside), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(area->viewport(), &wheel);
    EXPECT_GT(area->verticalScrollBar()->value(), 0);
}
