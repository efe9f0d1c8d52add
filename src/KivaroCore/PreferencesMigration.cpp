#include "KivaroCore/PreferencesMigration.h"

#include "KivaroCore/CaptureModeShortcuts.h"

namespace Kivaro::PreferencesMigration {

void migrate(Platform::UserDefaults defaults, const QVariantMap &legacy)
{
    const QString shortcutKey = QString::fromLatin1(CaptureModeShortcuts::legacyMainKey);
    if (!defaults.contains(shortcutKey) && legacy.contains(shortcutKey)) {
        const QVariant entry = legacy.value(shortcutKey);
        if (entry.typeId() == QMetaType::QByteArray) {
            const auto decoded = CaptureShortcutPreferences::decode(entry.toByteArray());
            if (decoded && decoded->binding.isValid())
                defaults.set(shortcutKey, entry.toByteArray());
        }
    }
    const QString menuBarKey = QStringLiteral("kivaro.showMenuBar");
    if (!defaults.contains(menuBarKey) && legacy.contains(menuBarKey)) {
        const QVariant entry = legacy.value(menuBarKey);
        if (entry.typeId() == QMetaType::Bool)
            defaults.set(menuBarKey, entry.toBool());
    }
}

} // namespace Kivaro::PreferencesMigration
