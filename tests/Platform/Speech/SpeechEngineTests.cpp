// The engines on real audio: pocketsphinx with the system's English model on the recogniser's
// own test sentence; whisper on a model file with random weights of the right shapes (it must
// load and run without crashing; its words mean nothing), and, where the published model is
// present on this machine, on a Mandarin sentence. The recogniser picks whisper where its model
// is, pocketsphinx for English where it is not, and refuses what nothing serves.

#include "Platform/Speech/PocketSphinxEngine.h"
#include "Platform/Speech/SpeechRecognizer.h"
#include "Platform/Speech/WhisperEngine.h"

#include "Platform/Async/Cancellation.h"
#include "Support/Speech/RandomWhisperModel.h"
#include "Support/Speech/SpokenFixtures.h"
#include "Support/TaskTesting.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <ggml.h>
#include <gtest/gtest.h>

using namespace Platform;

namespace {

std::vector<float> goForward16k()
{
    const auto samples = TestSupport::goForwardSamples();
    std::vector<float> out;
    if (samples)
        for (int16_t s : *samples)
            out.push_back(float(s) / 32768.0f);
    return out;
}

SpeechRecognizer::Options offline(const QString &folder)
{
    SpeechRecognizer::Options options;
    options.modelFolder = folder;
    options.allowDownload = false;
    return options;
}

} // namespace

TEST(PocketSphinxEngine, HearsTheTestSentence)
{
    ASSERT_TRUE(PocketSphinxEngine::isInstalled()) << "pocketsphinx-en-us is not installed";
    const std::vector<float> samples = goForward16k();
    ASSERT_FALSE(samples.empty()) << "pocketsphinx-testdata is not installed";
    PocketSphinxEngine engine;
    engine.load();
    engine.load(); // once is enough; again does nothing
    std::atomic<bool> abort{false};
    const QString text = engine.transcribe(samples, QStringLiteral("en"), abort);
    EXPECT_TRUE(text.contains(QStringLiteral("forward"))) << text.toStdString();
    abort = true;
    EXPECT_TRUE(engine.transcribe(samples, QStringLiteral("en"), abort).isEmpty());
}

TEST(PocketSphinxEngine, AMissingModelFailsToLoad)
{
    QTemporaryDir dir;
    PocketSphinxEngine engine(dir.path());
    EXPECT_FALSE(PocketSphinxEngine::isInstalled(dir.path()));
    try {
        engine.load();
        FAIL() << "loaded without a model";
    } catch (const SpeechError &error) {
        EXPECT_EQ(error.kind(), SpeechError::Kind::load);
    }
}

TEST(WhisperEngine, RunsAModelOfRandomWeightsWithoutCrashing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("random.bin"));
    ASSERT_TRUE(TestSupport::writeRandomWhisperModel(path));
    WhisperEngine engine(path, 2);
    engine.load();
    std::atomic<bool> abort{false};
    const std::vector<float> samples = goForward16k();
    ASSERT_FALSE(samples.empty());
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("zh")}) {
        const QString text = engine.transcribe(samples, language, abort);
        EXPECT_EQ(text, text.trimmed());
    }
    // Shorter than whisper's one-second window: padded, not refused.
    engine.transcribe(std::vector<float>(4000, 0.0f), QStringLiteral("en"), abort);
    EXPECT_TRUE(WhisperEngine::knowsLanguage(QStringLiteral("zh")));
    EXPECT_FALSE(WhisperEngine::knowsLanguage(QStringLiteral("xx")));
}

TEST(WhisperEngine, ATruncatedOrForeignFileFailsToLoad)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("random.bin"));
    ASSERT_TRUE(TestSupport::writeRandomWhisperModel(path));
    QFile file(path);
    ASSERT_TRUE(file.resize(file.size() / 2));
    for (const QString &model : {path, dir.filePath(QStringLiteral("missing.bin"))}) {
        WhisperEngine engine(model);
        EXPECT_THROW(engine.load(), SpeechError);
    }
}

