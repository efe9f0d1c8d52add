#pragma once
// Records the default audio input into a WAV file: 48 kHz, mono, 16-bit integer samples.
//
// `prepareToRecord()` creates the file (new, 0600, never through a symbolic link) and starts the
// input stream, dropping what it hears, so that `record()` only has to start keeping it. The recorder counts the samples
// it writes and stops writing by itself at the length it was started with: a note can never
// run past its limit, whether or not anybody reacts to `limitReached`. The file's header is
// completed by `stop()` (and by the destructor).
//
// Main thread only.

#include <QAudioDevice>
#include <QFile>
#include <QObject>
#include <QString>

#include <memory>

class QAudioSource;
class QIODevice;

namespace Platform {

class AudioRecorder final : public QObject {
    Q_OBJECT
public:
    static constexpr int sampleRate = 48000;
    static constexpr int channels = 1;

    // Records `device` (see defaultInput()); a null device has nothing to record.
    AudioRecorder(QString path, QAudioDevice device, QObject *parent = nullptr);

    // The system's default audio input; null when there is none.
    static QAudioDevice defaultInput();
    ~AudioRecorder() override;

    // Creates the file and readies the input. False (with `errorString()`) when there is no
    // input device, it cannot take the format, or the file cannot be created.
    bool prepareToRecord();
    // Starts writing for at most `maxSeconds`. False when the stream refuses to start.
    bool record(double maxSeconds);
    // Stops the input and completes the file. Safe to call more than once.
    void stop();

    bool isPrepared() const { return m_file.isOpen(); }
    bool isRecording() const { return m_recording; }
    bool reachedLimit() const { return m_reachedLimit; }
    // Seconds of audio written so far.
    double currentTime() const { return double(m_samplesWritten) / sampleRate; }
    // RMS of the latest block in dBFS, in [-160, 0]; -160 before any audio.
    double averagePower() const { return m_averagePower; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }

Q_SIGNALS:
    // Emitted (queued) once the length limit has stopped the recording.
    void limitReached();

private:
    void readAvailable();
    QByteArray readInput();
    void finishFile();

    QString m_path;
    QAudioDevice m_device;
    QFile m_file;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice *m_input = nullptr;
    qint64 m_samplesWritten = 0;
    qint64 m_sampleLimit = 0;
    double m_averagePower = -160.0;
    bool m_recording = false;
    bool m_reachedLimit = false;
    QString m_error;
};

} // namespace Platform
