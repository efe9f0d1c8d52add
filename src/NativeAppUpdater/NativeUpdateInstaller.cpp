#include "NativeAppUpdater/NativeUpdateInstaller.h"

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdateHelper.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"
#include "NativeAppUpdater/UpdateArchive.h"
#include "NativeAppUpdater/UpdaterCopy.h"
#include "NativeAppUpdater/internal/BundlePaths.h"
#include "NativeAppUpdater/internal/ParentFolderCheck.h"
#include "NativeAppUpdater/internal/ProcessControl.h"
#include "NativeAppUpdater/internal/StagingFolder.h"

#include "Platform/Files/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater {

namespace {

const char *failureName(NativeUpdateInstaller::Failure failure)
{
    switch (failure) {
    case NativeUpdateInstaller::Failure::invalidArchive:
        return "invalidArchive";
    case NativeUpdateInstaller::Failure::invalidApplication:
        return "invalidApplication";
    case NativeUpdateInstaller::Failure::cannotReplace:
        return "cannotReplace";
    case NativeUpdateInstaller::Failure::noReleaseKeys:
        return "noReleaseKeys";
    }
    return "";
}

[[noreturn]] void refuse(NativeUpdateInstaller::Failure failure, const QString &why)
{
    throw NativeUpdateInstaller::Error(failure, why);
}

// The identity checks of an unpacked bundle, read from its Info.plist.
void checkIdentity(const QString &bundlePath, const NativeUpdateManifest &manifest, const NativeUpdateConfiguration &configuration)
{
    using Failure = NativeUpdateInstaller::Failure;
    const auto bundle = NativeBundle::open(bundlePath);
    if (!bundle)
        refuse(Failure::invalidApplication, QStringLiteral("the archive holds no bundle named ") + configuration.bundleName());
    if (bundle->bundleIdentifier() != configuration.bundleIdentifier)
        refuse(Failure::invalidApplication, QStringLiteral("the bundle has another identifier"));
    if (bundle->infoString(QStringLiteral("CFBundleShortVersionString")) != manifest.version)
        refuse(Failure::invalidApplication, QStringLiteral("the bundle has another version"));
    const auto build = bundle->infoString(QStringLiteral("CFBundleVersion"));
    if (!build || parseDecimalInteger(*build) != manifest.build)
        refuse(Failure::invalidApplication, QStringLiteral("the bundle has another build"));
    if (!bundle->executablePath())
        refuse(Failure::invalidApplication, QStringLiteral("the bundle names no executable"));
}

class SpawnedHelper final : public NativeUpdateInstaller::HelperProcess {
public:
    explicit SpawnedHelper(detail::ChildProcess child) : m_child(std::move(child)) {}
    bool isRunning() override
    {
        if (!m_running)
            return false;
        m_running = !detail::waitForChild(m_child, 0).has_value();
        return m_running;
    }
    qint64 processId() const override { return m_child.pid; }

private:
    detail::ChildProcess m_child;
    bool m_running = true;
};

} // namespace

NativeUpdateInstaller::Error::Error(Failure failure, QString detail)
    : UpdaterError(QString::fromLatin1(failureName(failure)) + QStringLiteral(": ") + detail), m_failure(failure)
{
}

QString NativeUpdateInstaller::Error::localizedDescription() const
{
    switch (m_failure) {
    case Failure::invalidArchive:
        return updaterCopy("更新包已损坏，请重新下载。");
    case Failure::invalidApplication:
        return updaterCopy("更新包未通过开发者签名或公证校验。");
    case Failure::cannotReplace:
        return updaterCopy("无法替换当前应用，请确认应用位于“应用程序”文件夹且当前用户有写入权限。");
    case Failure::noReleaseKeys:
        return updaterCopy("此版本未内置发布公钥，无法校验更新包。");
    }
    return {};
}

