#include "KivaroCore/PreferencesMigration.h"

#include "KivaroCore/CaptureModeShortcuts.h"

namespace Kivaro::PreferencesMigration {

namespace {
// The copy is best effort: what cannot be written now is copied at the next launch.
void copy(Platform::UserDefaults &defaults, const QString &key, const QVariant &value)
{
    try {
        defaults.set(key, value);
    } catch (const Platform::DefaultsWriteError &) {
    }
}
} // namespace

void migrate(Platform::UserDefaults defaults, const QVariantMap &legacy)
{
    const QString shortcutKey = QString::fromLatin1(CaptureModeShortcuts::legacyMainKey);
    if (!defaults.contains(shortcutKey) && legacy.contains(shortcutKey)) {
        const QVariant entry = legacy.value(shortcutKey);
        if (entry.typeId() == QMetaType::QByteArray) {
            const auto decoded = CaptureShortcutPreferences::decode(entry.toByteArray());
            if (decoded && decoded->binding.isValid())
                copy(defaults, shortcutKey, entry.toByteArray());
        }
    }
    const QString menuBarKey = QStringLiteral("kivaro.showMenuBar");
    if (!defaults.contains(menuBarKey) && legacy.contains(menuBarKey)) {
        const QVariant entry = legacy.value(menuBarKey);
        if (entry.typeId() == QMetaType::Bool)
            copy(defaults, menuBarKey, entry.toBool());
    }
}

} // namespace Kivaro::PreferencesMigration
