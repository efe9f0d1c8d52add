// The sub-runs of the full verification suite on a real X server with a window manager, each
// with an editor of the test's own: their pictures, their exact results, the state they give
// back, and their first failures.

#include "Kivaro/verification/MenuVerification.h"
#include "Kivaro/verification/VoiceInteractionVerification.h"
#include "Kivaro/verification/VoiceRetryVerification.h"
#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"
#include "KivaroCore/Localization.h"
#include "Support/Speech/RandomWhisperModel.h"
#include "Support/Speech/SpokenFixtures.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "Kivaro/editor/AnnotationFloatingPanel.h"

#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/document/SampleImage.h"
#include "Kivaro/document/ShotDocument.h"
#include "Kivaro/document/ShotState.h"
#include "Kivaro/editor/CanvasBackgroundView.h"
#include "Kivaro/editor/EditorController.h"
#include "KivaroCore/ShotError.h"
#include "NativeAppAppearance/AppearanceManager.h"
#include "NativeAppAppearance/NativeMenu.h"
#include "NativeAppAppearance/NativePopupButton.h"
#include "Platform/Dialogs/ScriptedAlertPresenter.h"
#include "Platform/Dialogs/ScriptedFilePanels.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/TaskTesting.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

using namespace Kivaro;
using NativeAppAppearance::Appearance;
using NativeAppAppearance::AppearanceManager;
using TestSupport::X11TestDisplay;

namespace {

class SubRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        EditorController::Services services;
        services.filePanels = std::make_shared<Platform::ScriptedFilePanels>();
        services.alerts = std::make_shared<Platform::ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        editor = std::make_unique<EditorController>(services);
        editor->document()->load(SampleImage::make(), true);
        output = folder.filePath(QStringLiteral("evidence"));
        ASSERT_TRUE(QDir().mkdir(output));
    }
    void TearDown() override
    {
        NativeAppAppearance::NativeMenu::shared().close();
        AppearanceManager::shared().setApplicationAppearance(std::nullopt);
        editor.reset();
        display.stopWindowManager();
    }
    std::exception_ptr runMenus() { return attempt(MenuVerification::run(editor.get(), output)); }
    static std::exception_ptr attempt(Platform::Task<void> task)
    {
        try {
            TestSupport::run(std::move(task), 60000);
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    }
    static std::string describe(std::exception_ptr error)
    {
        try {
            if (error)
                std::rethrow_exception(error);
            return "no error";
        } catch (const ShotError &shot) {
            return shot.text().toStdString();
        } catch (const std::exception &other) {
            return other.what();
        } catch (...) {
            return "?";
        }
    }
    QStringList evidenceFiles() const { return QDir(output).entryList(QDir::Files, QDir::Name); }

    X11TestDisplay display;
    QTemporaryDir folder;
    QString output;
    std::unique_ptr<EditorController> editor;
};

