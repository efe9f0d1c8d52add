#pragma once
// On-device speech recognition engines behind one interface. An engine loads its model once
// (`load`, slow: run it off the main thread) and then transcribes 16 kHz mono audio; calls on
// one engine are serialised by the engine itself, so any thread may use it. Nothing leaves
// the machine.

#include <QString>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

namespace Platform {

class SpeechError final : public std::runtime_error {
public:
    enum class Kind {
        unsupported,   // no engine serves the language on this machine
        download,      // the model could not be downloaded
        unreachable,   // the model's host could not be reached at all (not found, refused)
        digest,        // the downloaded model is not the published one
        tooLarge,      // the download passed its size cap
        storage,       // the model folder or file could not be written
        load,          // the model file cannot be loaded
        unreadable,    // the audio file cannot be read
        failed,        // the engine failed on the audio
    };
    SpeechError(Kind kind, const QString &detail)
        : std::runtime_error(detail.toStdString()), m_kind(kind), m_detail(detail)
    {
    }
    Kind kind() const { return m_kind; }
    QString detail() const { return m_detail; }

private:
    Kind m_kind;
    QString m_detail;
};

class SpeechEngine {
public:
    static constexpr int sampleRate = 16000;

    virtual ~SpeechEngine() = default;
    virtual QString name() const = 0;
    // Loads the model; throws SpeechError(load). A second call does nothing.
    virtual void load() = 0;
    // Transcribes mono samples at 16 kHz in [-1, 1] spoken in `language` ("en", "zh"); returns the text (maybe empty). Throws
    // SpeechError(failed). Returns early with what it has when `abort` becomes true.
    virtual QString transcribe(const std::vector<float> &samples, const QString &language, const std::atomic<bool> &abort) = 0;
};

// Joins the pieces of a transcript without a separator and trims the result.
QString joinTranscript(const std::vector<QString> &pieces);

} // namespace Platform
