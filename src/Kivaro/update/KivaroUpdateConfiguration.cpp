#include "Kivaro/update/KivaroUpdateConfiguration.h"

#include "NativeAppUpdater/NativeBundle.h"

#include "KivaroCore/LaunchArguments.h"

namespace Kivaro {

using namespace NativeAppUpdater;

namespace {

QStringList pinnedKeys(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

} // namespace

NativeUpdateConfiguration kivaroUpdateConfiguration(const std::optional<QString> &mainBundleIdentifier, const QStringList &arguments)
{
    const QString identifier = QString::fromLatin1(ReleaseDistribution::bundleIdentifier);
    const bool enabled = mainBundleIdentifier == identifier && !arguments.contains(QStringLiteral("--verify"))
        && !arguments.contains(QStringLiteral("--ui-session"));
    NativeUpdateTrust trust;
    trust.signingKeys = NativeUpdateTrust::keysFromBase64(pinnedKeys(KIVARO_UPDATE_SIGNING_KEYS));
    trust.countersigningKeys = NativeUpdateTrust::keysFromBase64(pinnedKeys(KIVARO_UPDATE_COUNTERSIGNING_KEYS));
    return NativeUpdateConfiguration(QStringLiteral("kivaro"), QStringLiteral("Kivaro"), identifier,
                                     QString::fromLatin1(ReleaseDistribution::teamIdentifier),
                                     QUrl(QString::fromLatin1(ReleaseDistribution::manifestURL)),
                                     {QString::fromLatin1(ReleaseDistribution::updateHost),
                                      QString::fromLatin1(ReleaseDistribution::downloadHost)},
                                     enabled, trust);
}

NativeUpdateConfiguration kivaroUpdateConfiguration()
{
    const auto bundle = NativeBundle::main();
    return kivaroUpdateConfiguration(bundle ? bundle->bundleIdentifier() : std::nullopt, PrototypeVerification::processArguments());
}

} // namespace Kivaro
