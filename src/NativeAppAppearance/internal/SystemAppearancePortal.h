#pragma once
// The desktop's colour-scheme preference as the settings portal publishes it
// (org.freedesktop.appearance color-scheme: 1 prefers dark, 2 prefers light, 0 no preference).
// The value is asked for asynchronously at creation, so a slow or absent portal never delays
// start-up; until it answers, and without a session bus, the preference is unknown.

#include "NativeAppAppearance/Appearance.h"

#include <QDBusVariant>
#include <QObject>

#include <optional>

class QDBusPendingCallWatcher;

namespace NativeAppAppearance {

class SystemAppearancePortal final : public QObject {
    Q_OBJECT
public:
    explicit SystemAppearancePortal(QObject *parent = nullptr);

    std::optional<Appearance> preference() const { return m_preference; }
    // 1 → dark, 2 → light, anything else → no preference.
    static std::optional<Appearance> fromColorScheme(uint value);

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void settingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void readFinished(QDBusPendingCallWatcher *watcher);
    void store(const QVariant &value);

    std::optional<Appearance> m_preference;
};

} // namespace NativeAppAppearance