// Started in the dark appearance with the coarse grain: the pictures show light then dark, the
// keyboard choice lands on 40, and everything the run touched is given back.
TEST_F(SubRun, PassesAndGivesBackWhatItChanged)
{
    TestSupport::run(editor->document()->setMosaicGrain(64));
    editor->mosaicGrainControl()->selectItemWithTag(64);
    AppearanceManager::shared().setApplicationAppearance(Appearance::dark);

    const std::exception_ptr error = runMenus();
    ASSERT_FALSE(error) << describe(error);

    QFile result(output + QStringLiteral("/menus-result.json"));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    const QByteArray bytes = result.readAll();
    EXPECT_EQ(bytes, QByteArray(MenuVerification::passResult));
    EXPECT_EQ(bytes.size(), 74);
    EXPECT_EQ(QDir(output).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("menu-grain-dark.png"), QStringLiteral("menu-grain-light.png"), QStringLiteral("menu-tools-dark.png"),
                           QStringLiteral("menu-tools-light.png"), QStringLiteral("menus-result.json")}));
    // The light picture is brighter than the dark one.
    const QImage light(output + QStringLiteral("/menu-grain-light.png"));
    const QImage dark(output + QStringLiteral("/menu-grain-dark.png"));
    ASSERT_FALSE(light.isNull());
    ASSERT_EQ(light.size(), dark.size());
    qint64 lightSum = 0, darkSum = 0;
    for (int y = 0; y < light.height(); y += 7)
        for (int x = 0; x < light.width(); x += 7) {
            lightSum += qGray(light.pixel(x, y));
            darkSum += qGray(dark.pixel(x, y));
        }
    EXPECT_GT(lightSum, darkSum);

    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::optional<Appearance>(Appearance::dark));
    EXPECT_EQ(editor->document()->mosaicGrain(), 64);
    ASSERT_TRUE(editor->mosaicGrainControl()->selectedItem());
    EXPECT_EQ(editor->mosaicGrainControl()->selectedItem()->data().toLongLong(), 64);
    EXPECT_EQ(NativeAppAppearance::NativeMenu::shared().contentView(), nullptr);
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::selectSegment));
    EXPECT_FALSE(editor->activeDrawingTool());
}

// Without the More button the run stops after the first grain picture, closes the menu, gives
// the appearance back and writes no result.
TEST_F(SubRun, AMissingMoreButtonFailsAfterTheFirstPicture)
{
    editor->showEditor();
    QWidget *more = MenuVerification::findMore(editor->view());
    ASSERT_TRUE(more);
    more->setObjectName(QString());

    const std::exception_ptr error = runMenus();
    EXPECT_EQ(describe(error), "More button missing");
    EXPECT_EQ(QDir(output).entryList(QDir::Files, QDir::Name), QStringList{QStringLiteral("menu-grain-light.png")});
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::nullopt);
    EXPECT_EQ(NativeAppAppearance::NativeMenu::shared().contentView(), nullptr);
}

// ---- voice interaction ---------------------------------------------------------------------

// Every phase in both appearances, the fallbacks and the pen, then the editor as it was.
TEST_F(SubRun, VoiceInteractionPassesAndGivesTheEditorBack)
{
    editor->showEditor();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return editor->view()->window()->windowHandle()->isExposed(); }, 10000));
    editor->mode()->setSelectedSegment(EditorController::selectSegment);
    editor->updateMode();
    const ShotState state = editor->document()->state();

    const std::exception_ptr error = attempt(VoiceInteractionVerification::run(editor.get(), output));
    ASSERT_FALSE(error) << describe(error);

    QStringList expected;
    for (const char *appearance : {"dark", "light"})
        for (const char *phase : {"failed", "preparing", "processing", "ready", "recording"})
            expected << QStringLiteral("voice-%1-%2.png").arg(QString::fromLatin1(phase), QString::fromLatin1(appearance));
    expected << QStringLiteral("voice-interaction-result.json");
    expected.sort();
    EXPECT_EQ(evidenceFiles(), expected);
    QFile result(output + QStringLiteral("/voice-interaction-result.json"));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    const QByteArray bytes = result.readAll();
    EXPECT_EQ(bytes, QByteArray(VoiceInteractionVerification::passResult));
    EXPECT_EQ(bytes.size(), 228);

    EXPECT_TRUE(editor->document()->state() == state) << "the note and the pen stroke are gone";
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::selectSegment));
    EXPECT_FALSE(editor->voiceReady());
    EXPECT_EQ(AppearanceManager::shared().applicationAppearance(), std::nullopt);
    EXPECT_FALSE(editor->annotationPanel()->panel() && editor->annotationPanel()->panel()->isVisible());
    const QImage dark(output + QStringLiteral("/voice-failed-dark.png"));
    const QImage light(output + QStringLiteral("/voice-failed-light.png"));
    ASSERT_EQ(dark.size(), light.size());
    EXPECT_NE(dark, light);
}

