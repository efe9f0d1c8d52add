// The voice-note engine with real parts: recording from the private sound server of the test
// command (a fixture played with "--acoustic-fixture" is what the recorder hears), the English
// recogniser, and files in a private temporary folder.

#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"

#include "KivaroCore/ShotError.h"
#include "Platform/Async/Cancellation.h"
#include "Platform/Audio/AudioRecorder.h"
#include "Platform/Audio/WavFile.h"
#include "Support/LaunchArgumentsScope.h"
#include "Platform/Files/OwnedFolder.h"
#include "Support/Speech/RandomWhisperModel.h"
#include "Support/Speech/SoundServer.h"
#include "Support/Speech/SpokenFixtures.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Kivaro;
using TestSupport::LaunchArgumentsScope;
using TestSupport::recordingStreamsBecome;
using TestSupport::run;
using TestSupport::waitUntil;

namespace {

QString messageOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const ShotError &error) {
        return error.text();
    }
    return QStringLiteral("(no error)");
}

int modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

class VoiceAnnotationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        options.temporaryFolder = temp.path();
        options.speech.modelFolder = temp.filePath(QStringLiteral("speech"));
        options.speech.allowDownload = false; // English falls back to pocketsphinx
    }
    bool soundServer() const { return !qEnvironmentVariableIsEmpty("KIVARO_TEST_SOUND_SERVER"); }
    std::unique_ptr<OnDeviceVoiceAnnotation> make() { return std::make_unique<OnDeviceVoiceAnnotation>(options); }
    QStringList traceActions() const
    {
        QStringList actions;
        QFile file(evidence.filePath(QStringLiteral("voice-timing.jsonl")));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    actions << QJsonDocument::fromJson(line).object().value(QStringLiteral("action")).toString();
        return actions;
    }
    QJsonObject lastTrace() const
    {
        QFile file(evidence.filePath(QStringLiteral("voice-timing.jsonl")));
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        return QJsonDocument::fromJson(lines.last()).object();
    }

    QTemporaryDir temp;
    QTemporaryDir evidence;
    OnDeviceVoiceAnnotation::Options options;
};

#define REQUIRE_SOUND_SERVER()                                                                     \
    if (!soundServer())                                                                            \
    GTEST_SKIP() << "no private sound server: run through scripts/run-tests"

} // namespace

TEST_F(VoiceAnnotationTest, PreparationRefusesWhatItCannotServe)
{
    auto voice = make();
    EXPECT_EQ(messageOf([&] { run(voice->prepare(QStringLiteral("xx-YY"), false)); }),
              QStringLiteral("此设备或语言暂不支持本地语音识别，可使用文字标注。"));
    // Mandarin needs whisper's model, which cannot be installed here.
    EXPECT_EQ(messageOf([&] { run(voice->prepare(QStringLiteral("zh-CN"), false)); }),
              QStringLiteral("此设备或语言暂不支持本地语音识别，可使用文字标注。"));
    options.microphoneAccess = [] { return false; };
    auto refused = make();
    EXPECT_EQ(messageOf([&] { run(refused->prepare(QStringLiteral("en-US"), true)); }),
              QStringLiteral("麦克风权限未开启。可在系统设置中开启，或使用文字标注。"));
    EXPECT_FALSE(voice->preparedLocale());
    EXPECT_FALSE(refused->preparedLocale());
    EXPECT_EQ(messageOf([&] { voice->begin(); }), QStringLiteral("请先点击“启用语音”，完成本地语音准备。"));
    EXPECT_FALSE(QFileInfo::exists(voice->recordingDirectory())) << "construction and preparation without microphone make no folder";
}

TEST_F(VoiceAnnotationTest, NoInputDeviceIsAnErrorAtWarmUpAndAtBegin)
{
    options.inputDevice = [] { return QAudioDevice(); };
    auto voice = make();
    EXPECT_EQ(messageOf([&] { run(voice->prepare(QStringLiteral("en-US"), true), 30000); }),
              QStringLiteral("无法准备麦克风，请检查音频输入设备。"));
    // Preparation of the recogniser itself succeeded; a press still finds no recorder and says so
    // instead of showing a recording that records nothing.
    EXPECT_EQ(voice->preparedLocale(), QStringLiteral("en-US"));
    EXPECT_EQ(messageOf([&] { voice->begin(); }), QStringLiteral("无法准备麦克风，请检查音频输入设备。"));
    EXPECT_FALSE(voice->recorder());
    EXPECT_TRUE(QDir(voice->recordingDirectory()).isEmpty()) << "no file is left by a failed warm-up";
    voice->cancel();
}

