// The editor's voice branches with a voice engine the test scripts: a press in voice mode
// records, the release transcribes and adds an arrow with a bubble at the pressed point, and a
// failure offers retry (when a recording is kept), typing instead, and cancel.

#include "EditorFixtures.h"

#include "Kivaro/editor/AnnotationFloatingPanel.h"
#include "Kivaro/controls/KivaroButton.h"
#include "Kivaro/controls/KivaroModes.h"
#include "Kivaro/controls/KivaroTextLabel.h"
#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"
#include "Kivaro/voice-and-text/VoiceFeedbackView.h"
#include "Kivaro/voice-and-text/internal/VoiceWaveform.h"

#include <QTcpServer>

#include <gtest/gtest.h>

using namespace Kivaro;
using namespace EditorTesting;

namespace {

// Scripted outcomes; a transcription waits until the test releases it.
class HeldVoice final : public VoiceAnnotation {
public:
    std::optional<QString> beginFailure;
    std::optional<QString> transcriptFailure;
    QString transcript = QStringLiteral("go forward ten meters");
    bool keptRecording = false;
    bool release = true; // transcriptions end at once unless false
    int prepares = 0, begins = 0, finishes = 0, retries = 0, cancels = 0;
    double currentLevel = 0.5;
    bool recording = false;

    Platform::Task<void> prepare(QString, bool) override
    {
        ++prepares;
        co_return;
    }
    void begin() override
    {
        ++begins;
        if (beginFailure)
            throw ShotError::message(*beginFailure);
        recording = true;
    }
    Platform::Task<QString> finish() override
    {
        ++finishes;
        recording = false;
        keptRecording = true;
        co_return co_await outcome();
    }
    Platform::Task<QString> retry() override
    {
        ++retries;
        co_return co_await outcome();
    }
    bool canRetry() const override { return keptRecording; }
    void cancel() override
    {
        ++cancels;
        recording = false;
        keptRecording = false;
    }
    double level() override { return recording ? currentLevel : 0.0; }

private:
    Platform::Task<QString> outcome()
    {
        while (!release)
            co_await Platform::sleep(std::chrono::milliseconds(5));
        if (transcriptFailure)
            throw ShotError::message(*transcriptFailure);
        keptRecording = false;
        co_return transcript;
    }
};

class EditorVoice : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        editor.reset();
        Kivaro::EditorController::Services services = editorServices();
        services.voice = held;
        editor = std::make_unique<Kivaro::EditorController>(services);
        loadPicture();
        editor->mode()->setSelectedSegment(EditorController::voiceSegment);
        editor->modeChanged();
        ASSERT_TRUE(waitUntil([&] { return editor->voiceReady() && !editor->busy(); }));
    }
    QPointF view(QPointF imagePoint) const { return editor->document()->canvas()->viewPoint(imagePoint); }
    VoiceFeedbackView *panel() const { return editor->voiceFeedback(); }
    void hold(QPointF imagePoint)
    {
        editor->begin(view(imagePoint));
        editor->end();
    }
    qsizetype links() const { return editor->document()->links().size(); }
    QPointF lastAnchor() const { return editor->document()->links().last().anchor; }

    std::shared_ptr<HeldVoice> held = std::make_shared<HeldVoice>();
};

} // namespace

TEST_F(EditorVoice, AHeldNoteBecomesAnArrowAndBubbleAtThePressedPoint)
{
    held->release = false;
    editor->begin(view(QPointF(200, 150)));
    EXPECT_EQ(held->begins, 1);
    EXPECT_TRUE(editor->busy());
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::recording);
    EXPECT_FALSE(panel()->cancelButton()->isHidden());
    editor->end();
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::processing);
    EXPECT_EQ(panel()->headline()->text(), QStringLiteral("正在生成标注…"));
    EXPECT_EQ(editor->failedVoiceAnchor(), QPointF(200, 150));
    held->release = true;
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(links(), 1);
    EXPECT_NEAR(lastAnchor().x(), 200, 0.5);
    EXPECT_NEAR(lastAnchor().y(), 150, 0.5);
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::success);
    EXPECT_EQ(statusText(), QStringLiteral("已添加"));
    EXPECT_FALSE(editor->failedVoiceAnchor());
    editor->end(); // a second release (after the limit ended the note) does nothing
    EXPECT_EQ(held->finishes, 1);
}

