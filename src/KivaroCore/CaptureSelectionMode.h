#pragma once
// How a capture picks its target, stored by its raw value ("window" or "region").

#include "Platform/Defaults/UserDefaults.h"

#include <QString>

#include <array>
#include <optional>

namespace Kivaro {

enum class CaptureSelectionMode { window, region };

namespace CaptureSelectionModes {
constexpr std::array<CaptureSelectionMode, 2> all{CaptureSelectionMode::window, CaptureSelectionMode::region};
constexpr const char *preferenceKey = "kivaro.captureSelectionMode";

QString rawValue(CaptureSelectionMode mode);
std::optional<CaptureSelectionMode> fromRawValue(const QString &raw);
// "选中窗口" or "画框选区", looked up.
QString title(CaptureSelectionMode mode);
CaptureSelectionMode alternate(CaptureSelectionMode mode);
// Holding Option switches to the other mode.
CaptureSelectionMode effective(CaptureSelectionMode mode, bool optionHeld);
// `region` only when the stored string is exactly "region".
CaptureSelectionMode read(const Platform::UserDefaults &defaults);
// Throws ShotError when the preferences cannot be written (see saveSetting).
void save(CaptureSelectionMode mode, Platform::UserDefaults defaults);
} // namespace CaptureSelectionModes

} // namespace Kivaro
