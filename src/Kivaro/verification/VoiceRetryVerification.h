#pragma once
// The voice retry sub-run, for a suite given a Mandarin speech file ("--speech-fixture"): a
// recording whose first transcription fails stays for a retry, the retry transcribes it on the
// device (the text must hold "保存") and deletes it, and cancelling after another failure
// deletes the kept recording too. It works on copies of the fixture in the temporary folder and
// photographs the editor with the recording meter ("09-recording-feedback.png") and with the
// failure panel offering a retry ("10-retry-feedback.png"). It prepares "zh-CN" without the
// microphone: where no installed engine serves Mandarin (whisper's model absent and not
// installable) it fails with the voice notes' own "unsupported" message, never passing without
// the transcription. Throws on the first failed check; never ends the process.

#include "Platform/Async/Task.h"

#include <QString>

#include <memory>

namespace Kivaro {

class EditorController;
class VoiceAnnotation;

namespace VoiceRetryVerification {

// With a new on-device voice engine of its own.
Platform::Task<void> run(EditorController *editor, QString fixture, QString output);
// With `voice`, a new engine that nothing else uses.
Platform::Task<void> run(EditorController *editor, QString fixture, QString output, std::shared_ptr<VoiceAnnotation> voice);

} // namespace VoiceRetryVerification
} // namespace Kivaro
