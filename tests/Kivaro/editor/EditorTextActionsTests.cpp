// Text recognition from the editor's menu with the real recogniser on a rendered screenshot of
// known text, and what the live text captures (TextCaptureX11Tests.cpp) do not reach: no image,
// no AI key, a history that cannot be written or pruned, the More menu's items.

#include "EditorFixtures.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "KivaroCore/Localization.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Support/LoopbackChatServer.h"
#include "TellumoCore/PolishingSession.h"
#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/TellumoPreferences.h"
#include "TextScreens/CharacterErrors.h"
#include "TextScreens/TextScreens.h"

#include <QAction>
#include <QMenu>
#include <QScopeGuard>

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
        Kivaro::EditorController::Services services = editorServices();
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

// While the editor is busy recognising, its progress text stays, whatever the language says
// "in progress" with; the result that replaces it fades as usual.
TEST_F(TextActions, TheProgressTextStaysWhileRecognisingInEnglishAndTraditionalChinese)
{
    loadDialog();
    for (const char *language : {"en", "zh-Hant"}) {
        StringTable::overrideLanguage(QString::fromLatin1(language));
        editor->recognizeImageText();
        EXPECT_EQ(statusText(), kivaroCopy("正在识字…"));
        EXPECT_FALSE(editor->status()->dismissTimer().isActive()) << language << ": a progress text stays";
        const bool recognized = waitRecognized();
        StringTable::overrideLanguage({});
        ASSERT_TRUE(recognized);
        EXPECT_TRUE(editor->status()->dismissTimer().isActive()) << language;
        editor->showEditor();
    }
}

// A picture too large to read: the menu commands read the whole picture, so the user is told
// it is too large rather than asked for a smaller region.
TEST_F(TextActions, APictureTooLargeToReadIsSaidToBeTooLargeInTheUsersLanguage)
{
    QImage huge(6400, 6400, QImage::Format_RGB32);
    huge.fill(Qt::white);
    loadPicture(huge);
    StringTable::overrideLanguage(QStringLiteral("en"));
    const auto restore = qScopeGuard([] { StringTable::overrideLanguage({}); });
    editor->recognizeImageText();
    ASSERT_TRUE(waitRecognized());
    EXPECT_EQ(statusText(), QStringLiteral("The picture is too large for text recognition."));
    EXPECT_EQ(clipboardText(), QStringLiteral("what the user had copied"));
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

