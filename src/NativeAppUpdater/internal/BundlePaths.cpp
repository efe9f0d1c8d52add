#include "NativeAppUpdater/internal/BundlePaths.h"

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/UpdaterError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater::detail {

namespace {

constexpr int maxTreeDepth = 64;

bool removeTreeAt(int parentFd, const QByteArray &name, int depth)
{
    struct stat info {};
    if (::fstatat(parentFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(parentFd, name.constData(), 0) == 0 || errno == ENOENT;
    if (depth > maxTreeDepth)
        return false;
    UniqueFd folder = openDirectoryAt(parentFd, name);
    if (!folder)
        return false;
    // A sealed folder may be read-only; ours to empty all the same.
    ::fchmod(folder.get(), 0700);
    bool removed = true;
    if (const auto names = listFolder(folder.get())) {
        for (const QByteArray &child : *names)
            removed = removeTreeAt(folder.get(), child, depth + 1) && removed;
    } else {
        removed = false;
    }
    return ::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) == 0 && removed;
}

[[noreturn]] void fail(const QString &what, int error)
{
    throw UpdateFileError(what + QStringLiteral(": ") + errnoText(error), error);
}

void copyFileContents(int source, int target, const QByteArray &name)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(source, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(QStringLiteral("cannot read ") + QFile::decodeName(name), errno);
        }
        if (n == 0)
            return;
        for (ssize_t written = 0; written < n;) {
            const ssize_t w = ::write(target, buffer + written, size_t(n - written));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                fail(QStringLiteral("cannot write ") + QFile::decodeName(name), errno);
            }
            written += w;
        }
    }
}

