#include "NativeAppUpdater/NativeUpdatePolicy.h"

#include "NativeAppUpdater/UpdaterCopy.h"

namespace NativeAppUpdater {

namespace {

const char *failureName(NativeUpdatePolicy::Failure failure)
{
    switch (failure) {
    case NativeUpdatePolicy::Failure::invalidSchema:
        return "invalidSchema";
    case NativeUpdatePolicy::Failure::wrongProduct:
        return "wrongProduct";
    case NativeUpdatePolicy::Failure::invalidVersion:
        return "invalidVersion";
    case NativeUpdatePolicy::Failure::invalidDownloadURL:
        return "invalidDownloadURL";
    case NativeUpdatePolicy::Failure::invalidChecksum:
        return "invalidChecksum";
    }
    return "";
}

// The scheme exactly as written: everything before the first ':' when that is a valid scheme.
QString writtenScheme(const QString &address)
{
    const qsizetype colon = address.indexOf(QLatin1Char(':'));
    return colon > 0 ? address.left(colon) : QString();
}

} // namespace

NativeUpdatePolicy::Error::Error(Failure failure) : UpdaterError(QString::fromLatin1(failureName(failure))), m_failure(failure) {}

QString NativeUpdatePolicy::Error::localizedDescription() const
{
    switch (m_failure) {
    case Failure::invalidSchema:
        return updaterCopy("更新清单版本不受支持。");
    case Failure::wrongProduct:
        return updaterCopy("更新包不属于当前应用。");
    case Failure::invalidVersion:
        return updaterCopy("更新版本信息无效。");
    case Failure::invalidDownloadURL:
        return updaterCopy("更新下载地址无效。");
    case Failure::invalidChecksum:
        return updaterCopy("更新包校验值无效。");
    }
    return {};
}

bool NativeUpdatePolicy::isHexDigest(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool hex = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
        if (!hex)
            return false;
    }
    return true;
}

bool NativeUpdatePolicy::isShortVersion(const QString &version)
{
    if (version.isEmpty() || version.size() > maxVersionLength || version.trimmed() != version)
        return false;
    for (const QChar c : version) {
        if (!c.isPrint() || c.isSurrogate())
            return false;
    }
    return true;
}

void NativeUpdatePolicy::validate(const NativeUpdateManifest &manifest, const NativeUpdateConfiguration &configuration)
{
    if (manifest.schemaVersion != 1)
        throw Error(Failure::invalidSchema);
    if (manifest.product != configuration.product)
        throw Error(Failure::wrongProduct);
    if (!isShortVersion(manifest.version) || manifest.build < 1)
        throw Error(Failure::invalidVersion);
    const QUrl address = manifest.downloadAddress();
    if (writtenScheme(manifest.downloadURL) != QLatin1String("https") || !address.isValid() || address.host().isEmpty()
        || !configuration.allowedDownloadHosts.contains(address.host().toLower()))
        throw Error(Failure::invalidDownloadURL);
    if (!isHexDigest(manifest.sha256))
        throw Error(Failure::invalidChecksum);
}

bool NativeUpdatePolicy::isNewer(const NativeUpdateManifest &manifest, qint64 currentBuild)
{
    return manifest.build > currentBuild;
}

} // namespace NativeAppUpdater
