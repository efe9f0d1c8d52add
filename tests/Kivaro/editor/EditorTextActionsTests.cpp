// Text recognition from the editor with the real recogniser on rendered screenshots of known
// text, polishing through the loopback chat-completions service, the history on disk and its
// window, and sharing a recognised text.

#include "EditorFixtures.h"

#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/InlineCaptureEditor.h"

#include "Kivaro/controls/KivaroButton.h"

#include "Kivaro/sharing/SharePresenter.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Support/LoopbackChatServer.h"
#include "TellumoCore/PolishingSession.h"
#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/TellumoPreferences.h"
#include "TextScreens/CharacterErrors.h"
#include "TextScreens/TextScreens.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>

using namespace Kivaro;
using namespace EditorTesting;
using TestSupport::LoopbackChatServer;

namespace {

constexpr int kRecognitionTimeout = 60000;

class TextActions : public EditorTest {
protected:
    void SetUp() override
    {
        Platform::UserDefaults::removePersistentDomain(QString::fromLatin1(Tellumo::TellumoPreferences::suite));
        ASSERT_TRUE(folder.isValid());
        Kivaro::EditorController::Services services;
        services.pasteboard = pasteboard;
        services.filePanels = panels;
        services.alerts = alerts;
        services.pointer = pointer;
        services.screens = std::make_shared<Platform::InProcessScreenSource>();
        services.sharingServices = sharingServices;
        services.voice = voice;
        services.recentDirectory = recentFolder();
        services.keyStore = keys;
        services.polishingSession = session;
        editor = std::make_unique<Kivaro::EditorController>(services);
        editor->tellumo()->prepare()->setAiBaseURL(server.address());
        pasteboard->setString(QStringLiteral("what the user had copied"));
    }
    void TearDown() override
    {
        NativeAppAppearance::NativeMenu::shared().close();
        EditorTest::TearDown();
        Platform::UserDefaults::removePersistentDomain(QString::fromLatin1(Tellumo::TellumoPreferences::suite));
    }

    // A shot of an English dialog whose text the recogniser reads reliably.
    TextScreens::Screen loadDialog()
    {
        TextScreens::Screen screen = TextScreens::render({TextScreens::Scene::dialog, TextScreens::Language::english,
                                                          TextScreens::Theme::light, 20, TextScreens::Framing::region});
        loadPicture(screen.image);
        return screen;
    }
    bool waitRecognized() { return waitIdle(kRecognitionTimeout); }
    QString clipboardText() const { return pasteboard->string().value_or(QString()); }
    static double errorRate(const QString &expected, const QString &recognized)
    {
        return TextScreens::characterErrors(expected, recognized).rate();
    }
    QString historyFolder() const { return QDir(recentFolder()).filePath(QStringLiteral("OCR")); }

    std::shared_ptr<Tellumo::InMemoryKeyStore> keys = std::make_shared<Tellumo::InMemoryKeyStore>();
    LoopbackChatServer server{TestSupport::TestCertificate::shared()};
    std::shared_ptr<Tellumo::PolishingSession> session =
        std::make_shared<Tellumo::PolishingSession>(TestSupport::TestCertificate::shared().trustingConfiguration());
    std::shared_ptr<Platform::FixedSharingServices> sharingServices = std::make_shared<Platform::FixedSharingServices>(
        QList<Platform::SharingService>{{QStringLiteral("editor.desktop"), QStringLiteral("Editor"), {}}});
};

} // namespace

TEST_F(TextActions, RecognisingCopiesTheShotsTextRecordsItAndHidesTheEditor)
{
    const TextScreens::Screen screen = loadDialog();
    editor->recognizeImageText();
    EXPECT_TRUE(editor->busy());
    EXPECT_EQ(statusText(), QStringLiteral("正在识字…"));
    ASSERT_TRUE(waitRecognized());

    EXPECT_EQ(statusText(), QStringLiteral("已复制识别文字"));
    EXPECT_LE(errorRate(screen.text(), clipboardText()), 0.10) << clipboardText().toStdString();
    EXPECT_FALSE(editor->window()->isVisible());
    const QList<RecognizedTextRecord> records = editor->textHistory().entries();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.first().text, clipboardText());
    EXPECT_FALSE(records.first().polished);
    EXPECT_EQ(editor->textHistory().directory(), historyFolder());
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(TextActions, WithNoImageTheMenuActionsDoNothingAtAll)
{
    editor->recognizeImageText();
    editor->recognizePolishedText();
    EXPECT_FALSE(editor->busy());
    EXPECT_TRUE(statusText().isEmpty());
    EXPECT_THROW(TestSupport::run(editor->copyRecognizedText(false, pasteboard)), ShotError);
    EXPECT_EQ(clipboardText(), QStringLiteral("what the user had copied"));
}

