#include "NativeAppUpdater/internal/StagingFolder.h"

#include "NativeAppUpdater/UpdaterError.h"

#include "Platform/Files/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace NativeAppUpdater::detail {

namespace {

QString cacheRoot()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/kivaro/updates");
}

// A root of this user's own, or a shared sticky one such as /tmp (where nobody can remove or
// rename what another made).
bool isUsableRoot(const QString &root)
{
    struct stat info {};
    if (::stat(QFile::encodeName(root).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return info.st_uid == ::geteuid() || ((info.st_mode & S_ISVTX) && info.st_uid == 0);
}

} // namespace

bool allowsExecution(const QString &path)
{
    struct statvfs info {};
    return ::statvfs(QFile::encodeName(path).constData(), &info) == 0 && !(info.f_flag & ST_NOEXEC);
}

std::optional<quint64> deviceOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return quint64(info.st_dev);
}

QString chooseStagingRoot(const std::optional<QString> &installedBundle)
{
    // Device 0 stands for "unknown": then any file system will do.
    const quint64 installed = installedBundle ? deviceOf(QFileInfo(*installedBundle).absolutePath()).value_or(0) : 0;
    auto fits = [installed](const QString &root) {
        return allowsExecution(root) && (installed == 0 || deviceOf(root).value_or(0) == installed);
    };
    const QString temporary = QDir::tempPath();
    if (fits(temporary))
        return temporary;
    const QString cache = cacheRoot();
    const bool cacheReady = !Platform::ensurePrivateFolder(cache) && isUsableRoot(cache);
    if (cacheReady && (fits(cache) || !allowsExecution(temporary)))
        return cache;
    return allowsExecution(temporary) || !cacheReady ? temporary : cache;
}

StagingFolder createStagingFolder(const QString &root, const QString &product)
{
    if (!isUsableRoot(root))
        throw UpdateFileError(QStringLiteral("the staging root %1 is missing or belongs to another user").arg(root), EACCES);
    const QString path = QDir(root).filePath(product + QStringLiteral("-update-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    const QByteArray native = QFile::encodeName(path);
    // mkdir fails when anything, a link included, already has the name: the folder is ours.
    if (::mkdir(native.constData(), 0700) != 0) {
        const int error = errno;
        throw UpdateFileError(QStringLiteral("cannot create the staging folder %1: %2").arg(path, errnoText(error)), error);
    }
    UniqueFd fd = openDirectoryPath(path);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0700)
        throw UpdateFileError(QStringLiteral("the staging folder %1 is not private").arg(path));
    return {path, std::move(fd)};
}

} // namespace NativeAppUpdater::detail

namespace NativeAppUpdater::detail {

QStringList stagingRoots()
{
    return {QDir::tempPath(), cacheRoot()};
}

int removeStaleStagingFolders(const QStringList &roots, const QString &product, qint64 minimumAgeSeconds)
{
    int removed = 0;
    const QString prefix = product + QStringLiteral("-update-");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QString &root : roots) {
        if (!isUsableRoot(root))
            continue;
        const QStringList names = QDir(root).entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
        for (const QString &name : names) {
            const QString path = root + QLatin1Char('/') + name;
            struct stat info {};
            // Only folders made as staging folders are: ours, private, and left alone for a while.
            if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()
                || (info.st_mode & 0077) || now - qint64(info.st_mtim.tv_sec) < minimumAgeSeconds)
                continue;
            removed += removeTree(path) ? 1 : 0;
        }
    }
    return removed;
}

} // namespace NativeAppUpdater::detail
