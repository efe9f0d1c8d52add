#pragma once
// The hot-key binding of each capture mode, with the fall-back to the earlier layout (one main
// binding for the preferred mode, one alternate binding for the other).

#include "KivaroCore/CaptureSelectionMode.h"
#include "KivaroCore/CaptureShortcut.h"

namespace Kivaro::CaptureModeShortcuts {

constexpr const char *windowKey = "kivaro.windowCaptureShortcut";
constexpr const char *regionKey = "kivaro.regionCaptureShortcut";
constexpr const char *legacyMainKey = "kivaro.captureShortcut";
constexpr const char *legacyAlternateKey = "kivaro.alternateCaptureShortcut";

QString key(CaptureSelectionMode mode);
// Window: ⌃⌥⌘4 switched on. Region: ⌃⌘5 switched off.
CaptureShortcutPreferences fallback(CaptureSelectionMode mode);
// Never fails. A per-mode key holding anything at all decides alone (bad values give the
// mode's default); without one, the earlier layout's roles apply.
CaptureShortcutPreferences read(CaptureSelectionMode mode, const Platform::UserDefaults &defaults);
// Writes each per-mode key that holds nothing yet from what `read` gives; never overwrites.
// Throws what saving throws.
void migrate(Platform::UserDefaults defaults);

} // namespace Kivaro::CaptureModeShortcuts
