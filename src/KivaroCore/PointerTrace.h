#pragma once
// The pointer-timing trace of a verification session: one compact JSON object and a line feed
// per traced press or release, appended to "pointer-timing.jsonl" in the evidence folder, only
// when the process was started with "--ui-session" and a folder after "--evidence-dir".
// Keys: "type" (1 press, 2 release), "received" (wall-clock seconds since 1970), "timestamp"
// (the event's own time in seconds), "pressedButtons" (the held-buttons mask), "sourcePID" (the
// sending process, -1 when the window system does not say, which on X is always).
//
// The trace is written only into a real folder (not a symbolic link) owned by the user and
// writable by nobody else; the file is opened with O_APPEND|O_CREAT|O_NOFOLLOW at mode 0600,
// must be a regular file of the user's, and stops growing at `kMaxBytes`. Failures are silent
// to the caller (the pointer never waits on evidence); `append` says whether the line went in.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kivaro::detail::PointerTrace {

inline constexpr const char *kFileName = "pointer-timing.jsonl";
// Some 40,000 events: far more than any session makes, far less than a disk notices.
inline constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

// The evidence folder for `arguments` (program path first), or nothing when no trace is due.
std::optional<QString> folder(const QStringList &arguments);
// One line, the line feed included.
QByteArray line(int type, double received, double timestamp, int pressedButtons, qint64 sourcePID);
// Whether `path` is a folder a trace may be written into.
bool isValidFolder(const QString &path);
// Appends `line` to the trace in `folder`; false when nothing was written.
bool append(const QString &folder, const QByteArray &line, qint64 maxBytes = kMaxBytes);
// The same for another trace file of the session (`fileName`, a plain name in the folder).
bool appendTo(const QString &folder, const char *fileName, const QByteArray &line, qint64 maxBytes = kMaxBytes);

} // namespace Kivaro::detail::PointerTrace
