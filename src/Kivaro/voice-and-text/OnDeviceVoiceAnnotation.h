#pragma once
// The voice-note engine: prepares on-device speech for a language, keeps a recorder warmed so
// that recording starts the moment the user presses, records one note of at most 60 seconds
// into a private folder of the temporary folder ("kivaro-audio-" and a UUID), transcribes it
// on the device, and keeps a recording whose transcription failed for a retry without
// speaking again. No audio leaves the machine.
//
// The microphone: a recorder warmed by the preparation holds the input open so that a press
// records at once, but only for `Options::readyInputSeconds` and only until `releaseInput()`
// (the editor calls it when the voice panel hides); after that the next press opens the input
// itself. Otherwise the input is open only while a note is recorded.
//
// Files: the folder is created 0700 (never through a link) when a recorder is warmed, and held
// (Platform::OwnedFolder) while this engine lives; each recording is a new 0600 WAV file in it.
// cancel() deletes every recording and the folder; destroying the engine deletes nothing. A
// folder an earlier run left behind is removed at launch by removeLeftoverRecordingFolders(),
// which leaves alone the folders of engines still running (other instances, other displays).
//
// Main thread only.

#include "Kivaro/editor/VoiceAnnotation.h"

#include "Platform/Speech/SpeechRecognizer.h"

#include <QAudioDevice>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>

class QTimer;

namespace Platform {
class AudioRecorder;
class FixturePlayer;
class OwnedFolder;
} // namespace Platform

namespace Kivaro {

class OnDeviceVoiceAnnotation final : public QObject, public VoiceAnnotation {
    Q_OBJECT
public:
    static constexpr double maximumSeconds = 60.0;
    static constexpr double minimumSeconds = 0.25;

    struct Options {
        Platform::SpeechRecognizer::Options speech;
        // The input to record; a null device means there is none.
        std::function<QAudioDevice()> inputDevice;
        // Linux has no microphone permission: granted unless a test says otherwise.
        std::function<bool()> microphoneAccess;
        // Where the recording folder is made; the system's temporary folder by default.
        QString temporaryFolder;
        // The length limit; tests shorten it.
        double maximumSeconds = OnDeviceVoiceAnnotation::maximumSeconds;
        // How long a warmed input stays open waiting for a press.
        double readyInputSeconds = 20.0;
    };

    OnDeviceVoiceAnnotation();
    explicit OnDeviceVoiceAnnotation(Options options, QObject *parent = nullptr);
    ~OnDeviceVoiceAnnotation() override;

    Platform::Task<void> prepare(QString locale, bool microphone) override;
    void begin() override;
    Platform::Task<QString> finish() override;
    Platform::Task<QString> retry() override;
    bool canRetry() const override { return !m_retryURL.isEmpty(); }
    void cancel() override;
    void releaseInput() override;
    double level() override;
    std::optional<QString> preparedLocale() const override { return m_preparedLocale; }
    Platform::Task<QString> completeRecording(QString path, QString locale) override;
    Platform::Task<QString> transcribe(QString path, QString locale) override;
    bool preparationRetryable() const override { return m_preparationRetryable; }

    // Deletes the kept retry recording.
    void discardRetry();

    QString recordingDirectory() const { return m_recordingDirectory; }
    Platform::AudioRecorder *recorder() const { return m_recorder.get(); }
    QString recordingURL() const { return m_recordingURL; }
    QString retryURL() const { return m_retryURL; }
    bool hasReadyRecorder() const { return m_readyRecorder != nullptr; }
    Platform::FixturePlayer *fixturePlayer() const { return m_fixturePlayer.get(); }

private:
    void warmRecorder();
    std::optional<QString> holdRecordingFolder();
    std::unique_ptr<Platform::AudioRecorder> makeRecorder(const QString &path);
    void trace(const QString &action, double duration = 0);
    void stopRecording();
    static Platform::Task<void> limit(QPointer<OnDeviceVoiceAnnotation> self, double seconds);

    Options m_options;
    Platform::SpeechRecognizer m_speech;
    QString m_recordingDirectory;
    std::unique_ptr<Platform::OwnedFolder> m_heldFolder;
    std::unique_ptr<Platform::AudioRecorder> m_recorder;
    QString m_recordingURL;
    std::optional<std::chrono::steady_clock::time_point> m_startedAt;
    Platform::TaskHandle<void> m_limitTask;
    std::unique_ptr<Platform::FixturePlayer> m_fixturePlayer;
    std::unique_ptr<Platform::AudioRecorder> m_readyRecorder;
    QString m_readyURL;
    QTimer *m_readyTimer;
    QString m_retryURL;
    QString m_retryLocale;
    std::optional<QString> m_preparedLocale;
    bool m_preparationRetryable = true;
};

// Removes the "kivaro-audio-" folders an earlier run left in `temporaryFolder` (the system's
// temporary folder by default): only folders of this user that no running engine holds (one
// instance runs per display, and all share the folder); a link of that name is removed without
// following it. The application calls it at launch, before any recording.
void removeLeftoverRecordingFolders(const QString &temporaryFolder = QString());

} // namespace Kivaro
