#include "NativeAppUpdater/NativeUpdateHelper.h"

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/UpdaterError.h"
#include "NativeAppUpdater/internal/BundlePaths.h"
#include "NativeAppUpdater/internal/ProcessControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace NativeAppUpdater {

namespace {

using detail::UniqueFd;
using Outcome = NativeUpdateHelper::Outcome;

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

std::optional<FileIdentity> identityOf(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

std::optional<FileIdentity> identityOf(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

std::optional<FileIdentity> identityAt(int parentFd, const QByteArray &name)
{
    struct stat info {};
    if (::fstatat(parentFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

qint64 buildOf(const NativeBundle &bundle)
{
    const auto build = bundle.infoString(QStringLiteral("CFBundleVersion"));
    return build ? parseDecimalInteger(*build).value_or(0) : 0;
}

enum class TargetVerdict { acceptable, notOlder, refused };

// A real folder of this user named as the application's bundle, holding a bundle of the
// configured identifier and nothing else, and not `own` itself: acceptable when it is older than
// `own`, `notOlder` otherwise (replaced by hand with the same or a newer build meanwhile).
TargetVerdict judgeTarget(const QString &target, const NativeUpdateConfiguration &configuration, const NativeBundle &own)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(target).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return TargetVerdict::refused;
    if (QFileInfo(target).fileName() != configuration.bundleName())
        return TargetVerdict::refused;
    const auto bundle = NativeBundle::open(target);
    if (!bundle || bundle->bundleIdentifier() != configuration.bundleIdentifier)
        return TargetVerdict::refused;
    detail::UniqueFd root = detail::openDirectoryPath(target);
    if (!root || !NativeCodeSignature::sealIfOnlySealed(root.get(), configuration.limits))
        return TargetVerdict::refused;
    if (identityOf(target) == identityOf(own.path()))
        return TargetVerdict::refused;
    // Never an older or the same build over the installed one.
    return buildOf(own) > buildOf(*bundle) ? TargetVerdict::acceptable : TargetVerdict::notOlder;
}

// The staging folder the installer's own bundle was prepared in, when it is one: removed once
// the installation ended.
std::optional<QString> stagingFolderOf(const NativeBundle &own, const NativeUpdateConfiguration &configuration)
{
    const QFileInfo folder(QFileInfo(own.path()).absolutePath());
    struct stat info {};
    if (!folder.fileName().startsWith(configuration.product + QStringLiteral("-update-"))
        || ::lstat(QFile::encodeName(folder.absoluteFilePath()).constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid() || (info.st_mode & 0077))
        return std::nullopt;
    return folder.absoluteFilePath();
}

// Starts the application of the bundle at `path`; failures are ignored.
void relaunch(const QString &path)
{
    const auto bundle = NativeBundle::open(path);
    const auto executable = bundle ? bundle->executablePath() : std::nullopt;
    if (!executable)
        return;
    try {
        detail::spawnDetached(*executable, {});
    } catch (const UpdaterError &) {
    }
}

QByteArray hiddenSibling(const QString &name, const char *role)
{
    return QFile::encodeName(QLatin1Char('.') + name + QLatin1Char('.') + QLatin1String(role) + QLatin1Char('-')
                             + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

// Puts the installer's own bundle beside the target under `incoming`: a rename on the same file
// system, a copy across file systems.
bool bringBeside(const QString &ownBundle, int parentFd, const QByteArray &incoming)
{
    const QFileInfo own(ownBundle);
    UniqueFd ownParent = detail::openDirectoryPath(own.absolutePath());
    if (!ownParent)
        return false;
    const QByteArray ownName = QFile::encodeName(own.fileName());
    if (::renameat(ownParent.get(), ownName.constData(), parentFd, incoming.constData()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    try {
        detail::copyTreeAt(ownParent.get(), ownName, parentFd, incoming);
        return true;
    } catch (const UpdaterError &) {
        detail::removeTreeAt(parentFd, incoming);
        return false;
    }
}

// Starts the new application and watches it; false when it cannot start or dies meanwhile.
bool startsAndKeepsRunning(const QString &bundlePath, int watchMs)
{
    const auto bundle = NativeBundle::open(bundlePath);
    const auto executable = bundle ? bundle->executablePath() : std::nullopt;
    if (!executable)
        return false;
    try {
        detail::ChildProcess child = detail::spawnDetached(*executable, {});
        const auto status = detail::waitForChild(child, watchMs);
        // Ending by itself with status 0 (handing over to an instance already running) is fine.
        return !status || (WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    } catch (const UpdaterError &) {
        return false;
    }
}

} // namespace

std::optional<qint32> NativeUpdateHelper::parseProcessId(const QString &text)
{
    const auto value = parseDecimalInteger(text);
    if (!value || *value < std::numeric_limits<qint32>::min() || *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(*value);
}

bool NativeUpdateHelper::runIfRequested(const QStringList &arguments, const NativeUpdateConfiguration &configuration)
{
    if (arguments.size() != 4 || arguments[1] != QLatin1String(argument))
        return false;
    const auto pid = parseProcessId(arguments[3]);
    if (!pid)
        return false;
    install(arguments[2], *pid, configuration);
    return true;
}

NativeUpdateHelper::Outcome NativeUpdateHelper::install(const QString &installedApplication, qint64 parentPid,
                                                        const NativeUpdateConfiguration &configuration, const Timing &timing)
{
    const QString target = QDir::cleanPath(QFileInfo(installedApplication).absoluteFilePath());
    const QFileInfo targetInfo(target);
    const QString name = targetInfo.fileName();
    const QByteArray targetName = QFile::encodeName(name);
    const auto own = NativeBundle::main();
    const TargetVerdict verdict = own && !name.isEmpty() ? judgeTarget(target, configuration, *own) : TargetVerdict::refused;
    if (verdict == TargetVerdict::refused)
        return Outcome::refusedTarget;
    const std::optional<QString> stagingFolder = stagingFolderOf(*own, configuration);
    UniqueFd parent = detail::openDirectoryPath(targetInfo.absolutePath());
    if (!parent)
        return Outcome::refusedTarget;
    if (::flock(parent.get(), LOCK_EX | LOCK_NB) != 0)
        return Outcome::busy;

    // The application asked to end already: once it has, the installed build starts again.
    if (verdict == TargetVerdict::notOlder) {
        if (parentPid > 0)
            detail::waitForProcessEnd(parentPid, timing.parentWaitMs);
        relaunch(target);
        return Outcome::notOlder;
    }
    if (parentPid <= 0) {
        relaunch(target);
        return Outcome::cannotReplace;
    }
    if (!detail::waitForProcessEnd(parentPid, timing.parentWaitMs)) {
        relaunch(target);
        return Outcome::timedOut;
    }
    // The old application may have changed things while we waited.
    std::optional<CodeSeal> installedSeal;
    try {
        installedSeal = NativeUpdateInstaller::checkReplaceable(target, configuration);
    } catch (const UpdaterError &) {
        relaunch(target);
        return Outcome::cannotReplace;
    }
    if (judgeTarget(target, configuration, *own) != TargetVerdict::acceptable) {
        relaunch(target);
        return Outcome::cannotReplace;
    }
    const NativeCodeSignature::Expectation ownBuild{own->infoString(QStringLiteral("CFBundleShortVersionString")).value_or(QString()),
                                                    buildOf(*own)};
    try {
        NativeCodeSignature::verifyBundle(own->path(), configuration, ownBuild);
    } catch (const UpdaterError &) {
        relaunch(target);
        return Outcome::failed;
    }

    const QByteArray incoming = hiddenSibling(name, "incoming");
    if (!bringBeside(own->path(), parent.get(), incoming)) {
        relaunch(target);
        return Outcome::failed;
    }
    // What will be swapped in is what was verified, at its final place, through the handle
    // whose folder is then exchanged.
    UniqueFd incomingFd = detail::openDirectoryAt(parent.get(), incoming);
    std::optional<CodeSeal> incomingSeal;
    try {
        if (!incomingFd)
            throw UpdateFileError(QStringLiteral("cannot open the incoming bundle"));
        incomingSeal = NativeCodeSignature::verifyOpenBundle(incomingFd.get(), configuration, ownBuild);
    } catch (const UpdaterError &) {
        detail::removeTreeAt(parent.get(), incoming);
        relaunch(target);
        return Outcome::failed;
    }
    const auto verified = identityOf(incomingFd.get());
    if (!verified || identityAt(parent.get(), incoming) != verified) {
        relaunch(target);
        return Outcome::failed;
    }
    if (::renameat2(parent.get(), incoming.constData(), parent.get(), targetName.constData(), RENAME_EXCHANGE) != 0) {
        detail::removeSealedTreeAt(parent.get(), incoming, *incomingSeal);
        relaunch(target);
        return Outcome::failed;
    }
    // The folder now in place is the one verified; anything else goes back at once.
    if (identityAt(parent.get(), targetName) != verified) {
        ::renameat2(parent.get(), incoming.constData(), parent.get(), targetName.constData(), RENAME_EXCHANGE);
        relaunch(target);
        return Outcome::failed;
    }
    QByteArray backup = hiddenSibling(name, "previous");
    if (::renameat2(parent.get(), incoming.constData(), parent.get(), backup.constData(), RENAME_NOREPLACE) != 0)
        backup = incoming;

    if (!startsAndKeepsRunning(target, timing.watchMs)) {
        if (::renameat2(parent.get(), backup.constData(), parent.get(), targetName.constData(), RENAME_EXCHANGE) != 0) {
            relaunch(target);
            return Outcome::failed;
        }
        // The new build, back under the backup's name.
        detail::removeSealedTreeAt(parent.get(), backup, *incomingSeal);
        if (stagingFolder)
            detail::removeTree(*stagingFolder);
        relaunch(target);
        return Outcome::rolledBack;
    }
    // Only what the old bundle's seal lists: anything else in it stays.
    detail::removeSealedTreeAt(parent.get(), backup, *installedSeal);
    if (stagingFolder)
        detail::removeTree(*stagingFolder);
    return Outcome::installed;
}

} // namespace NativeAppUpdater