// With the editor window closed there is nothing to click: the run fails at its entry instead
// of passing without the click, and leaves the editor as it was.
TEST_F(SubRun, VoiceInteractionWithoutAWindowFailsAtItsEntry)
{
    editor->mode()->setSelectedSegment(EditorController::mosaicSegment);
    const std::exception_ptr error = attempt(VoiceInteractionVerification::run(editor.get(), output));
    EXPECT_EQ(describe(error), "Voice entry has no window to click");
    EXPECT_TRUE(evidenceFiles().isEmpty());
    EXPECT_EQ(editor->mode()->selectedSegment(), int(EditorController::mosaicSegment));
    EXPECT_FALSE(editor->voiceReady());
}

// ---- voice retry ---------------------------------------------------------------------------

class VoiceRetryRun : public SubRun {
protected:
    void SetUp() override
    {
        SubRun::SetUp();
        ASSERT_TRUE(models.isValid());
        fixture = folder.filePath(QStringLiteral("fixture.wav"));
        ASSERT_TRUE(TestSupport::writeGoForwardWav(fixture, 0.3, 0.3));
        fixtureBytes = contents(fixture);
        leftovers = retryCopies();
        editor->showEditor();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return editor->view()->window()->windowHandle()->isExposed(); }, 10000));
    }
    // An engine that only uses what is installed in `models`, taking a model of the digest
    // `sha1` for the published one.
    std::shared_ptr<OnDeviceVoiceAnnotation> engine(const QByteArray &sha1 = QByteArray()) const
    {
        OnDeviceVoiceAnnotation::Options options;
        options.speech.modelFolder = models.path();
        if (!sha1.isEmpty())
            options.speech.whisperModel.sha1 = sha1;
        options.speech.allowDownload = false;
        options.temporaryFolder = folder.filePath(QStringLiteral("audio"));
        QDir().mkpath(options.temporaryFolder);
        return std::make_shared<OnDeviceVoiceAnnotation>(options);
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QStringList retryCopies() { return QDir::temp().entryList({QStringLiteral("kivaro-retry-*")}, QDir::Files); }

    QTemporaryDir models;
    QString fixture;
    QByteArray fixtureBytes;
    QStringList leftovers;
};

// Where no installed engine serves Mandarin the run fails with the voice notes' own message,
// before any picture, and leaves the fixture as it was.
TEST_F(VoiceRetryRun, WithoutAMandarinModelFailsAsUnsupported)
{
    const std::exception_ptr error = attempt(VoiceRetryVerification::run(editor.get(), fixture, output, engine()));
    EXPECT_EQ(describe(error), kivaroCopy(QStringLiteral("此设备或语言暂不支持本地语音识别，可使用文字标注。")).toStdString());
    EXPECT_TRUE(evidenceFiles().isEmpty());
    EXPECT_EQ(contents(fixture), fixtureBytes);
    EXPECT_EQ(retryCopies(), leftovers);
}

// With a whisper model that serves Mandarin but does not hear "保存" in the fixture, the failed
// recording is kept and photographed, the retry runs the real transcription, and the run fails
// on its text; the recording copy does not outlive the run.
TEST_F(VoiceRetryRun, ARetryThatDoesNotHearTheWordFails)
{
    const QString model = QDir(models.path()).filePath(Platform::whisperBaseModel().fileName);
    ASSERT_TRUE(TestSupport::writeRandomWhisperModel(model));
    const std::exception_ptr error =
        attempt(VoiceRetryVerification::run(editor.get(), fixture, output, engine(TestSupport::sha1OfFile(model))));
    EXPECT_EQ(describe(error), "重试未成功识别或录音未清理");
    EXPECT_EQ(evidenceFiles(), (QStringList{QStringLiteral("09-recording-feedback.png"), QStringLiteral("10-retry-feedback.png")}));
    EXPECT_EQ(contents(fixture), fixtureBytes);
    EXPECT_EQ(retryCopies(), leftovers);
}

} // namespace
