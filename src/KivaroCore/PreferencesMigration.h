#pragma once
// The one-time copy of settings from an earlier build's preferences domain.

#include "Platform/Defaults/UserDefaults.h"

#include <QVariantMap>

namespace Kivaro::PreferencesMigration {

// Copies "kivaro.captureShortcut" (valid setting data only, byte for byte) and then
// "kivaro.showMenuBar" (Booleans only), each only where `defaults` lacks the key. Never fails;
// anything else is skipped silently. A key that cannot be written stays absent, so the next
// launch copies it again; the earlier build's domain is only read.
void migrate(Platform::UserDefaults defaults, const QVariantMap &legacy);

} // namespace Kivaro::PreferencesMigration
