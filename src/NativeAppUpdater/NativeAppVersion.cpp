#include "NativeAppUpdater/NativeAppVersion.h"

#include "NativeAppUpdater/UpdaterCopy.h"

namespace NativeAppUpdater::NativeAppVersion {

QString displayText(const std::optional<NativeBundle> &bundle)
{
    const QString dash = QStringLiteral("—");
    const auto shortVersion = bundle ? bundle->infoString(QStringLiteral("CFBundleShortVersionString")) : std::nullopt;
    const auto build = bundle ? bundle->infoString(QStringLiteral("CFBundleVersion")) : std::nullopt;
    return updaterFormat("版本 %@（%@）", {shortVersion.value_or(dash), build.value_or(dash)});
}

} // namespace NativeAppUpdater::NativeAppVersion