TEST_F(VoiceAnnotationTest, ANoteOfTheFixtureIsRecordedTracedAndTranscribed)
{
    REQUIRE_SOUND_SERVER();
    const QString fixture = temp.filePath(QStringLiteral("goforward.wav"));
    ASSERT_TRUE(TestSupport::writeGoForwardWav(fixture, 0.2, 0.5));
    LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"),
                                    evidence.path(), QStringLiteral("--acoustic-fixture"), fixture});
    auto voice = make();
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    EXPECT_EQ(voice->preparedLocale(), QStringLiteral("en-US"));
    ASSERT_TRUE(voice->hasReadyRecorder());
    EXPECT_EQ(modeOf(voice->recordingDirectory()), 0700);
    EXPECT_EQ(voice->level(), 0.0);

    voice->begin();
    ASSERT_TRUE(voice->recorder());
    ASSERT_TRUE(voice->fixturePlayer()) << "the fixture plays while recording";
    const QString file = voice->recordingURL();
    EXPECT_TRUE(file.startsWith(voice->recordingDirectory() + QLatin1Char('/')));
    EXPECT_TRUE(file.endsWith(QStringLiteral(".wav")));
    EXPECT_EQ(modeOf(file), 0600);
    voice->begin(); // a second press while recording changes nothing
    EXPECT_EQ(voice->recordingURL(), file);
    double loudest = 0;
    waitUntil([&] {
        loudest = std::max(loudest, voice->level());
        return false;
    }, 3300);
    EXPECT_GT(loudest, 0.05);
    EXPECT_LE(loudest, 1.0);

    const QString text = run(voice->finish(), 30000);
    EXPECT_TRUE(text.contains(QStringLiteral("forward"))) << text.toStdString();
    EXPECT_FALSE(voice->canRetry());
    EXPECT_FALSE(QFileInfo::exists(file)) << "a transcribed note is deleted";
    EXPECT_EQ(traceActions(), (QStringList{QStringLiteral("begin"), QStringLiteral("prepared"), QStringLiteral("recording"),
                                           QStringLiteral("finish")}));
    EXPECT_NEAR(lastTrace().value(QStringLiteral("duration")).toDouble(), 3.3, 0.4);
    EXPECT_EQ(modeOf(evidence.filePath(QStringLiteral("voice-timing.jsonl"))), 0600);
    voice->cancel();
}

TEST_F(VoiceAnnotationTest, AFailedTranscriptionKeepsTheRecordingForARetry)
{
    REQUIRE_SOUND_SERVER();
    auto voice = make();
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    int attempts = 0;
    voice->transcribeRecording = [&](QString, QString) -> Platform::Task<QString> {
        ++attempts;
        if (attempts == 1)
            throw ShotError::message(QStringLiteral("transcription failed"));
        co_return QStringLiteral("second time");
    };
    voice->begin();
    const QString file = voice->recordingURL();
    waitUntil([] { return false; }, 400);
    EXPECT_EQ(messageOf([&] { run(voice->finish()); }), QStringLiteral("transcription failed"));
    EXPECT_TRUE(voice->canRetry());
    EXPECT_EQ(voice->retryURL(), file);
    EXPECT_TRUE(QFileInfo::exists(file));

    EXPECT_EQ(run(voice->retry()), QStringLiteral("second time"));
    EXPECT_FALSE(voice->canRetry());
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(messageOf([&] { run(voice->retry()); }), QStringLiteral("没有可重试的录音。"));

    // A new note replaces a kept one.
    attempts = 0;
    voice->begin();
    waitUntil([] { return false; }, 400);
    EXPECT_THROW(run(voice->finish()), ShotError);
    const QString kept = voice->retryURL();
    ASSERT_TRUE(QFileInfo::exists(kept));
    voice->begin();
    EXPECT_FALSE(QFileInfo::exists(kept));
    EXPECT_FALSE(voice->canRetry());
    voice->cancel();
}

