#pragma once
// Plays a 16-bit PCM WAV file on the default audio output, for acoustic fixtures: a test plays
// a spoken sentence that the recorder hears through the sound server.
//
// Main thread only.

#include <QBuffer>
#include <QObject>
#include <QString>

#include <memory>

class QAudioSink;

namespace Platform {

class FixturePlayer final : public QObject {
    Q_OBJECT
public:
    // Null when the file cannot be read as a 16-bit PCM WAV file.
    static std::unique_ptr<FixturePlayer> open(const QString &path);
    ~FixturePlayer() override;

    bool play();
    void stop();
    bool isPlaying() const;

private:
    FixturePlayer() = default;
    QByteArray m_pcm;
    QBuffer m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
};

} // namespace Platform