QString NativeUpdateInstaller::prepare(const QByteArray &data, const NativeUpdateManifest &manifest,
                                       const NativeUpdateConfiguration &configuration, const PrepareOptions &options)
{
    // The digest is compared as ASCII text: a digest with full-width digits is no digest.
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    if (!NativeUpdatePolicy::isHexDigest(manifest.sha256) || manifest.sha256.toLower() != digest)
        refuse(Failure::invalidArchive, QStringLiteral("the archive's SHA-256 differs from the manifest's"));
    NativeCodeSignature::requireTrust(configuration);

    std::optional<QString> installed = options.installedBundle;
    if (!installed) {
        if (const auto running = NativeBundle::main())
            installed = running->path();
    }
    const QString root = options.stagingRoot.value_or(detail::chooseStagingRoot(installed));
    const detail::StagingFolder staging = detail::createStagingFolder(root, configuration.product);
    // A preparation that fails leaves nothing behind.
    try {
        if (const auto error = Platform::writePrivateFile(staging.path + QStringLiteral("/update.zip"), data))
            throw UpdateFileError(*error);

        // Signatures, seal and contents all come from `data`, the bytes whose digest was checked.
        const auto files = UpdateArchive::readSignatureFiles(data, configuration.bundleName(), configuration.limits);
        const CodeSeal seal = NativeCodeSignature::verifiedSeal(files, configuration, {manifest.version, manifest.build});
        UpdateArchive::extractSealedBundle(data, configuration.bundleName(), seal, files, staging.fd.get(), configuration.limits);

        const QString bundlePath = staging.path + QLatin1Char('/') + configuration.bundleName();
        checkIdentity(bundlePath, manifest, configuration);
        NativeCodeSignature::verifyBundle(bundlePath, configuration, {manifest.version, manifest.build});
        return bundlePath;
    } catch (...) {
        detail::removeTree(staging.path);
        throw;
    }
}

CodeSeal NativeUpdateInstaller::checkReplaceable(const QString &installedBundle, const NativeUpdateConfiguration &configuration)
{
    const QString path = QDir::cleanPath(QFileInfo(installedBundle).absoluteFilePath());
    detail::UniqueFd root = detail::openDirectoryPath(path);
    struct stat info {};
    if (!root || ::fstat(root.get(), &info) != 0 || !S_ISDIR(info.st_mode))
        refuse(Failure::cannotReplace, QStringLiteral("the installed application is not a folder: ") + path);
    if (info.st_uid != ::geteuid())
        refuse(Failure::cannotReplace, QStringLiteral("the installed application belongs to another user"));
    // The update swaps the whole folder and removes the old one: it must be the application's
    // own folder, holding nothing but the application.
    if (QFileInfo(path).fileName() != configuration.bundleName())
        refuse(Failure::cannotReplace, QStringLiteral("the application's folder is not named ") + configuration.bundleName()
                                           + QStringLiteral(": keep the application in a folder of that name of its own"));
    const auto bundle = NativeBundle::open(path);
    if (!bundle || bundle->bundleIdentifier() != configuration.bundleIdentifier)
        refuse(Failure::cannotReplace, QStringLiteral("the folder holds no bundle with the configured identifier"));
    auto seal = NativeCodeSignature::sealIfOnlySealed(root.get(), configuration.limits);
    if (!seal)
        refuse(Failure::cannotReplace, QStringLiteral("the application's folder holds files that are not part of the application: keep ")
                                           + configuration.bundleName() + QStringLiteral(" in a folder of its own"));
    const QString parent = QFileInfo(path).absolutePath();
    if (::access(QFile::encodeName(parent).constData(), W_OK | X_OK) != 0)
        refuse(Failure::cannotReplace, QStringLiteral("the folder holding the application is not writable"));
    if (const auto why = detail::parentFolderRefusal(parent))
        refuse(Failure::cannotReplace, *why);
    return std::move(*seal);
}

std::unique_ptr<NativeUpdateInstaller::HelperProcess> NativeUpdateInstaller::launchHelper(
    const QString &stagedApplication, const QString &runningApplication, const NativeUpdateConfiguration &configuration,
    const NativeUpdateManifest &manifest, qint64 processId)
{
    const auto staged = NativeBundle::open(stagedApplication);
    const auto executable = staged ? staged->executablePath() : std::nullopt;
    if (!executable)
        refuse(Failure::invalidApplication, QStringLiteral("the staged bundle names no executable"));
    NativeCodeSignature::verifyBundle(staged->path(), configuration, {manifest.version, manifest.build});
    checkReplaceable(runningApplication, configuration);
    detail::ChildProcess child = detail::spawnDetached(
        *executable, {QLatin1String(NativeUpdateHelper::argument), runningApplication, QString::number(processId)});
    return std::make_unique<SpawnedHelper>(std::move(child));
}

} // namespace NativeAppUpdater
