// Text captures on the real X server with a window manager: the intent stored as the user's
// preference, a region dragged with xdotool over a window showing known text, the recognised
// (or polished) text read back from the clipboard by another client (xclip), the history on
// disk and in its window, and a recognised text shared with a desktop entry of our own.

#include "EditorFixtures.h"

#include "Kivaro/editor/CanvasBackgroundView.h"

#include "Kivaro/controls/KivaroWindow.h"
#include "Kivaro/shell/capture/CaptureIntent.h"
#include "Kivaro/shell/capture/RegionCapture.h"
#include "Kivaro/voice-and-text/IntegratedTellumo.h"
#include "Kivaro/voice-and-text/TextHistoryWindow.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/MenuContentView.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "Platform/Defaults/UserDefaults.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Platform/Sharing/DesktopApplications.h"
#include "Support/ClientProcess.h"
#include "Support/LoopbackChatServer.h"
#include "TellumoCore/PolishingSession.h"
#include "TellumoCore/ScreenRegionCapture.h"
#include "TellumoRuntime/InMemoryKeyStore.h"
#include "TellumoRuntime/TellumoPreferences.h"
#include "TextScreens/CharacterErrors.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace Kivaro;
using namespace EditorTesting;
using TestSupport::ClientResult;
using TestSupport::LoopbackChatServer;
using TestSupport::runClient;
using TestSupport::X11TestDisplay;
using TestSupport::drag;
using TestSupport::xdotool;

namespace {

const QString kShownText = QStringLiteral("Kivaro 截图识字 2024");
constexpr int kRecognitionTimeout = 60000;

int fileMode(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Dark text on white in DejaVu Sans (the Chinese from the system's fallback face), large enough
// to read without doubt.
QImage textWindow(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, kShownText);
    return image;
}

class LiveTextCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        Platform::UserDefaults::removePersistentDomain(QString::fromLatin1(Tellumo::TellumoPreferences::suite));
        services.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        services.keyStore = keys;
        services.polishingSession = session;
        makeEditor();
        fixture = display.createWindow(where, shown, 4243, true);
        ASSERT_TRUE(display.waitForPixels(where, shown));
        ASSERT_TRUE(setClipboard("before the capture"));
    }
    void TearDown() override
    {
        if (editor && editor->captureTask() && !editor->captureTask().isFinished()) {
            editor->captureTask().cancel();
            waitUntil([&] { return editor->captureTask().isFinished(); });
        }
        NativeAppAppearance::NativeMenu::shared().close();
        editor.reset();
        if (fixture)
            display.destroyWindow(fixture);
        display.stopWindowManager();
        for (const auto &owner : owners) {
            owner->kill();
            owner->waitForFinished(2000);
        }
        Platform::UserDefaults::standard().remove(QString::fromLatin1(CaptureIntents::preferenceKey));
        Platform::UserDefaults::removePersistentDomain(QString::fromLatin1(Tellumo::TellumoPreferences::suite));
    }
    void makeEditor()
    {
        editor = std::make_unique<EditorController>(services);
        editor->tellumo()->prepare()->setAiBaseURL(server.address());
    }

