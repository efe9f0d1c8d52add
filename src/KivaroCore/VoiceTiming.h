#pragma once
// The voice-timing trace of a verification session, for the voice annotation to call at each
// step: one compact JSON object and a line feed per step, appended to "voice-timing.jsonl" in
// the evidence folder, only when the process was started with "--ui-session" and a folder
// after "--evidence-dir". Keys: "action" ("begin", "prepared", "recording", "finish",
// "cancel"), "time" (wall-clock seconds since 1970) and "duration" (seconds; the recording's
// length for "finish", else 0). Written like the pointer trace: only into a private folder of
// the user's, through O_APPEND|O_CREAT|O_NOFOLLOW at 0600, bounded in size; failures are silent.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro::VoiceTiming {

inline constexpr const char *kFileName = "voice-timing.jsonl";

// The evidence folder for `arguments` (program path first), or nothing when no trace is due.
std::optional<QString> folder(const QStringList &arguments);
// One line, the line feed included.
QByteArray line(const QString &action, double time, double duration);
// Appends the line of `action` now, when this process traces; false when nothing was written.
bool record(const QString &action, double duration = 0);

} // namespace Kivaro::VoiceTiming