TEST_F(VoiceAnnotationTest, ATooShortPressKeepsNothingAndNoRecordingIsAnError)
{
    REQUIRE_SOUND_SERVER();
    auto voice = make();
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    EXPECT_EQ(messageOf([&] { run(voice->finish()); }), QStringLiteral("没有正在进行的录音。"));
    voice->begin();
    const QString file = voice->recordingURL();
    EXPECT_EQ(messageOf([&] { run(voice->finish()); }), QStringLiteral("录音太短，请按住位置再说一句话。"));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(voice->canRetry());
    // Silence long enough to count, with nothing said in it.
    voice->begin();
    waitUntil([] { return false; }, 600);
    EXPECT_EQ(messageOf([&] { run(voice->finish(), 30000); }), QStringLiteral("没有识别到语音，请重试或输入文字。"));
    EXPECT_TRUE(voice->canRetry());
    voice->cancel();
}

TEST_F(VoiceAnnotationTest, TheRecorderStopsAtTheLimitAndTheTraceSaysExactlyTheLimit)
{
    REQUIRE_SOUND_SERVER();
    LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"),
                                    evidence.path(), QStringLiteral("--acoustic-fixture")});
    options.maximumSeconds = 0.6;
    auto voice = make();
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    int limits = 0;
    voice->didReachLimit = [&] { ++limits; };
    voice->begin();
    EXPECT_FALSE(voice->fixturePlayer()) << "the flag without a file plays nothing";
    ASSERT_TRUE(waitUntil([&] { return limits == 1; }, 5000));
    ASSERT_TRUE(voice->recorder());
    ASSERT_TRUE(waitUntil([&] { return voice->recorder()->reachedLimit(); }, 5000));
    EXPECT_DOUBLE_EQ(voice->recorder()->currentTime(), 0.6);
    const QString file = voice->recordingURL();
    voice->transcribeRecording = [](QString, QString) -> Platform::Task<QString> { co_return QStringLiteral("ok"); };
    EXPECT_EQ(run(voice->finish()), QStringLiteral("ok"));
    EXPECT_DOUBLE_EQ(lastTrace().value(QStringLiteral("duration")).toDouble(), 0.6);
    EXPECT_EQ(limits, 1);
    voice->cancel();
}

TEST_F(VoiceAnnotationTest, CancelDeletesEverythingButKeepsThePreparation)
{
    REQUIRE_SOUND_SERVER();
    LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--evidence-dir"), evidence.path()});
    auto voice = make();
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    voice->begin();
    const QString folder = voice->recordingDirectory();
    ASSERT_TRUE(QFileInfo(folder).isDir());
    voice->cancel();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(voice->recorder());
    EXPECT_FALSE(voice->canRetry());
    EXPECT_EQ(voice->preparedLocale(), QStringLiteral("en-US"));
    EXPECT_TRUE(traceActions().isEmpty()) << "no trace without --ui-session";

    voice->begin(); // warms a new recorder and makes the folder again
    EXPECT_TRUE(QFileInfo(folder).isDir());
    voice->cancel();

    // A link planted in the folder's place is neither recorded into nor followed.
    QTemporaryDir elsewhere;
    QFile(elsewhere.filePath(QStringLiteral("precious"))).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(elsewhere.path(), folder));
    EXPECT_THROW(voice->begin(), ShotError);
    EXPECT_TRUE(QDir(elsewhere.path()).entryList(QDir::Files) == QStringList{QStringLiteral("precious")});
    voice->cancel();
    EXPECT_FALSE(QFileInfo::exists(folder) || QFileInfo(folder).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath(QStringLiteral("precious"))));
}