    // A region capture with `intent` as the user's stored choice, dragged over the whole text.
    bool captureText(const QString &intent)
    {
        Platform::UserDefaults::standard().set(QString::fromLatin1(CaptureIntents::preferenceKey), intent);
        editor->captureRegionWithShortcutAction();
        const bool shown = waitUntil([&] { return editor->capture()->hasPendingSelection() && QGuiApplication::focusWindow(); }, 10000);
        waitUntil([] { return false; }, 150); // the pointer grab follows the focus
        return shown && drag(where.topLeft() + QPoint(20, 20), where.bottomRight() - QPoint(20, 20))
               && waitUntil([&] { return !editor->captureTask() && !editor->busy(); }, kRecognitionTimeout);
    }
    // The clipboard as another client reads it.
    static QString clipboard()
    {
        const ClientResult read = runClient(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
        return read.finished && read.exitCode == 0 ? QString::fromUtf8(read.output) : QString();
    }
    // Another client owns the clipboard with `text` (xclip stays to serve it until replaced).
    bool setClipboard(const QByteArray &text)
    {
        // In the foreground (-quiet), so that the test can end it whatever happened.
        QProcess *owner = owners.emplace_back(std::make_unique<QProcess>()).get();
        owner->start(QStringLiteral("xclip"),
                     {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")});
        if (!owner->waitForStarted(5000))
            return false;
        owner->write(text);
        owner->closeWriteChannel();
        return waitUntil([&] { return clipboard() == QString::fromUtf8(text); });
    }
    QString status() const { return editor->status()->stringValue(); }
    static double errorRate(const QString &expected, const QString &recognized)
    {
        return TextScreens::characterErrors(expected, recognized).rate();
    }

    X11TestDisplay display;
    QTemporaryDir folder;
    EditorController::Services services;
    std::unique_ptr<EditorController> editor;
    std::shared_ptr<Tellumo::InMemoryKeyStore> keys = std::make_shared<Tellumo::InMemoryKeyStore>();
    LoopbackChatServer server{TestSupport::TestCertificate::shared()};
    std::shared_ptr<Tellumo::PolishingSession> session =
        std::make_shared<Tellumo::PolishingSession>(TestSupport::TestCertificate::shared().trustingConfiguration());
    const QRect where{300, 200, 700, 160};
    const QImage shown = textWindow(where.size());
    xcb_window_t fixture = 0;
    std::vector<std::unique_ptr<QProcess>> owners; // clipboard owners of the test
};

} // namespace

TEST_F(LiveTextCapture, ATextCaptureCopiesTheTextAndRecordsItPrivately)
{
    ASSERT_TRUE(captureText(QStringLiteral("text")));
    EXPECT_EQ(status(), QStringLiteral("已复制识别文字"));
    const QString copied = clipboard();
    EXPECT_LE(errorRate(kShownText, copied), 0.25) << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("2024"))) << copied.toStdString();
    EXPECT_FALSE(editor->window()->isVisible());

    const QList<RecognizedTextRecord> records = editor->textHistory().entries();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.first().text, copied);
    EXPECT_FALSE(records.first().polished);
    const QString history = editor->textHistory().directory();
    EXPECT_EQ(fileMode(history), 0700);
    EXPECT_EQ(fileMode(QDir(history).filePath(records.first().id + QStringLiteral(".json"))), 0600);

    editor->showTextHistory();
    ASSERT_TRUE(editor->textHistoryWindow()->window());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(editor->textHistoryWindow()->window()->windowHandle(), 10000));
    ASSERT_EQ(editor->textHistoryWindow()->numberOfRows(), 1);
    EXPECT_EQ(editor->textHistoryWindow()->records().first().text, copied);
}

TEST_F(LiveTextCapture, APolishedTextCaptureCopiesTheServicesAnswer)
{
    keys->setKey(QStringLiteral("sk-live"));
    server.setAnswer(LoopbackChatServer::completion(QStringLiteral("\nKivaro 截图识字，2024 年。\n")));
    ASSERT_TRUE(captureText(QStringLiteral("polishedText")));
    EXPECT_EQ(status(), QStringLiteral("已复制识别文字"));
    EXPECT_EQ(clipboard(), QStringLiteral("Kivaro 截图识字，2024 年。"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("authorization"), "Bearer sk-live");
    const QJsonArray messages = QJsonDocument::fromJson(server.requests().first().body).object()[QLatin1String("messages")].toArray();
    EXPECT_LE(errorRate(kShownText, messages.last().toObject()[QLatin1String("content")].toString()), 0.25) << "the recognised text";
    const QList<RecognizedTextRecord> records = editor->textHistory().entries();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.first().text, QStringLiteral("Kivaro 截图识字，2024 年。"));
    EXPECT_TRUE(records.first().polished);
}