// Nothing recognised, or a polishing that fails: the clipboard keeps what the user had, nothing
// is recorded, and the editor stays with the error.
TEST_F(TextActions, FailuresLeaveTheClipboardAndTheHistoryAsTheyWere)
{
    const TextScreens::Screen screen = loadDialog();
    TestSupport::run(editor->document()->addMask(QRectF(QPointF(0, 0), screen.image.size())));
    const long long changes = pasteboard->changeCount();
    editor->recognizeImageText();
    ASSERT_TRUE(waitRecognized());
    EXPECT_EQ(statusText(), QStringLiteral("未识别到文字，原剪贴板已保留。"));
    EXPECT_EQ(pasteboard->changeCount(), changes);
    EXPECT_TRUE(editor->window()->isVisible());

    loadDialog();
    server.setAnswer(LoopbackChatServer::json(500, R"({"error":{"message":"overloaded"}})"));
    keys->setKey(QStringLiteral("sk-editor"));
    editor->recognizePolishedText();
    EXPECT_EQ(statusText(), QStringLiteral("正在识字并润色…"));
    ASSERT_TRUE(waitRecognized());
    EXPECT_FALSE(statusText().isEmpty());
    EXPECT_NE(statusText(), QStringLiteral("已复制润色文字"));
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(pasteboard->changeCount(), changes);
    EXPECT_EQ(clipboardText(), QStringLiteral("what the user had copied"));
    EXPECT_TRUE(editor->window()->isVisible());
    EXPECT_TRUE(editor->textHistory().entries().isEmpty());
}

TEST_F(TextActions, PolishingWithoutAKeyOpensTheSettingsAndSendsNothing)
{
    loadDialog();
    editor->recognizePolishedText();
    ASSERT_TRUE(waitRecognized());
    EXPECT_EQ(statusText(), QStringLiteral("请先在 AI 设置中保存 API Key。"));
    ASSERT_TRUE(editor->tellumo()->window());
    EXPECT_TRUE(editor->tellumo()->window()->isVisible());
    EXPECT_EQ(server.connectionCount(), 0);
    EXPECT_EQ(clipboardText(), QStringLiteral("what the user had copied"));
    EXPECT_TRUE(editor->textHistory().entries().isEmpty());
}

TEST_F(TextActions, PolishingSendsTheRecognisedTextAndRecordsThePolishedAnswer)
{
    const TextScreens::Screen screen = loadDialog();
    keys->setKey(QStringLiteral("sk-editor"));
    server.setAnswer(LoopbackChatServer::completion(QStringLiteral("  A polished paragraph.\n")));
    editor->recognizePolishedText();
    ASSERT_TRUE(waitRecognized());
    EXPECT_EQ(statusText(), QStringLiteral("已复制润色文字"));
    EXPECT_EQ(clipboardText(), QStringLiteral("A polished paragraph."));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("authorization"), "Bearer sk-editor");
    const QJsonArray messages = QJsonDocument::fromJson(server.requests().first().body).object()[QLatin1String("messages")].toArray();
    EXPECT_LE(errorRate(screen.text(), messages.last().toObject()[QLatin1String("content")].toString()), 0.10);
    const QList<RecognizedTextRecord> records = editor->textHistory().entries();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.first().text, QStringLiteral("A polished paragraph."));
    EXPECT_TRUE(records.first().polished);
}