TEST(LeftoverRecordingFolders, OnlyThisProgramsFoldersGoAndLinksAreNotFollowed)
{
    QTemporaryDir temp;
    QTemporaryDir outside;
    QFile(outside.filePath(QStringLiteral("keep"))).open(QIODevice::WriteOnly);
    const auto named = [&](const QString &suffix) { return temp.filePath(QStringLiteral("kivaro-audio-") + suffix); };
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    ASSERT_TRUE(QDir().mkpath(named(uuid) + QStringLiteral("/deeper")));
    QFile(named(uuid) + QStringLiteral("/note.wav")).open(QIODevice::WriteOnly);
    const QString linkUuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    ASSERT_TRUE(QFile::link(outside.path(), named(linkUuid)));
    ASSERT_TRUE(QDir().mkpath(named(QStringLiteral("not-a-uuid"))));
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("other"))));

    removeLeftoverRecordingFolders(temp.path());
    EXPECT_FALSE(QFileInfo::exists(named(uuid)));
    EXPECT_FALSE(QFileInfo(named(linkUuid)).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("keep"))));
    EXPECT_TRUE(QFileInfo::exists(named(QStringLiteral("not-a-uuid"))));
    EXPECT_TRUE(QFileInfo::exists(temp.filePath(QStringLiteral("other"))));
}

// The microphone is open while a note is recorded, and ahead of a press only briefly: a warmed
// input closes after its idle time and when the panel goes (releaseInput), never staying open
// for the rest of the session.
TEST_F(VoiceAnnotationTest, TheInputIsOpenWhileRecordingAndOnlyBrieflyAheadOfAPress)
{
    REQUIRE_SOUND_SERVER();
    ASSERT_TRUE(recordingStreamsBecome(0));
    options.readyInputSeconds = 0.5;
    auto voice = make();
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    EXPECT_TRUE(voice->hasReadyRecorder());
    EXPECT_TRUE(recordingStreamsBecome(1)) << "warmed for a press";
    EXPECT_TRUE(recordingStreamsBecome(0)) << "closed after its idle time";
    EXPECT_FALSE(voice->hasReadyRecorder());
    EXPECT_TRUE(QDir(voice->recordingDirectory()).isEmpty()) << "its file goes with it";

    voice->begin(); // opens the input itself
    ASSERT_TRUE(voice->recorder());
    EXPECT_TRUE(recordingStreamsBecome(1));
    waitUntil([] { return false; }, 1000); // longer than the idle time: a recording is not idle
    EXPECT_TRUE(recordingStreamsBecome(1));
    voice->transcribeRecording = [](QString, QString) -> Platform::Task<QString> { co_return QStringLiteral("ok"); };
    EXPECT_EQ(run(voice->finish()), QStringLiteral("ok"));
    EXPECT_TRUE(recordingStreamsBecome(0));

    options.readyInputSeconds = 600;
    auto again = make();
    run(again->prepare(QStringLiteral("en-US"), true), 30000);
    EXPECT_TRUE(recordingStreamsBecome(1));
    again->releaseInput();
    EXPECT_TRUE(recordingStreamsBecome(0));
    EXPECT_NO_THROW(again->begin()) << "the next press opens it again";
    EXPECT_TRUE(again->recorder());
    again->cancel();
    voice->cancel();
    EXPECT_TRUE(recordingStreamsBecome(0));
}

// A speech model that is damaged at its place is never loaded (whisper's loader would end the
// process): preparation fails with the loading message and the file goes, so that a retry
// downloads it again.
TEST_F(VoiceAnnotationTest, ADamagedSpeechModelFailsToLoadWithoutEndingTheProcess)
{
    options.speech.allowDownload = true;
    QTcpServer closed; // an address where nothing answers: the retry's download is refused
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    options.speech.whisperModel.url = QUrl(QStringLiteral("http://127.0.0.1:%1/ggml-base.bin").arg(closed.serverPort()));
    closed.close();
    ASSERT_TRUE(QDir().mkpath(options.speech.modelFolder));
    const QString model = options.speech.modelFolder + QLatin1Char('/') + options.speech.whisperModel.fileName;
    ASSERT_TRUE(TestSupport::writeRandomWhisperModel(model));
    QFile file(model);
    ASSERT_TRUE(file.resize(60)); // cut inside the hyperparameters
    auto voice = make();
    EXPECT_EQ(messageOf([&] { run(voice->prepare(QStringLiteral("zh-CN"), false), 30000); }), QStringLiteral("无法载入语音模型。"));
    EXPECT_TRUE(voice->preparationRetryable());
    EXPECT_FALSE(QFileInfo::exists(model)) << "a damaged model is not kept";
    EXPECT_NE(messageOf([&] { run(voice->prepare(QStringLiteral("zh-CN"), false), 30000); }), QStringLiteral("无法载入语音模型。"))
        << "the retry downloads";
}

