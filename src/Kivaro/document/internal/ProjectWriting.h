#pragma once
// Writing a project file where the user chose, atomically: the bytes go to a temporary file
// beside the target, reach the disk, and are renamed over it, so the target holds the old or
// the new contents, never half of them.
//
// The folder is the user's, where a file of theirs may carry any name ("x.kivaro.backup",
// "x.kivaro.a1b2c3"): the temporary is named ".<file name>.kivaro-save-XXXXXX" (six letters or
// digits; the file name cut short when the whole would be too long for the file system), a
// form only this writer makes, and only that form is ever removed. A write that was
// interrupted (the process killed) leaves its temporary behind; the next write of the same
// file removes those that are regular files of this user last changed over a minute ago, so a
// write still under way in another process keeps its own.
//
// Modes and links as a plain save would treat them: a new file gets 0666 less the umask, a
// replaced file keeps its permission bits, a symbolic link at the path is followed and its
// target replaced, and an existing file that is not writable or is a folder is refused.

#include <QByteArray>
#include <QString>

#include <optional>

namespace Kivaro::ProjectWriting {

// Writes `bytes` to `path`; returns the system's description of what failed, or nothing. On
// failure the target is unchanged and no temporary stays.
std::optional<QString> write(const QString &path, const QByteArray &bytes);

// The name of the temporaries of writes to `fileName` up to the random part: "." plus the
// name, cut to a whole character when needed, plus ".kivaro-save-".
QString temporaryPrefix(const QString &fileName);

} // namespace Kivaro::ProjectWriting
