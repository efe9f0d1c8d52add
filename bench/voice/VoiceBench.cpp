// Voice-note timings on this machine:
//   press    from begin() to the recorder running, with a recorder warmed by the preparation
//            (what a press costs), and with none (the press after a finished note warms one
//            itself); and from begin() to the first sample written to the file
//   rtf      time to transcribe a 10-second note, per engine, as a real-time factor
//            (seconds of work per second of audio)
// The press needs an audio input: run it with a sound server (scripts/run-tests starts a
// private one for the tests; a desktop session has its own).
//
//   bench-voice [--rounds N] [--whisper-model FILE]
// Without a whisper model file, whisper runs a model of random weights with the shapes of the
// published "base" model: the same arithmetic per second of audio in the encoder, but the
// decoder stops at its first token, so the figure is a lower bound for real speech.

#include "support/RunTask.h"
#include "Kivaro/voice-and-text/OnDeviceVoiceAnnotation.h"
#include "Platform/Audio/AudioRecorder.h"
#include "Platform/Speech/SpeechRecognizer.h"
#include "Support/Speech/RandomWhisperModel.h"
#include "Support/Speech/SpokenFixtures.h"
#include "Platform/Async/Task.h"
#include "Platform/Audio/WavFile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A 10-second note: the test sentence three times with pauses, at 48 kHz as recorded.
bool writeTenSecondNote(const QString &path)
{
    const auto sentence = TestSupport::goForwardSamples();
    if (!sentence)
        return false;
    std::vector<int16_t> note;
    while (note.size() < 480000) {
        for (size_t i = 0; i < sentence->size() && note.size() < 480000; ++i)
            for (int k = 0; k < 3; ++k)
                note.push_back((*sentence)[i]);
        note.resize(std::min<size_t>(note.size() + 24000, 480000), 0);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(Platform::wavHeader(48000, 1, uint32_t(note.size() * 2)));
    file.write(reinterpret_cast<const char *>(note.data()), qint64(note.size() * 2));
    return true;
}

void press(int rounds, const QString &folder)
{
    if (Platform::AudioRecorder::defaultInput().isNull()) {
        std::printf("press: no audio input on this machine: not measured\n");
        return;
    }
    Kivaro::OnDeviceVoiceAnnotation::Options options;
    options.temporaryFolder = folder;
    options.speech.modelFolder = folder + QStringLiteral("/speech");
    options.speech.allowDownload = false;
    Kivaro::OnDeviceVoiceAnnotation voice(options);
    std::vector<double> warmed, cold, firstSample;
    for (int i = 0; i < rounds + 1; ++i) {
        BenchSupport::wait(voice.prepare(QStringLiteral("en-US"), true)); // warms a recorder
        QElapsedTimer t;
        t.start();
        voice.begin();
        const double started = double(t.nsecsElapsed()) / 1e6;
        while (voice.recorder() && voice.recorder()->currentTime() == 0 && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double sample = double(t.nsecsElapsed()) / 1e6;
        pump(50);
        voice.cancel();
        // The press after a finished note: no warmed recorder, begin() warms one itself.
        QElapsedTimer c;
        c.start();
        voice.begin();
        const double unwarmed = double(c.nsecsElapsed()) / 1e6;
        pump(50);
        voice.cancel();
        if (i == 0)
            continue; // the sound server's first stream
        warmed.push_back(started);
        firstSample.push_back(sample);
        cold.push_back(unwarmed);
    }
    std::printf("press: warmed recorder %.2f ms to recording (median of %d), %.1f ms to the first sample written\n",
                median(warmed), rounds, median(firstSample));
    std::printf("press: without a warmed recorder %.2f ms to recording\n", median(cold));
}

void realTimeFactor(const QString &folder, const QString &whisperModel)
{
    const QString note = folder + QStringLiteral("/note.wav");
    if (!writeTenSecondNote(note)) {
        std::printf("rtf: the test sentence (pocketsphinx-testdata) is missing\n");
        return;
    }
    const auto audio = Platform::readWav(note);
    const double seconds = audio ? audio->seconds() : 10.0;
    struct Engine {
        const char *name;
        QString modelFolder;
    };
    QString whisperFolder = folder + QStringLiteral("/whisper");
    QDir().mkpath(whisperFolder);
    const QString modelFile = whisperFolder + QLatin1Char('/') + Platform::whisperBaseModel().fileName;
    bool realWhisper = false;
    if (!whisperModel.isEmpty()) {
        realWhisper = QFile::copy(whisperModel, modelFile);
    } else {
        TestSupport::writeRandomWhisperModel(modelFile, TestSupport::WhisperShape::base());
    }
    for (const Engine &engine : {Engine{"pocketsphinx", folder + QStringLiteral("/none")}, Engine{"whisper", whisperFolder}}) {
        Platform::SpeechRecognizer::Options options;
        options.modelFolder = engine.modelFolder;
        options.allowDownload = false;
        if (!realWhisper)
            options.whisperModel.sha1 = TestSupport::sha1OfFile(modelFile); // random weights pass as the model
        Platform::SpeechRecognizer recognizer(options);
        QElapsedTimer load;
        load.start();
        BenchSupport::wait(recognizer.prepare(QStringLiteral("en-US")));
        const double loadMs = double(load.elapsed());
        std::vector<double> times;
        QString text;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer t;
            t.start();
            text = BenchSupport::wait(recognizer.transcribe(note, QStringLiteral("en-US")));
            times.push_back(double(t.nsecsElapsed()) / 1e9);
        }
        const double time = median(times);
        std::printf("rtf: %-12s %.3f s for %.1f s of audio: real-time factor %.3f (model load %.0f ms%s) \"%s\"\n",
                    engine.name, time, seconds, time / seconds, loadMs,
                    QByteArray(engine.name) == "whisper" && !realWhisper ? ", random weights of base's shapes" : "",
                    text.left(60).toUtf8().constData());
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("presses to time"), QStringLiteral("n"), QStringLiteral("20")});
    parser.addOption({QStringLiteral("whisper-model"), QStringLiteral("a real whisper model file"), QStringLiteral("file")});
    parser.process(app);
    QTemporaryDir folder;
    std::printf("cores: %d\n", QThread::idealThreadCount());
    press(parser.value(QStringLiteral("rounds")).toInt(), folder.path());
    realTimeFactor(folder.path(), parser.value(QStringLiteral("whisper-model")));
    return 0;
}