void copyTreeAt(int sourceParent, const QByteArray &sourceName, int targetParent, const QByteArray &targetName, int depth)
{
    const QString shown = QFile::decodeName(sourceName);
    struct stat info {};
    if (::fstatat(sourceParent, sourceName.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        fail(QStringLiteral("cannot inspect ") + shown, errno);
    const mode_t permissions = info.st_mode & 0777;
    if (S_ISLNK(info.st_mode)) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlinkat(sourceParent, sourceName.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size())
            fail(QStringLiteral("cannot read link ") + shown, n < 0 ? errno : ENAMETOOLONG);
        target.truncate(n);
        if (::symlinkat(target.constData(), targetParent, targetName.constData()) != 0)
            fail(QStringLiteral("cannot create link ") + shown, errno);
        return;
    }
    if (S_ISREG(info.st_mode)) {
        UniqueFd source(::openat(sourceParent, sourceName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!source)
            fail(QStringLiteral("cannot open ") + shown, errno);
        UniqueFd target(::openat(targetParent, targetName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!target)
            fail(QStringLiteral("cannot create ") + shown, errno);
        copyFileContents(source.get(), target.get(), sourceName);
        if (::fchmod(target.get(), permissions) != 0)
            fail(QStringLiteral("cannot set the mode of ") + shown, errno);
        return;
    }
    if (!S_ISDIR(info.st_mode))
        fail(QStringLiteral("cannot copy the special file ") + shown, EINVAL);
    if (depth > maxTreeDepth)
        fail(QStringLiteral("folders nested too deeply at ") + shown, ELOOP);
    UniqueFd source = openDirectoryAt(sourceParent, sourceName);
    if (!source)
        fail(QStringLiteral("cannot open ") + shown, errno);
    if (::mkdirat(targetParent, targetName.constData(), 0700) != 0)
        fail(QStringLiteral("cannot create ") + shown, errno);
    UniqueFd target = openDirectoryAt(targetParent, targetName);
    if (!target)
        fail(QStringLiteral("cannot open ") + shown, errno);
    const auto names = listFolder(source.get());
    if (!names)
        fail(QStringLiteral("cannot list ") + shown, errno ? errno : EIO);
    for (const QByteArray &child : *names)
        copyTreeAt(source.get(), child, target.get(), child, depth + 1);
    if (::fchmod(target.get(), permissions) != 0)
        fail(QStringLiteral("cannot set the mode of ") + shown, errno);
}

} // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isCanonicalRelativePath(const QString &path)
{
    const QByteArray bytes = path.toUtf8();
    if (bytes.isEmpty() || bytes.size() > 1024 || bytes.contains('\0') || bytes.startsWith('/'))
        return false;
    for (const QByteArray &component : bytes.split('/')) {
        if (component.isEmpty() || component == "." || component == ".." || component.size() > 255)
            return false;
    }
    return true;
}

QString listSealedFolder(int dirFd, const QString &prefix, int depth, int maxDepth, QList<SealedName> &names)
{
    names.clear();
    if (depth > maxDepth)
        return QStringLiteral("folders nested too deeply at ") + prefix;
    const auto listed = listFolder(dirFd);
    if (!listed)
        return QStringLiteral("cannot list ") + prefix;
    for (const QByteArray &name : *listed) {
        const QString text = QFile::decodeName(name);
        if (QFile::encodeName(text) != name)
            return QStringLiteral("a file name is not UTF-8 in ") + prefix;
        if (prefix.isEmpty() && text == QLatin1String(CodeSeal::signatureFolder))
            continue;
        names.append({name, prefix.isEmpty() ? text : prefix + QLatin1Char('/') + text});
    }
    return {};
}

UniqueFd openDirectoryAt(int dirFd, const QByteArray &name)
{
    return UniqueFd(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFd openDirectoryPath(const QString &path)
{
    return UniqueFd(::open(QFile::encodeName(QDir::cleanPath(path)).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::optional<QByteArray> readSmallFileAt(int dirFd, const QByteArray &name, qsizetype maxBytes)
{
    UniqueFd fd(::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxBytes)
        return std::nullopt;
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        done += n;
    }
    // A file that grew while we read is not the file we measured.
    char extra;
    if (::read(fd.get(), &extra, 1) != 0)
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> readSmallFile(const QString &path, qsizetype maxBytes)
{
    return readSmallFileAt(AT_FDCWD, QFile::encodeName(path), maxBytes);
}

QByteArray readFileHead(const QString &path, qsizetype bytes)
{
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    QByteArray head(bytes, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes) {
        const ssize_t n = ::read(fd.get(), head.data() + done, size_t(bytes - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    head.truncate(done);
    return head;
}

std::optional<QByteArray> sha256OfDescriptor(int fd, qint64 maxBytes, qint64 *size)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[1 << 16];
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        total += n;
        if (total > maxBytes)
            return std::nullopt;
        hash.addData(QByteArrayView(buffer, n));
    }
    if (size)
        *size = total;
    return hash.result();
}

std::optional<QList<QByteArray>> listFolder(int dirFd)
{
    const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return std::nullopt;
    }
    ::rewinddir(dir);
    QList<QByteArray> names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names << QByteArray(entry->d_name);
    }
    const bool failed = errno != 0;
    ::closedir(dir);
    if (failed)
        return std::nullopt;
    return names;
}

bool removeTreeAt(int parentFd, const QByteArray &name)
{
    return removeTreeAt(parentFd, name, 0);
}

bool removeTree(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || clean == QStringLiteral("/"))
        return false;
    UniqueFd parent = openDirectoryPath(slash == 0 ? QStringLiteral("/") : clean.left(slash));
    if (!parent)
        return false;
    return removeTreeAt(parent.get(), QFile::encodeName(clean.mid(slash + 1)), 0);
}

void copyTreeAt(int sourceParent, const QByteArray &sourceName, int targetParent, const QByteArray &targetName)
{
    copyTreeAt(sourceParent, sourceName, targetParent, targetName, 0);
}

namespace {

// The folder at `components` below `rootFd`, each opened without following a link.
UniqueFd openFolderBelow(int rootFd, const QList<QByteArray> &components)
{
    UniqueFd folder(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    for (const QByteArray &component : components) {
        if (!folder)
            break;
        folder = openDirectoryAt(folder.get(), component);
    }
    return folder;
}

} // namespace

UniqueFd openFileBelow(int rootFd, const QString &relativePath)
{
    if (!isCanonicalRelativePath(relativePath))
        return {};
    QList<QByteArray> components = QFile::encodeName(relativePath).split('/');
    const QByteArray leaf = components.takeLast();
    UniqueFd folder = openFolderBelow(rootFd, components);
    if (!folder)
        return {};
    UniqueFd file(::openat(folder.get(), leaf.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return file;
}

bool removeSealedTreeAt(int parentFd, const QByteArray &name, const CodeSeal &seal)
{
    UniqueFd root = openDirectoryAt(parentFd, name);
    if (!root)
        return errno == ENOENT;
    bool removed = true;
    // Sealed folders may be read-only; ours to empty all the same.
    ::fchmod(root.get(), 0700);
    // Paths in byte order put a folder before what it holds: backwards, contents go first.
    QList<SealEntry> entries = seal.entries();
    for (const char *file : {CodeSeal::sealFile, CodeSeal::signatureFile, CodeSeal::countersignatureFile})
        entries.append({QLatin1String(CodeSeal::signatureFolder) + QLatin1Char('/') + QLatin1String(file), SealEntry::Type::file, 0, 0, {}, {}});
    entries.append({QLatin1String(CodeSeal::signatureFolder), SealEntry::Type::directory, 0, 0, {}, {}});
    std::sort(entries.begin(), entries.end(), [](const SealEntry &a, const SealEntry &b) { return a.path.toUtf8() > b.path.toUtf8(); });
    // Folders are made writable first, from the top down.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        if (it->type != SealEntry::Type::directory)
            continue;
        if (UniqueFd folder = openFolderBelow(root.get(), QFile::encodeName(it->path).split('/')))
            ::fchmod(folder.get(), 0700);
    }
    for (const SealEntry &entry : std::as_const(entries)) {
        QList<QByteArray> components = QFile::encodeName(entry.path).split('/');
        const QByteArray leaf = components.takeLast();
        UniqueFd folder = openFolderBelow(root.get(), components);
        if (!folder) {
            removed = removed && errno == ENOENT;
            continue;
        }
        struct stat info {};
        if (::fstatat(folder.get(), leaf.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            removed = removed && errno == ENOENT;
            continue;
        }
        // A folder that still holds something unsealed stays, with it.
        const int flags = S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0;
        if ((entry.type == SealEntry::Type::directory) != S_ISDIR(info.st_mode) || ::unlinkat(folder.get(), leaf.constData(), flags) != 0)
            removed = false;
    }
    root = {};
    return ::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) == 0 && removed;
}

} // namespace NativeAppUpdater::detail
