#pragma once
// Private folders and files: folders are created with mode 0700 and refused when they are
// symbolic links or not folders; files are written atomically (a temporary file renamed over
// the target, so a reader sees the old or the new contents, never a half-written file) and
// get mode 0600 before they appear under their name.

#include <QByteArray>
#include <QString>

#include <optional>

namespace Platform {

// Creates `path` (and missing parents) and makes it 0700. Returns an error description, or
// nothing when the folder is ready.
std::optional<QString> ensurePrivateFolder(const QString &path);

// Writes `bytes` to `path` atomically with mode 0600; refuses when `path` is a symbolic link.
// The folder must exist. Returns an error
// description, or nothing on success.
std::optional<QString> writePrivateFile(const QString &path, const QByteArray &bytes);

// Removes what an interrupted atomic write of `path` left beside it: the temporaries named
// "<file name>.XXXXXX" (six letters or digits) that are regular files, not links, and were last
// changed more than `minimumAge` seconds ago, so a write still under way elsewhere keeps its
// own. Only for private folders, whose every file is ours: in a folder of the user's, a file of
// theirs can carry such a name. writePrivateFile calls it before every write; failures are
// ignored (the write reports its own).
void removeStaleTemporaries(const QString &path, int minimumAge = 60);

// True when `path` exists and is a symbolic link (a dangling link included).
bool isSymbolicLink(const QString &path);

// Why `path` is not a private folder of this user as it stands; nothing when it is one: a
// folder itself (not a symbolic link to one), owned by the user, mode 0700. Nothing is created
// or changed: a folder that was ever open to others is not made private after the fact.
struct FolderFault {
    enum class Kind { missing, symbolicLink, notFolder, notOwned, notPrivate };
    Kind kind;
    unsigned mode = 0; // the permission bits found (for notPrivate)
};
std::optional<FolderFault> privateFolderFault(const QString &path);

} // namespace Platform
