#pragma once
// A bundle's version for display: "版本 %@（%@）" looked up, filled with the short version and
// the build; a value that is missing or not text shows as "—" (so does everything without a
// bundle).

#include "NativeAppUpdater/NativeBundle.h"

#include <optional>

namespace NativeAppUpdater::NativeAppVersion {

QString displayText(const std::optional<NativeBundle> &bundle);

} // namespace NativeAppUpdater::NativeAppVersion
