// A spoken note end to end: the real editor on a real X server with a window manager, the real
// voice engine recording from the test command's private sound server while "--acoustic-fixture"
// plays the recogniser's "go forward ten meters", and the pointer held on the canvas with
// xdotool as a user holds it.

#include "EditorFixtures.h"

#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/editor/CompactStatusLabel.h"
#include "Kivaro/editor/HoldOverlay.h"
#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "Platform/Async/Awaitables.h"
#include "Platform/ScreenCapture/X11TestDisplay.h"
#include "Support/ClientProcess.h"
#include "Support/LaunchArgumentsScope.h"
#include "Support/Speech/SoundServer.h"
#include "Support/Speech/SpokenFixtures.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Kivaro;
using namespace EditorTesting;
using namespace Platform;
using TestSupport::recordingStreamsBecome;
using TestSupport::runClient;
using TestSupport::X11TestDisplay;

namespace {

class SpokenNote : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        if (qEnvironmentVariableIsEmpty("KIVARO_TEST_SOUND_SERVER"))
            GTEST_SKIP() << "no private sound server: run through scripts/run-tests";
        ASSERT_TRUE(display.isValid());
        ASSERT_TRUE(display.startWindowManager());
        ASSERT_TRUE(folder.isValid());
        fixture = folder.filePath(QStringLiteral("goforward.wav"));
        ASSERT_TRUE(TestSupport::writeGoForwardWav(fixture, 0.4, 0.3));
        evidence = folder.filePath(QStringLiteral("evidence"));
        ASSERT_TRUE(QDir().mkpath(evidence));
        arguments = std::make_unique<TestSupport::LaunchArgumentsScope>(
            QStringList{QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"), evidence,
                        QStringLiteral("--acoustic-fixture"), fixture});
        OnDeviceVoiceAnnotation::Options options;
        options.speech.modelFolder = folder.filePath(QStringLiteral("speech"));
        options.speech.allowDownload = false; // English is served by pocketsphinx here
        voice = std::make_shared<OnDeviceVoiceAnnotation>(options);
        services.filePanels = std::make_shared<ScriptedFilePanels>();
        services.alerts = std::make_shared<ScriptedAlertPresenter>();
        services.recentDirectory = folder.filePath(QStringLiteral("recent"));
        services.voice = voice;
        editor = std::make_unique<EditorController>(services);
        editor->document()->load(picture(640, 400), false);
        editor->showEditor();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window()->windowHandle(), 10000));
        settle(400);
        editor->selectSpeechLanguage(1); // English
        editor->mode()->setSelectedSegment(EditorController::voiceSegment);
        editor->modeChanged();
        ASSERT_TRUE(waitUntil([&] { return editor->voiceReady() && !editor->busy(); }, 30000));
    }
    void TearDown() override
    {
        if (!editor)
            return;
        xdo({QStringLiteral("mouseup"), QStringLiteral("1")});
        editor->cancelVoice();
        editor.reset();
        settle(100); // lets the recent shots' pending write end with its store
        // As the application does when it ends: the recording folder goes with the engine's cancel.
        voice->cancel();
        voice.reset();
        display.stopWindowManager();
    }

    static void settle(int ms = 60) { waitUntil([] { return false; }, ms); }
    static bool xdo(const QStringList &args)
    {
        const TestSupport::ClientResult result = runClient(QStringLiteral("xdotool"), args);
        settle();
        return result.finished && result.exitCode == 0;
    }
    QPoint global(QPointF imagePoint) const
    {
        return editor->overlay()->mapToGlobal(editor->document()->canvas()->viewPoint(imagePoint)).toPoint();
    }
    // Holds the pointer at an image point for `seconds`, as a user speaking would.
    void holdAt(QPointF imagePoint, double seconds)
    {
        const QPoint at = global(imagePoint);
        ASSERT_TRUE(xdo({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}));
        ASSERT_TRUE(xdo({QStringLiteral("mousedown"), QStringLiteral("1")}));
        ASSERT_TRUE(waitUntil([&] { return editor->voiceFeedback()->phase() == VoiceFeedbackView::Phase::recording; }, 3000));
        settle(int(seconds * 1000));
        ASSERT_TRUE(xdo({QStringLiteral("mouseup"), QStringLiteral("1")}));
    }
    QString bubbleText(const AnnotationLink &link) const
    {
        const Markup markup = editor->document()->markup();
        const ShapeElement *bubble = markup.subelements().shape(link.bubbleID);
        return bubble ? bubble->attributedText.string() : QString();
    }
    QList<QJsonObject> trace() const
    {
        QList<QJsonObject> lines;
        QFile file(evidence + QStringLiteral("/voice-timing.jsonl"));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    lines << QJsonDocument::fromJson(line).object();
        return lines;
    }
    // Recordings of this engine: its folder's files.
    QStringList recordings() const { return QDir(voice->recordingDirectory()).entryList(QDir::Files); }

    X11TestDisplay display;
    QTemporaryDir folder;
    QString fixture;
    QString evidence;
    std::unique_ptr<TestSupport::LaunchArgumentsScope> arguments;
    std::shared_ptr<OnDeviceVoiceAnnotation> voice;
    EditorController::Services services;
    std::unique_ptr<EditorController> editor;
};

} // namespace