TEST_F(EditorVoice, AFailedStartShowsTypingAndCancelButNoRetry)
{
    held->beginFailure = QStringLiteral("无法准备麦克风，请检查音频输入设备。");
    editor->begin(view(QPointF(100, 100)));
    EXPECT_FALSE(editor->anchor());
    EXPECT_FALSE(editor->busy());
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::failed);
    EXPECT_EQ(panel()->detail()->text(), QStringLiteral("无法准备麦克风，请检查音频输入设备。"));
    EXPECT_TRUE(panel()->retryButton()->isHidden());
    EXPECT_FALSE(panel()->textButton()->isHidden());
    EXPECT_FALSE(panel()->cancelButton()->isHidden());
    editor->retryVoice(); // nothing kept: nothing happens
    EXPECT_EQ(held->retries, 0);
}

TEST_F(EditorVoice, AFailedTranscriptionIsRetriedAtTheSamePointThroughTheButton)
{
    held->transcriptFailure = QStringLiteral("没有识别到语音，请重试或输入文字。");
    hold(QPointF(300, 120));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(links(), 0);
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::failed);
    EXPECT_FALSE(panel()->retryButton()->isHidden());
    held->keptRecording = true;
    held->transcriptFailure.reset();
    panel()->retryButton()->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(held->retries, 1);
    ASSERT_EQ(links(), 1);
    EXPECT_NEAR(lastAnchor().x(), 300, 0.5);
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::success);
}

TEST_F(EditorVoice, CancellingWhileProcessingDropsTheLateTranscript)
{
    held->release = false;
    hold(QPointF(200, 150));
    editor->cancelVoice();
    EXPECT_EQ(statusText(), QStringLiteral("已取消"));
    EXPECT_FALSE(editor->busy());
    EXPECT_EQ(held->cancels, 1);
    held->release = true;
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(links(), 0);
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::ready);
}

TEST_F(EditorVoice, TypingInsteadOpensTheTextPanelAtTheHeldPoint)
{
    held->transcriptFailure = QStringLiteral("没有识别到语音，请重试或输入文字。");
    hold(QPointF(250, 200));
    ASSERT_TRUE(waitIdle());
    panel()->textButton()->click();
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::textSegment);
    EXPECT_TRUE(editor->annotationPanel()->input()) << "the text panel is open";
    EXPECT_NEAR(editor->annotationPanel()->imageAnchor.x(), 250, 0.5);
    EXPECT_NEAR(editor->annotationPanel()->imageAnchor.y(), 200, 0.5);
    EXPECT_FALSE(editor->failedVoiceAnchor());

    editor->mode()->setSelectedSegment(EditorController::voiceSegment);
    editor->modeChanged();
    ASSERT_TRUE(waitIdle());
    editor->typeVoiceFallback(); // no failed note: only the mode changes
    EXPECT_EQ(editor->mode()->selectedSegment(), EditorController::textSegment);
    EXPECT_EQ(statusText(), QStringLiteral("点击问题位置，输入标注"));
}

TEST_F(EditorVoice, TheLimitEndsTheNoteAsIfReleasedAndTheMeterReadsTheEngine)
{
    held->release = false;
    held->currentLevel = 0.37;
    editor->begin(view(QPointF(200, 150)));
    waitUntil([] { return false; }, 250); // a few ticks of the panel's clock
    EXPECT_NEAR(panel()->meter()->state().level, 0.37, 1e-9) << "the meter shows the engine's level";
    ASSERT_TRUE(held->didReachLimit) << "the editor listens for the length limit";
    held->didReachLimit();
    EXPECT_EQ(panel()->phase(), VoiceFeedbackView::Phase::processing);
    EXPECT_FALSE(editor->anchor());
    editor->end(); // the real release finds nothing to end
    held->release = true;
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(held->finishes, 1);
    EXPECT_EQ(links(), 1);
}