TEST(WhisperEngine, MandarinWithThePublishedModel)
{
    const QString model = QDir::homePath() + QStringLiteral("/.local/share/kivaro/speech/ggml-base.bin");
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    if (!QFileInfo(model).isFile() || espeak.isEmpty())
        GTEST_SKIP() << "NOT RUN: the published whisper model (" << model.toStdString()
                     << ") or espeak-ng is not on this machine";
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("zh.wav"));
    ASSERT_EQ(QProcess::execute(espeak, {QStringLiteral("-v"), QStringLiteral("cmn"), QStringLiteral("-w"), wav,
                                         QStringLiteral("今天天气很好")}), 0);
    SpeechRecognizer::Options options = offline(QFileInfo(model).path());
    SpeechRecognizer recognizer(options);
    EXPECT_EQ(TestSupport::run(recognizer.prepare(QStringLiteral("zh-CN")), 60000), QStringLiteral("zh-CN"));
    EXPECT_EQ(recognizer.engineFor(QStringLiteral("zh-CN"))->name(), QStringLiteral("whisper"));
    const QString text = TestSupport::run(recognizer.transcribe(wav, QStringLiteral("zh-CN")), 60000);
    EXPECT_TRUE(text.contains(QStringLiteral("天气"))) << text.toStdString();
}

TEST(SpeechRecognizer, OfflineEnglishFallsBackToPocketSphinxAndTranscribesAFile)
{
    QTemporaryDir dir;
    SpeechRecognizer recognizer(offline(dir.filePath(QStringLiteral("speech"))));
    EXPECT_EQ(TestSupport::run(recognizer.prepare(QStringLiteral("en-US")), 30000), QStringLiteral("en-US"));
    ASSERT_TRUE(recognizer.engineFor(QStringLiteral("en-US")));
    EXPECT_EQ(recognizer.engineFor(QStringLiteral("en-US"))->name(), QStringLiteral("pocketsphinx"));
    const QString wav = dir.filePath(QStringLiteral("note.wav"));
    ASSERT_TRUE(TestSupport::writeGoForwardWav(wav, 0.3, 0.3));
    const QString text = TestSupport::run(recognizer.transcribe(wav, QStringLiteral("en-US")), 30000);
    EXPECT_TRUE(text.contains(QStringLiteral("forward"))) << text.toStdString();

    try {
        TestSupport::run(recognizer.transcribe(dir.filePath(QStringLiteral("missing.wav")), QStringLiteral("en-US")));
        FAIL() << "a missing file was transcribed";
    } catch (const SpeechError &error) {
        EXPECT_EQ(error.kind(), SpeechError::Kind::unreadable);
    }
}

TEST(SpeechRecognizer, MandarinWithoutWhisperModelAndAnUnknownLanguageAreRefused)
{
    QTemporaryDir dir;
    SpeechRecognizer recognizer(offline(dir.filePath(QStringLiteral("speech"))));
    for (const QString &identifier : {QStringLiteral("zh-CN"), QStringLiteral("xx-YY")}) {
        try {
            TestSupport::run(recognizer.prepare(identifier));
            FAIL() << identifier.toStdString() << " was prepared";
        } catch (const SpeechError &error) {
            EXPECT_EQ(error.kind(), SpeechError::Kind::unsupported);
        }
    }
}

TEST(SpeechRecognizer, PrefersAnInstalledWhisperModelForEveryLanguage)
{
    QTemporaryDir dir;
    SpeechRecognizer::Options options = offline(dir.path());
    const QString model = dir.filePath(options.whisperModel.fileName);
    ASSERT_TRUE(TestSupport::writeRandomWhisperModel(model));
    options.whisperModel.sha1 = TestSupport::sha1OfFile(model);
    SpeechRecognizer recognizer(options);
    TestSupport::run(recognizer.prepare(QStringLiteral("zh-CN")), 30000);
    TestSupport::run(recognizer.prepare(QStringLiteral("en-US")), 30000);
    EXPECT_EQ(recognizer.engineFor(QStringLiteral("zh-CN"))->name(), QStringLiteral("whisper"));
    EXPECT_EQ(recognizer.engineFor(QStringLiteral("zh-CN")), recognizer.engineFor(QStringLiteral("en-US")))
        << "one model serves both languages";
}

