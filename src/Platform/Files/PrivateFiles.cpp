#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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
        const QString parent = QFileInfo(QDir::cleanPath(path)).absolutePath();
        if (!QDir().mkpath(parent))
            return QStringLiteral("cannot create %1").arg(parent);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return QStringLiteral("cannot create %1: %2").arg(path, errnoText(errno));
        if (::lstat(native.constData(), &info) != 0 || S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
            return QStringLiteral("%1 is not a folder").arg(path);
    }
    if ((info.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        return QStringLiteral("cannot protect %1: %2").arg(path, errnoText(errno));
    return std::nullopt;
}

std::optional<QString> writePrivateFile(const QString &path, const QByteArray &bytes)
{
    // QSaveFile writes through a symbolic link to its target; a link where our file should be
    // is not ours to follow.
    if (isSymbolicLink(path))
        return QStringLiteral("%1 is a symbolic link").arg(path);
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
