#include "NativeAppUpdater/NativeUpdateArchiveVerification.h"

#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/internal/BundlePaths.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>

#include <cerrno>

namespace NativeAppUpdater {

namespace {

QByteArray readArchive(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw UpdateFileError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()),
                              file.exists() ? EACCES : ENOENT);
    if (file.size() > maxBytes)
        throw NativeUpdateInstaller::Error(NativeUpdateInstaller::Failure::invalidArchive, QStringLiteral("the archive is too large"));
    const QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes)
        throw NativeUpdateInstaller::Error(NativeUpdateInstaller::Failure::invalidArchive, QStringLiteral("the archive is too large"));
    if (file.error() != QFileDevice::NoError)
        throw UpdateFileError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()), EIO);
    return data;
}

} // namespace

std::optional<int> NativeUpdateArchiveVerification::runIfRequested(const NativeUpdateConfiguration &configuration,
                                                                   const QStringList &arguments)
{
    if (arguments.size() != 6 || arguments[1] != QLatin1String(argument))
        return std::nullopt;
    try {
        const auto build = parseDecimalInteger(arguments[4]);
        if (!build)
            throw NativeUpdateInstaller::Error(NativeUpdateInstaller::Failure::invalidArchive,
                                               QStringLiteral("the build argument is not a number"));
        NativeUpdateManifest manifest;
        manifest.schemaVersion = 1;
        manifest.product = configuration.product;
        manifest.version = arguments[3];
        manifest.build = *build;
        manifest.downloadURL = QUrl::fromLocalFile(QFileInfo(arguments[2]).absoluteFilePath()).toString();
        manifest.sha256 = arguments[5];
        const QByteArray data = readArchive(arguments[2], configuration.limits.archiveBytes);
        const QString staged = NativeUpdateInstaller::prepare(data, manifest, configuration);
        detail::removeTree(QFileInfo(staged).absolutePath());
        std::fputs(passLine, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return 0;
    } catch (const UpdaterError &error) {
        const QByteArray line = "UPDATE VERIFY FAILED: " + error.localizedDescription().toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        return 1;
    }
}

} // namespace NativeAppUpdater
