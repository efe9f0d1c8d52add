#include "KivaroCore/CaptureSelectionMode.h"

#include "KivaroCore/Localization.h"
#include "KivaroCore/SavedSetting.h"

namespace Kivaro::CaptureSelectionModes {

QString rawValue(CaptureSelectionMode mode)
{
    return mode == CaptureSelectionMode::region ? QStringLiteral("region") : QStringLiteral("window");
}

std::optional<CaptureSelectionMode> fromRawValue(const QString &raw)
{
    if (raw == QStringLiteral("window"))
        return CaptureSelectionMode::window;
    if (raw == QStringLiteral("region"))
        return CaptureSelectionMode::region;
    return std::nullopt;
}

QString title(CaptureSelectionMode mode)
{
    return mode == CaptureSelectionMode::region ? kivaroCopy("画框选区") : kivaroCopy("选中窗口");
}

CaptureSelectionMode alternate(CaptureSelectionMode mode)
{
    return mode == CaptureSelectionMode::region ? CaptureSelectionMode::window : CaptureSelectionMode::region;
}

CaptureSelectionMode effective(CaptureSelectionMode mode, bool optionHeld)
{
    return optionHeld ? alternate(mode) : mode;
}

CaptureSelectionMode read(const Platform::UserDefaults &defaults)
{
    const QVariant stored = defaults.object(QString::fromLatin1(preferenceKey));
    if (stored.typeId() == QMetaType::QString && stored.toString() == QStringLiteral("region"))
        return CaptureSelectionMode::region;
    return CaptureSelectionMode::window;
}

void save(CaptureSelectionMode mode, Platform::UserDefaults defaults)
{
    saveSetting(std::move(defaults), QString::fromLatin1(preferenceKey), rawValue(mode));
}

} // namespace Kivaro::CaptureSelectionModes
