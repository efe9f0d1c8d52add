#pragma once
// Descriptor-based file work of the updater: nothing here follows a symbolic link it did not
// expect, so a link planted in a staged or installed bundle never redirects a read, a write or
// a removal to somewhere else.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace NativeAppUpdater {
class CodeSeal;
}

namespace NativeAppUpdater::detail {

class UniqueFd final {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd();

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    explicit operator bool() const { return isValid(); }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

QString errnoText(int error);

// A relative path whose components are non-empty, not "." or "..", and hold no NUL; at most
// 1024 bytes with components of at most 255.
bool isCanonicalRelativePath(const QString &path);

// The names in an open folder, "." and ".." left out; nothing when it cannot be read. `dirFd`
// stays usable.
std::optional<QList<QByteArray>> listFolder(int dirFd);

// One name in a sealed bundle's folder and its path inside the bundle.
struct SealedName {
    QByteArray name;
    QString path;
};

// The names of the bundle's folder `dirFd` at `prefix` ("" at the bundle's top), `depth` levels
// down, for a walk that seals or checks the bundle; the seal's own folder at the top is left
// out. Returns why the walk must stop (nested deeper than `maxDepth`, unreadable, a name that is
// not UTF-8), or an empty text with `names` filled.
QString listSealedFolder(int dirFd, const QString &prefix, int depth, int maxDepth, QList<SealedName> &names);

// Opens a folder below `dirFd` without following a link at `name`; invalid on failure (errno
// kept).
UniqueFd openDirectoryAt(int dirFd, const QByteArray &name);
// Opens an absolute folder path; a link as its last component is refused.
UniqueFd openDirectoryPath(const QString &path);

// A regular file (not a link) of at most `maxBytes`, whole; nothing when it is not one.
std::optional<QByteArray> readSmallFileAt(int dirFd, const QByteArray &name, qsizetype maxBytes);
std::optional<QByteArray> readSmallFile(const QString &path, qsizetype maxBytes);
// Up to `bytes` bytes from the start of a regular file (not a link); empty when unreadable.
QByteArray readFileHead(const QString &path, qsizetype bytes);

// SHA-256 of what remains to be read from `fd`; nothing when it holds more than `maxBytes` or a
// read fails. `size` receives the byte count.
std::optional<QByteArray> sha256OfDescriptor(int fd, qint64 maxBytes, qint64 *size);

// Removes `name` below `parentFd` and everything inside it; links are removed, never followed.
// Returns false when anything stayed.
bool removeTreeAt(int parentFd, const QByteArray &name);
bool removeTree(const QString &path);

// Removes the bundle folder `name` below `parentFd` entry by entry as `seal` lists them (and
// the signature folder's three files), never by a blind recursive delete: anything the seal
// does not list stays, and so do the folders holding it. Returns false when anything stayed.
bool removeSealedTreeAt(int parentFd, const QByteArray &name, const CodeSeal &seal);

// Opens a regular file at `relativePath` below `rootFd`, following no link on the way; invalid
// when there is none.
UniqueFd openFileBelow(int rootFd, const QString &relativePath);

// Copies folders, regular files and links from `sourceName` below `sourceParent` to the new
// `targetName` below `targetParent`, keeping permission bits; other kinds of files are refused.
// Throws UpdateFileError.
void copyTreeAt(int sourceParent, const QByteArray &sourceName, int targetParent, const QByteArray &targetName);

} // namespace NativeAppUpdater::detail
