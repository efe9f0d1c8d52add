#pragma once
// The desktop's appearance settings as the settings portal (org.freedesktop.portal.Settings)
// publishes them: the colour-scheme preference (org.freedesktop.appearance color-scheme: 1
// prefers dark, 2 prefers light, 0 no preference) and whether the desktop animates
// (org.gnome.desktop.interface enable-animations, a Boolean). Each value is asked for
// asynchronously at creation, so a slow or absent portal never delays start-up; until it
// answers, and without a session bus, a value is unknown. Later changes arrive through the
// portal's SettingChanged signal.

#include "NativeAppAppearance/Appearance.h"

#include <QDBusVariant>
#include <QObject>

#include <optional>

namespace NativeAppAppearance {

class SystemAppearancePortal final : public QObject {
    Q_OBJECT
public:
    explicit SystemAppearancePortal(QObject *parent = nullptr);

    std::optional<Appearance> preference() const { return m_preference; }
    std::optional<bool> animationsEnabled() const { return m_animations; }
    // 1 → dark, 2 → light, anything else → no preference.
    static std::optional<Appearance> fromColorScheme(uint value);
    // A Boolean as the portal sends it (in however many variants); anything else is unknown.
    static std::optional<bool> fromEnableAnimations(const QVariant &value);

Q_SIGNALS:
    // Either value changed.
    void changed();

private Q_SLOTS:
    void settingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void read(const QString &group, const QString &key);
    void store(const QString &group, const QString &key, const QVariant &value);

    std::optional<Appearance> m_preference;
    std::optional<bool> m_animations;
};

} // namespace NativeAppAppearance
