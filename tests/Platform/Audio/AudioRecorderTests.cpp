// Recording through the test command's private sound server: its null sink's monitor is the
// default input, so what a fixture plays on the default output is what the recorder hears.

#include "Platform/Audio/AudioRecorder.h"
#include "Platform/Audio/FixturePlayer.h"
#include "Platform/Audio/WavFile.h"

#include "Support/Speech/SpokenFixtures.h"
#include "Support/TaskTesting.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Platform;

namespace {

class AudioRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("KIVARO_TEST_SOUND_SERVER"))
            GTEST_SKIP() << "no private sound server: run through scripts/run-tests";
        ASSERT_FALSE(AudioRecorder::defaultInput().isNull()) << "the sound server offers no input";
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(AudioRecorderTest, RecordsWhatTheFixturePlaysAsFortyEightKilohertzMonoWav)
{
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(TestSupport::writeToneWav(tone, 1.5));
    const QString path = dir.filePath(QStringLiteral("note.wav"));
    AudioRecorder recorder(path, AudioRecorder::defaultInput());
    ASSERT_TRUE(recorder.prepareToRecord()) << recorder.errorString().toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    auto player = FixturePlayer::open(tone);
    ASSERT_TRUE(player);
    ASSERT_TRUE(recorder.record(60));
    ASSERT_TRUE(player->play());
    double loudest = -160;
    TestSupport::waitUntil([&] {
        loudest = std::max(loudest, recorder.averagePower());
        return recorder.currentTime() >= 1.0;
    }, 5000);
    recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_GT(loudest, -30.0) << "the recorder did not hear the fixture";

    QString error;
    const auto audio = readWav(path, &error);
    ASSERT_TRUE(audio) << error.toStdString();
    EXPECT_EQ(audio->sampleRate, 48000);
    EXPECT_EQ(audio->channels, 1);
    EXPECT_NEAR(audio->seconds(), recorder.currentTime(), 1e-9);
    EXPECT_GE(audio->seconds(), 1.0);
}

TEST_F(AudioRecorderTest, StopsWritingAtItsLimitByItself)
{
    const QString path = dir.filePath(QStringLiteral("limit.wav"));
    AudioRecorder recorder(path, AudioRecorder::defaultInput());
    ASSERT_TRUE(recorder.prepareToRecord());
    QSignalSpy limit(&recorder, &AudioRecorder::limitReached);
    ASSERT_TRUE(recorder.record(0.3));
    // Nobody reacts to the signal: the recorder ends on its own.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.reachedLimit(); }, 5000));
    EXPECT_FALSE(recorder.isRecording());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return limit.count() == 1; }, 1000));
    TestSupport::waitUntil([] { return false; }, 300);
    EXPECT_DOUBLE_EQ(recorder.currentTime(), 0.3);
    const auto audio = readWav(path);
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->samples.size(), size_t(0.3 * 48000));
    EXPECT_FALSE(recorder.record(1)) << "a recorder records once";
}

TEST_F(AudioRecorderTest, NeverWritesThroughALinkOrOverAnExistingFile)
{
    const QString victim = dir.filePath(QStringLiteral("victim"));
    QFile(victim).open(QIODevice::WriteOnly);
    const QString link = dir.filePath(QStringLiteral("link.wav"));
    ASSERT_TRUE(QFile::link(victim, link));
    AudioRecorder throughLink(link, AudioRecorder::defaultInput());
    EXPECT_FALSE(throughLink.prepareToRecord());
    EXPECT_EQ(QFileInfo(victim).size(), 0);

    AudioRecorder overExisting(victim, AudioRecorder::defaultInput());
    EXPECT_FALSE(overExisting.prepareToRecord());
}

TEST(AudioRecorderWithoutDevice, RefusesToPrepare)
{
    QTemporaryDir dir;
    AudioRecorder recorder(dir.filePath(QStringLiteral("x.wav")), QAudioDevice());
    EXPECT_FALSE(recorder.prepareToRecord());
    EXPECT_FALSE(recorder.errorString().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("x.wav"))));
    EXPECT_FALSE(recorder.record(1));
}

TEST(FixturePlayer, AnUnreadableFileGivesNoPlayer)
{
    QTemporaryDir dir;
    EXPECT_FALSE(FixturePlayer::open(dir.filePath(QStringLiteral("missing.wav"))));
    QFile junk(dir.filePath(QStringLiteral("junk.wav")));
    junk.open(QIODevice::WriteOnly);
    junk.write("not a wav file at all, just words");
    junk.close();
    EXPECT_FALSE(FixturePlayer::open(junk.fileName()));
}
