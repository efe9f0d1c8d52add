#include "NativeAppUpdater/internal/StagingFolder.h"

#include "NativeAppUpdater/UpdaterError.h"

#include "Platform/Files/PrivateFiles.h"

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
    const bool cacheReady = !Platform::ensurePrivateFolder(cache);
    if (cacheReady && (fits(cache) || !allowsExecution(temporary)))
        return cache;
    return allowsExecution(temporary) || !cacheReady ? temporary : cache;
}

StagingFolder createStagingFolder(const QString &root, const QString &product)
{
    const QString path = QDir(root).filePath(product + QStringLiteral("-update-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    const QByteArray native = QFile::encodeName(path);
    // mkdir fails when anything, a link included, already has the name: the folder is ours.
    if (::mkdir(native.constData(), 0700) != 0)
        throw UpdateFileError(QStringLiteral("cannot create the staging folder %1: %2").arg(path, errnoText(errno)));
    UniqueFd fd = openDirectoryPath(path);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0700)
        throw UpdateFileError(QStringLiteral("the staging folder %1 is not private").arg(path));
    return {path, std::move(fd)};
}

} // namespace NativeAppUpdater::detail