// Offline, a language that needs whisper's model says so and offers typing, not a retry.
TEST_F(VoiceAnnotationTest, AModelThatCannotBeDownloadedSaysTheLanguageNeedsItAndOffersNoRetry)
{
    options.speech.allowDownload = true;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    options.speech.whisperModel.url = QUrl(QStringLiteral("http://127.0.0.1:%1/ggml-base.bin").arg(closed.serverPort()));
    closed.close(); // the connection is refused, as on a machine without network
    auto voice = make();
    EXPECT_EQ(messageOf([&] { run(voice->prepare(QStringLiteral("zh-CN"), true), 30000); }),
              QStringLiteral("这种语言需要语音模型，但无法连接下载服务器，模型未能下载。可使用文字标注。"));
    EXPECT_FALSE(voice->preparationRetryable());
    EXPECT_FALSE(voice->preparedLocale());
    // English still has its offline recogniser.
    run(voice->prepare(QStringLiteral("en-US"), false), 30000);
    EXPECT_EQ(voice->preparedLocale(), QStringLiteral("en-US"));
    EXPECT_TRUE(voice->preparationRetryable());
}

// The timing trace records what happened: a cancel that cancels no note writes nothing.
TEST_F(VoiceAnnotationTest, ACancelWithNothingToCancelIsNotTraced)
{
    LaunchArgumentsScope arguments({QStringLiteral("kivaro"), QStringLiteral("--ui-session"), QStringLiteral("--evidence-dir"),
                                    evidence.path()});
    auto voice = make();
    voice->cancel();
    run(voice->prepare(QStringLiteral("en-US"), false), 30000);
    voice->cancel();
    voice->cancel();
    EXPECT_TRUE(traceActions().isEmpty()) << traceActions().join(u' ').toStdString();
    if (!soundServer())
        return;
    run(voice->prepare(QStringLiteral("en-US"), true), 30000);
    voice->cancel(); // a warmed input is no note
    EXPECT_TRUE(traceActions().isEmpty());
    voice->begin();
    voice->cancel();
    voice->cancel();
    EXPECT_EQ(traceActions(), (QStringList{QStringLiteral("begin"), QStringLiteral("prepared"), QStringLiteral("recording"),
                                           QStringLiteral("cancel")}));
}

// One instance runs per display and all share the temporary folder: a launch removes what
// earlier runs left, never the folder of an engine still recording.
TEST_F(VoiceAnnotationTest, ALaunchRemovesLeftoversButNotTheFolderOfARunningEngine)
{
    REQUIRE_SOUND_SERVER();
    auto running = make();
    run(running->prepare(QStringLiteral("en-US"), true), 30000);
    running->begin();
    const QString live = running->recordingDirectory();
    const QString note = running->recordingURL();
    ASSERT_TRUE(QFileInfo::exists(note));

    const auto named = [&] {
        return temp.filePath(QStringLiteral("kivaro-audio-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    };
    const QString ended = named(); // its engine is gone: the lock file is there, nobody holds it
    ASSERT_TRUE(Platform::OwnedFolder::create(ended));
    const QString older = named(); // an older run's folder, without a lock file
    ASSERT_TRUE(QDir().mkpath(older));

    removeLeftoverRecordingFolders(temp.path());
    EXPECT_TRUE(QFileInfo::exists(note)) << "the running engine's recording stays";
    EXPECT_FALSE(QFileInfo::exists(ended));
    EXPECT_FALSE(QFileInfo::exists(older));

    running->cancel();
    EXPECT_FALSE(QFileInfo::exists(live));
    removeLeftoverRecordingFolders(temp.path());
}