TEST_F(EditorVoice, APressOutsideThePictureOrWhileBusyChangesNothing)
{
    editor->begin(view(QPointF(-50, -50)));
    EXPECT_FALSE(editor->anchor());
    EXPECT_EQ(held->begins, 0);
    editor->begin(view(QPointF(10, 10)));
    EXPECT_EQ(held->begins, 1);
    editor->begin(view(QPointF(20, 20))); // busy recording
    EXPECT_EQ(held->begins, 1);
    editor->cancelVoice();
}

TEST_F(EditorVoice, ChangingTheLanguageEndsTheNoteAndWaitsForTheNextPreparation)
{
    held->release = false;
    hold(QPointF(200, 150));
    ASSERT_TRUE(editor->busy());
    const int prepared = held->prepares;
    editor->changeLanguage();
    EXPECT_EQ(held->cancels, 1) << "the note being transcribed is dropped";
    EXPECT_FALSE(editor->voiceReady());
    EXPECT_FALSE(editor->busy());
    EXPECT_FALSE(editor->failedVoiceAnchor());
    EXPECT_EQ(statusText(), QStringLiteral("语音语言已切换"));
    held->release = true;
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(links(), 0);
    EXPECT_EQ(held->prepares, prepared) << "the new language is not prepared";
    EXPECT_NE(panel()->phase(), VoiceFeedbackView::Phase::preparing);

    editor->begin(view(QPointF(100, 100)));
    EXPECT_FALSE(editor->anchor());
    EXPECT_EQ(held->begins, 1);
    EXPECT_EQ(statusText(), QStringLiteral("请先选择麦克风工具"));

    // The panel's language pop-up goes through the same change and then prepares the choice.
    editor->changeVoiceLanguageControl();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(held->prepares, prepared + 1);
    EXPECT_TRUE(editor->voiceReady());
}

// Offline without whisper's model, Mandarin cannot be prepared: the panel says the language
// needs the model, which could not be downloaded, and offers typing first, with no retry that
// cannot succeed.
TEST_F(EditorTest, MandarinWhoseModelCannotBeDownloadedOffersTypingAndNoRetry)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    OnDeviceVoiceAnnotation::Options options;
    options.temporaryFolder = folder.path();
    options.speech.modelFolder = folder.filePath(QStringLiteral("speech"));
    options.speech.whisperModel.url = QUrl(QStringLiteral("http://127.0.0.1:%1/ggml-base.bin").arg(closed.serverPort()));
    closed.close(); // the connection is refused, as on a machine without network
    editor.reset();
    Kivaro::EditorController::Services services = editorServices();
    services.voice = std::make_shared<OnDeviceVoiceAnnotation>(options);
    editor = std::make_unique<Kivaro::EditorController>(services);
    loadPicture();
    editor->mode()->setSelectedSegment(EditorController::voiceSegment);
    editor->modeChanged(); // Mandarin is the first language
    ASSERT_TRUE(waitUntil([&] { return !editor->busy(); }, 30000));

    VoiceFeedbackView *panel = editor->voiceFeedback();
    EXPECT_EQ(panel->phase(), VoiceFeedbackView::Phase::failed);
    EXPECT_EQ(panel->detail()->text(), QStringLiteral("这种语言需要语音模型，但无法连接下载服务器，模型未能下载。可使用文字标注。"));
    EXPECT_TRUE(panel->retryButton()->isHidden());
    ASSERT_FALSE(panel->textButton()->isHidden());
    ASSERT_FALSE(panel->cancelButton()->isHidden());
    EXPECT_LT(panel->textButton()->x(), panel->cancelButton()->x()) << "typing comes first";
    const QString snapshots = qEnvironmentVariable("KIVARO_TEST_SNAPSHOTS");
    if (!snapshots.isEmpty()) {
        QDir().mkpath(snapshots);
        editor->window()->grab().save(snapshots + QStringLiteral("/voice-model-unreachable.png"));
    }
}