TEST_F(TextActions, AHistoryThatCannotBeWrittenKeepsTheCopyAndSaysWhy)
{
    loadDialog();
    QDir().mkpath(recentFolder());
    QFile blocker(historyFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    editor->recognizeImageText();
    ASSERT_TRUE(waitRecognized());
    EXPECT_TRUE(statusText().startsWith(QStringLiteral("文字已复制，但识字记录保存失败："))) << statusText().toStdString();
    EXPECT_GT(statusText().size(), QStringLiteral("文字已复制，但识字记录保存失败：").size());
    EXPECT_NE(clipboardText(), QStringLiteral("what the user had copied"));
    EXPECT_FALSE(clipboardText().isEmpty());
}

// The new entry is stored but the oldest could not be removed: the copy is a success, and the
// success line says what is left over instead of reporting the save as failed.
TEST_F(TextActions, AHistoryThatCannotBePrunedReportsTheCopyWithTheLeftover)
{
    loadDialog();
    editor->textHistory() = RecognizedTextHistory(historyFolder(), [](const QString &) { return EACCES; });
    for (int i = 0; i < RecognizedTextHistory::kMaxEntries; ++i)
        (void)editor->textHistory().append(QStringLiteral("older %1").arg(i), false, QDateTime::currentDateTimeUtc().addSecs(-100 + i));
    editor->recognizeImageText();
    ASSERT_TRUE(waitRecognized());
    EXPECT_TRUE(statusText().startsWith(QStringLiteral("已复制识别文字 · 旧的识字记录未能清理："))) << statusText().toStdString();
    const QList<RecognizedTextRecord> records = editor->textHistory().entries();
    ASSERT_EQ(records.size(), RecognizedTextHistory::kMaxEntries + 1);
    EXPECT_EQ(records.first().text, clipboardText());
    EXPECT_FALSE(editor->textHistoryNotice().isEmpty());
}

TEST_F(TextActions, TheMoreMenuOffersTheTextCommands)
{
    loadPicture();
    editor->showMore(editor->shareButton());
    QMenu *menu = editor->moreMenu();
    ASSERT_TRUE(menu);
    for (const QString &title : {QStringLiteral("识字记录…"), QStringLiteral("识字并复制"), QStringLiteral("识字并 AI 润色"),
                                QStringLiteral("识字与 AI 设置…")}) {
        QAction *found = nullptr;
        for (QAction *action : menu->actions())
            if (action->text() == title)
                found = action;
        ASSERT_TRUE(found) << title.toStdString();
        EXPECT_TRUE(found->isEnabled()) << title.toStdString();
    }
    NativeAppAppearance::NativeMenu::shared().close();
    for (QAction *action : menu->actions())
        if (action->text() == QStringLiteral("识字与 AI 设置…"))
            action->trigger();
    ASSERT_TRUE(editor->tellumo()->window());
    EXPECT_TRUE(editor->tellumo()->window()->isVisible());
}

TEST_F(TextActions, TheHistoryWindowListsTheRecordsAndSharesATextAsKivaroOcrTxt)
{
    (void)editor->textHistory().append(QStringLiteral("第一段 first"), false, QDateTime::currentDateTimeUtc().addSecs(-5));
    (void)editor->textHistory().append(QStringLiteral("第二段 second"), true, QDateTime::currentDateTimeUtc());
    editor->window()->show(); // the share menu's anchor is on screen
    editor->showTextHistory();
    TextHistoryWindow *window = editor->textHistoryWindow();
    ASSERT_EQ(window->numberOfRows(), 2);
    EXPECT_EQ(window->records().first().text, QStringLiteral("第二段 second"));

    editor->shareText(window->records().first(), editor->view());
    ASSERT_TRUE(waitUntil([] { return NativeAppAppearance::NativeMenu::shared().isOpen(); }));
    const QStringList files = editor->sharing()->activeFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(QFileInfo(files.first()).fileName(), QStringLiteral("Kivaro-OCR.txt"));
    QFile shared(files.first());
    ASSERT_TRUE(shared.open(QIODevice::ReadOnly));
    EXPECT_EQ(shared.readAll(), QStringLiteral("第二段 second").toUtf8());
    editor->sharing()->cancelPickers();
    EXPECT_TRUE(waitUntil([&] { return editor->sharing()->pendingRemovals().isEmpty(); }));
    EXPECT_FALSE(QFileInfo::exists(files.first()));

    // While busy neither the window nor a share starts.
    editor->setBusy(true);
    editor->shareText(window->records().first(), editor->view());
    EXPECT_FALSE(NativeAppAppearance::NativeMenu::shared().isOpen());
    editor->setBusy(false);
}
