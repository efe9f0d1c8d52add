#include "KivaroCore/CaptureModeShortcuts.h"

namespace Kivaro::CaptureModeShortcuts {

namespace {
constexpr std::uint32_t kControlOptionCommand = HotKeyMask::control | HotKeyMask::option | HotKeyMask::command;
constexpr std::uint32_t kControlCommand = HotKeyMask::control | HotKeyMask::command;

// The earlier layout's fallbacks belong to its roles, not to the modes.
const CaptureShortcutPreferences kMainRole{{21, kControlOptionCommand, QStringLiteral("4")}, true};
const CaptureShortcutPreferences kAlternateRole{{23, kControlCommand, QStringLiteral("5")}, false};
} // namespace

QString key(CaptureSelectionMode mode)
{
    return QString::fromLatin1(mode == CaptureSelectionMode::region ? regionKey : windowKey);
}

CaptureShortcutPreferences fallback(CaptureSelectionMode mode)
{
    return mode == CaptureSelectionMode::region ? kAlternateRole : kMainRole;
}

CaptureShortcutPreferences read(CaptureSelectionMode mode, const Platform::UserDefaults &defaults)
{
    if (defaults.contains(key(mode)))
        return CaptureShortcutPreferences::read(defaults, key(mode), fallback(mode));
    if (mode == CaptureSelectionModes::read(defaults))
        return CaptureShortcutPreferences::read(defaults, QString::fromLatin1(legacyMainKey), kMainRole);
    return CaptureShortcutPreferences::read(defaults, QString::fromLatin1(legacyAlternateKey), kAlternateRole);
}

void migrate(Platform::UserDefaults defaults)
{
    const CaptureShortcutPreferences window = read(CaptureSelectionMode::window, defaults);
    const CaptureShortcutPreferences region = read(CaptureSelectionMode::region, defaults);
    if (!defaults.contains(key(CaptureSelectionMode::window)))
        window.save(defaults, key(CaptureSelectionMode::window));
    if (!defaults.contains(key(CaptureSelectionMode::region)))
        region.save(defaults, key(CaptureSelectionMode::region));
}

} // namespace Kivaro::CaptureModeShortcuts
