#pragma once
// The voice interaction sub-run: the editor's voice panel without microphone or recognition.
// The voice mode's instructions stay on screen, every phase of the panel is photographed in the
// light and the dark appearance ("voice-<phase>-<appearance>.png"), typing after a failed
// recording keeps the held point, cancelling a failure returns to the ready instructions, a
// failed preparation falls back to text notes, and a pen stroke drawn by the application
// renders, survives the project form and goes with one undo. On a pass it writes
// "voice-interaction-result.json" last. The document, mode, voice readiness and appearance are
// given back on every way out. Throws ShotError on the first failed check; never ends the process.

#include "Platform/Async/Task.h"

#include <QString>

namespace Kivaro {

class EditorController;

namespace VoiceInteractionVerification {

inline constexpr const char passResult[] =
    "{\"status\":\"passed\",\"environment\":\"native-linux\",\"persistentInstructions\":true,\"textFallbackPreservesAnchor\":true,"
    "\"preparationFallback\":true,\"cancelRestoresReady\":true,\"selfDrawnPenArchiveAndUndo\":true,\"physicalMicrophone\":false}";
static_assert(sizeof(passResult) - 1 == 228, "the result keeps its fixed length");

Platform::Task<void> run(EditorController *editor, QString output);

} // namespace VoiceInteractionVerification
} // namespace Kivaro