TEST_F(LiveTextCapture, AFailedPolishingShowsTheErrorAndKeepsTheImageAndTheClipboard)
{
    keys->setKey(QStringLiteral("sk-live"));
    server.setAnswer(LoopbackChatServer::json(503, R"({"error":{"message":"busy"}})"));
    ASSERT_TRUE(captureText(QStringLiteral("polishedText")));
    EXPECT_TRUE(editor->document()->hasImage());
    EXPECT_TRUE(editor->window()->isVisible()) << "the editor comes forward with the error";
    EXPECT_FALSE(status().isEmpty());
    EXPECT_NE(status(), QStringLiteral("已复制识别文字"));
    EXPECT_EQ(clipboard(), QStringLiteral("before the capture"));
    EXPECT_TRUE(editor->textHistory().entries().isEmpty());
}

TEST_F(LiveTextCapture, TextUnderAMaskIsNotReadAndTheClipboardStays)
{
    ASSERT_TRUE(captureText(QStringLiteral("text")));
    ASSERT_TRUE(setClipboard("kept by the user"));
    const QSizeF size = QImage::fromData(TestSupport::run(editor->document()->png(std::nullopt, false)), "PNG").size();
    TestSupport::run(editor->document()->addMask(QRectF(QPointF(0, 0), size)));
    editor->showEditor();
    editor->recognizeImageText();
    ASSERT_TRUE(waitUntil([&] { return !editor->busy(); }, kRecognitionTimeout));
    EXPECT_EQ(status(), QStringLiteral("未识别到文字，原剪贴板已保留。"));
    EXPECT_EQ(clipboard(), QStringLiteral("kept by the user"));
    EXPECT_EQ(editor->textHistory().entries().size(), 1);
}

TEST_F(LiveTextCapture, SharingARecognisedTextDeliversKivaroOcrTxtToADesktopApplication)
{
    const ReceivingDesktop desktop(QStringLiteral("text/plain"), QStringLiteral("txt"));
    ASSERT_TRUE(desktop.isReady());
    services.sharingServices = desktop.applications();
    makeEditor();

    ASSERT_TRUE(captureText(QStringLiteral("text")));
    const QString copied = clipboard();
    ASSERT_FALSE(copied.isEmpty());
    editor->showTextHistory();
    TextHistoryWindow *history = editor->textHistoryWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(history->window()->windowHandle(), 10000));
    editor->shareText(history->records().first(), history->window());
    ASSERT_TRUE(waitUntil([] { return NativeAppAppearance::NativeMenu::shared().isOpen(); }, 10000));
    const auto rows = NativeAppAppearance::NativeMenu::shared().contentView()->rows();
    ASSERT_EQ(rows.size(), 1);
    rows.at(0)->activate();
    EXPECT_EQ(QString::fromUtf8(desktop.delivered()), copied);
    EXPECT_EQ(desktop.sharedFileName(), QStringLiteral("Kivaro-OCR.txt"));
}

// Not a check: the history window opened from the editor after a text capture, with long and
// mixed-language entries, for a person to look at. Runs only when KIVARO_EDITOR_SCREENSHOTS
// names a folder.
TEST_F(LiveTextCapture, Screenshots)
{
    const QString out = qEnvironmentVariable("KIVARO_EDITOR_SCREENSHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KIVARO_EDITOR_SCREENSHOTS to a folder";
    QDir().mkpath(out);
    ASSERT_TRUE(captureText(QStringLiteral("text")));
    (void)editor->textHistory().append(QString(QStringLiteral("混合 mixed 文字 text, 繁體與简体。")).repeated(20), true,
                                       QDateTime::currentDateTimeUtc());
    for (const auto appearance : {NativeAppAppearance::Appearance::light, NativeAppAppearance::Appearance::dark}) {
        NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(appearance);
        editor->showTextHistory();
        QWidget *window = editor->textHistoryWindow()->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window->windowHandle(), 10000));
        waitUntil([] { return false; }, 300);
        window->grab().save(QDir(out).filePath(QStringLiteral("text-history-") + NativeAppAppearance::appearanceName(appearance) +
                                               QStringLiteral(".png")));
    }
    NativeAppAppearance::AppearanceManager::shared().setApplicationAppearance(std::nullopt);
}
