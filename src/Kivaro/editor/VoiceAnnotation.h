#pragma once
// The voice-note engine as the editor's voice actions use it: prepare on-device speech for a
// language, record while the user holds the pointer, and transcribe the recording (again, on
// a retry). The engine itself is the voice subsystem's; the editor holds one through this
// interface, or none while no engine is installed (voice mode then prepares nothing).
//
// Errors are ShotError with the user's message; a cancelled task throws CancellationError.
// Main thread only.

#include "Platform/Async/Task.h"

#include <QString>

#include <functional>
#include <optional>

namespace Kivaro {

class VoiceAnnotation {
public:
    virtual ~VoiceAnnotation() = default;

    // Prepares recognition for a language identifier ("zh-CN", "en-US"); with `microphone`
    // the recording side too.
    virtual Platform::Task<void> prepare(QString locale, bool microphone) = 0;
    // Starts recording; throws when it cannot.
    virtual void begin() = 0;
    // Stops recording and returns the transcript.
    virtual Platform::Task<QString> finish() = 0;
    // Transcribes the kept recording again.
    virtual Platform::Task<QString> retry() = 0;
    virtual bool canRetry() const = 0;
    // Stops any recording or transcription and drops what was recorded.
    virtual void cancel() = 0;
    // The recording's level, 0...1; 0 while nothing records.
    virtual double level() = 0;
    // Closes an input opened ahead of the next press (nothing is recorded then); the press
    // opens it again. A recording in progress goes on.
    virtual void releaseInput() {}
    // False after a preparation that failed in a way a retry cannot mend (the language's speech
    // model cannot be downloaded from here): the panel then offers typing, not a retry.
    virtual bool preparationRetryable() const { return true; }

    // The locale the last successful preparation prepared (the engine's own form of the
    // identifier asked for), or nothing.
    virtual std::optional<QString> preparedLocale() const { return std::nullopt; }
    // Keeps a finished recording for retries, then transcribes it (see retry()).
    virtual Platform::Task<QString> completeRecording(QString path, QString locale)
    {
        co_return co_await transcribe(std::move(path), std::move(locale));
    }
    // Transcribes one audio file on the device.
    virtual Platform::Task<QString> transcribe(QString, QString) { co_return QString(); }

    // Called when a recording reaches its length limit.
    std::function<void()> didReachLimit;
    // Replaces the on-device transcription in retries when set (file, locale -> text).
    std::function<Platform::Task<QString>(QString, QString)> transcribeRecording;
    // Progress of a speech model's installation during a preparation: bytes so far and the
    // total (-1 when unknown).
    std::function<void(qint64, qint64)> installProgress;
};

} // namespace Kivaro