TEST_F(SpokenNote, HoldingFourSecondsGivesABubbleWithWhatWasSaidAndAnArrowAtTheHeldPoint)
{
    const QPointF held(320, 180);
    holdAt(held, 4.0);
    ASSERT_TRUE(waitUntil([&] { return !editor->document()->links().isEmpty() && !editor->busy(); }, 30000))
        << editor->voiceFeedback()->detail()->text().toStdString();
    const AnnotationLink link = editor->document()->links().first();
    EXPECT_TRUE(bubbleText(link).contains(QStringLiteral("forward"))) << bubbleText(link).toStdString();
    // The arrow points at the held pixel (the pointer sits on whole screen points).
    EXPECT_NEAR(link.anchor.x(), held.x(), 1.5);
    EXPECT_NEAR(link.anchor.y(), held.y(), 1.5);
    EXPECT_EQ(editor->voiceFeedback()->phase(), VoiceFeedbackView::Phase::success);
    const QString snapshots = qEnvironmentVariable("KIVARO_TEST_SNAPSHOTS");
    if (!snapshots.isEmpty()) {
        settle(300);
        QDir().mkpath(snapshots);
        editor->window()->grab().save(snapshots + QStringLiteral("/spoken-note.png"));
    }

    const QList<QJsonObject> lines = trace();
    QStringList actions;
    for (const QJsonObject &line : lines)
        actions << line.value(QStringLiteral("action")).toString();
    EXPECT_EQ(actions, (QStringList{QStringLiteral("begin"), QStringLiteral("prepared"), QStringLiteral("recording"),
                                    QStringLiteral("finish")}));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_NEAR(lines.last().value(QStringLiteral("duration")).toDouble(), 4.0, 0.5);
    EXPECT_TRUE(recordings().isEmpty()) << "a transcribed note leaves no recording";
}

TEST_F(SpokenNote, EscapeWhileProcessingCancelsAndLeavesNoBubbleNorRecordingFolder)
{
    // Recognition made slow enough for a user's Escape to arrive while it runs.
    voice->transcribeRecording = [v = voice.get()](QString path, QString locale) -> Task<QString> {
        co_await Platform::sleep(std::chrono::milliseconds(2000));
        co_return co_await v->transcribe(path, locale);
    };
    holdAt(QPointF(200, 120), 2.0);
    ASSERT_TRUE(waitUntil([&] { return editor->voiceFeedback()->phase() == VoiceFeedbackView::Phase::processing; }, 3000));
    ASSERT_TRUE(xdo({QStringLiteral("key"), QStringLiteral("Escape")}));
    ASSERT_TRUE(waitUntil([&] { return editor->status()->stringValue() == QStringLiteral("已取消"); }, 3000));
    settle(2500); // past the transcription's end
    EXPECT_TRUE(editor->document()->links().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(voice->recordingDirectory()));
    EXPECT_FALSE(editor->busy());
}

TEST_F(SpokenNote, AFailedTranscriptionKeepsTheRecordingAndRetryTranscribesItWithoutSpeakingAgain)
{
    int attempts = 0;
    voice->transcribeRecording = [v = voice.get(), &attempts](QString path, QString locale) -> Task<QString> {
        if (++attempts == 1)
            throw ShotError::message(QStringLiteral("语音识别失败，请重试。"));
        co_return co_await v->transcribe(path, locale);
    };
    holdAt(QPointF(420, 260), 4.0);
    ASSERT_TRUE(waitUntil([&] { return editor->voiceFeedback()->phase() == VoiceFeedbackView::Phase::failed; }, 30000));
    EXPECT_TRUE(voice->canRetry());
    EXPECT_EQ(recordings().size(), 1);
    KivaroButton *retry = editor->voiceFeedback()->retryButton();
    ASSERT_FALSE(retry->isHidden());
    // The fixture is not played again: retry reads the kept file.
    arguments.reset();
    const QPoint at = retry->mapToGlobal(retry->rect().center());
    ASSERT_TRUE(xdo({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}));
    ASSERT_TRUE(xdo({QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return !editor->document()->links().isEmpty() && !editor->busy(); }, 30000));
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(bubbleText(editor->document()->links().first()).contains(QStringLiteral("forward")));
    EXPECT_NEAR(editor->document()->links().first().anchor.x(), 420, 1.5);
    EXPECT_FALSE(voice->canRetry());
    EXPECT_TRUE(recordings().isEmpty());
}

// The microphone as a desktop's indicator sees it: open while a note is recorded, and closed
// when the voice panel goes (another mode) or the editor closes, however recently voice was
// prepared; it does not stay open for the rest of the session.
TEST_F(SpokenNote, TheMicrophoneIsOpenWhileRecordingAndClosesWithThePanelAndTheEditor)
{
    editor->mode()->setSelectedSegment(EditorController::textSegment);
    editor->modeChanged();
    EXPECT_TRUE(recordingStreamsBecome(0)) << "the panel went, the microphone stayed";

    editor->mode()->setSelectedSegment(EditorController::voiceSegment);
    editor->modeChanged();
    ASSERT_EQ(editor->voiceFeedback()->phase(), VoiceFeedbackView::Phase::ready);
    const QPoint at = global(QPointF(300, 200));
    ASSERT_TRUE(xdo({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}));
    ASSERT_TRUE(xdo({QStringLiteral("mousedown"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return editor->voiceFeedback()->phase() == VoiceFeedbackView::Phase::recording; }, 3000));
    EXPECT_TRUE(recordingStreamsBecome(1)) << "recording";
    settle(1500);
    ASSERT_TRUE(xdo({QStringLiteral("mouseup"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return !editor->busy(); }, 30000));
    EXPECT_TRUE(recordingStreamsBecome(0)) << "after the note";

    // Prepared again (a new language), then the editor is closed.
    editor->selectSpeechLanguage(1);
    ASSERT_TRUE(waitUntil([&] { return editor->voiceReady() && !editor->busy(); }, 30000));
    editor->window()->close();
    ASSERT_TRUE(waitUntil([&] { return !editor->window()->isVisible(); }, 5000));
    EXPECT_TRUE(recordingStreamsBecome(0)) << "the editor closed, the microphone stayed";
}