namespace {

// The damaged models a disk or an interrupted copy can leave: cut inside the hyperparameters,
// cut inside the vocabulary, and a complete header with no weights after it.
struct DamagedModels {
    QTemporaryDir dir;
    QStringList paths;
    DamagedModels()
    {
        const QString whole = dir.filePath(QStringLiteral("whole.bin"));
        TestSupport::writeRandomWhisperModel(whole);
        for (const qint64 cut : {qint64(30), qint64(200000)}) {
            const QString path = dir.filePath(QStringLiteral("cut-%1.bin").arg(cut));
            QFile::copy(whole, path);
            QFile(path).resize(cut);
            paths << path;
        }
        TestSupport::WhisperShape header;
        header.tensors = false;
        paths << dir.filePath(QStringLiteral("header-only.bin"));
        TestSupport::writeRandomWhisperModel(paths.last(), header);
    }
};

} // namespace

// whisper's loader trusts the file: damage in its header fails an assertion that ends the
// process, and a header without weights loads and then throws from the transcription. Both are
// errors of the engine, never the end of the process.
TEST(WhisperEngine, ADamagedModelIsAnErrorAndNeverEndsTheProcess)
{
    DamagedModels damaged;
    const std::vector<float> silence(16000, 0.0f);
    std::atomic<bool> abort{false};
    for (const QString &path : damaged.paths) {
        WhisperEngine engine(path, 1);
        try {
            engine.load();
            engine.transcribe(silence, QStringLiteral("en"), abort);
            ADD_FAILURE() << path.toStdString() << " was used";
        } catch (const SpeechError &) {
        }
    }
}

// The recogniser checks an installed model against its published digest before whisper sees
// it: a damaged one fails to load and is removed, so the next preparation downloads it again.
TEST(SpeechRecognizer, ADamagedInstalledModelFailsToLoadAndMakesWayForANewDownload)
{
    DamagedModels damaged;
    for (const QString &source : damaged.paths) {
        QTemporaryDir dir;
        SpeechRecognizer::Options options;
        options.modelFolder = dir.path();
        options.whisperModel.url = QUrl(QStringLiteral("http://127.0.0.1:9/ggml-base.bin")); // never reached
        const QString model = dir.filePath(options.whisperModel.fileName);
        ASSERT_TRUE(QFile::copy(source, model));
        SpeechRecognizer recognizer(options);
        try {
            TestSupport::run(recognizer.prepare(QStringLiteral("zh-CN")), 30000);
            ADD_FAILURE() << source.toStdString() << " was prepared";
        } catch (const SpeechError &error) {
            EXPECT_EQ(error.kind(), SpeechError::Kind::load) << error.what();
        }
        EXPECT_FALSE(QFileInfo::exists(model));
        // Where nothing may be downloaded, nothing is removed either.
        ASSERT_TRUE(QFile::copy(source, model));
        SpeechRecognizer reader(offline(dir.path()));
        EXPECT_THROW(TestSupport::run(reader.prepare(QStringLiteral("zh-CN")), 30000), SpeechError);
        EXPECT_TRUE(QFileInfo::exists(model));
    }
}

// When an assertion of the recogniser's library fails, or an exception escapes, the process
// ends; it never starts a debugger on itself first (ggml's backtrace forks gdb).
TEST(WhisperEngineDeathTest, AFailedAssertionStartsNoDebugger)
{
    QTemporaryDir bin;
    const QString marker = bin.filePath(QStringLiteral("debugger-started"));
    for (const char *name : {"gdb", "lldb"}) {
        QFile tool(bin.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
        tool.write("#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\n");
        tool.close();
        tool.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    WhisperEngine engine(QStringLiteral("unused.bin"));
    EXPECT_DEATH(ggml_abort(__FILE__, __LINE__, "a failed assertion"), "a failed assertion");
    EXPECT_DEATH(std::terminate(), "");
    qputenv("PATH", path);
    EXPECT_FALSE(QFileInfo::exists(marker)) << "a debugger was started";
}
