#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ctime>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {
QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

bool isSymbolicLink(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::optional<FolderFault> privateFolderFault(const QString &path)
{
    // cleanPath drops a trailing slash, which would make lstat look through a link.
    struct stat info {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(QDir::cleanPath(path)).constData(), &info) != 0)
        return FolderFault{FolderFault::Kind::missing};
    if (S_ISLNK(info.st_mode))
        return FolderFault{FolderFault::Kind::symbolicLink};
    if (!S_ISDIR(info.st_mode))
        return FolderFault{FolderFault::Kind::notFolder};
    if (info.st_uid != ::geteuid())
        return FolderFault{FolderFault::Kind::notOwned};
    if ((info.st_mode & 07777) != 0700)
        return FolderFault{FolderFault::Kind::notPrivate, unsigned(info.st_mode & 07777)};
    return std::nullopt;
}

std::optional<QString> ensurePrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no folder given");
    // cleanPath drops a trailing slash, which would make lstat look through a link.
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode))
            return QStringLiteral("%1 is a symbolic link").arg(path);
        if (!S_ISDIR(info.st_mode))
            return QStringLiteral("%1 is not a folder").arg(path);
    } else {
        // Every folder created on the way is private, not only the last one: QDir::mkpath
        // would make the parents with the umask's mode.
        QStringList missing;
        for (QString folder = QFileInfo(QDir::cleanPath(path)).absoluteFilePath();;) {
            struct stat existing {};
            if (::lstat(QFile::encodeName(folder).constData(), &existing) == 0)
                break;
            missing.prepend(folder);
            const QString parent = QFileInfo(folder).absolutePath();
            if (parent == folder)
                break;
            folder = parent;
        }
        for (const QString &folder : std::as_const(missing)) {
            if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
                return QStringLiteral("cannot create %1: %2").arg(folder, errnoText(errno));
        }
        if (::lstat(native.constData(), &info) != 0 || S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
            return QStringLiteral("%1 is not a folder").arg(path);
    }
    if ((info.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return QStringLiteral("cannot protect %1: %2").arg(path, errnoText(errno));
    return std::nullopt;
}

void removeStaleTemporaries(const QString &path, int minimumAge)
{
    const QFileInfo target(QDir::cleanPath(path));
    // QSaveFile's temporary is QTemporaryFile's default pattern: the file name and ".XXXXXX".
    // Matched by hand while the folder is read once: this runs before every write of a
    // preference domain, and name filters and patterns cost more than the write.
    const QByteArray base = QFile::encodeName(target.fileName()) + '.';
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const time_t before = ::time(nullptr) - minimumAge;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() != base.size() + 6 || !name.startsWith(base))
            continue;
        const bool letters = std::all_of(name.end() - 6, name.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
        if (!letters)
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (info.st_mtime > before)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

std::optional<QString> writePrivateFile(const QString &path, const QByteArray &bytes)
{
    // QSaveFile writes through a symbolic link to its target; a link where our file should be
    // is not ours to follow.
    if (isSymbolicLink(path))
        return QStringLiteral("%1 is a symbolic link").arg(path);
    removeStaleTemporaries(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return QStringLiteral("cannot protect %1").arg(path);
    }
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return QStringLiteral("cannot write %1: %2").arg(path, error);
    }
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace Platform
