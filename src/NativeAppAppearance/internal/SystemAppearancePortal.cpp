#include "NativeAppAppearance/internal/SystemAppearancePortal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace NativeAppAppearance {

namespace {
const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString interface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
const QString interfaceGroup = QStringLiteral("org.gnome.desktop.interface");
const QString animationsKey = QStringLiteral("enable-animations");

// Read() wraps the value in one variant more than the signal does; unwrap whatever comes.
QVariant unwrap(QVariant value)
{
    for (int depth = 0; depth < 4; ++depth) {
        if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        else if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            const auto argument = value.value<QDBusArgument>();
            if (argument.currentType() != QDBusArgument::VariantType)
                break;
            QDBusVariant inner;
            argument >> inner;
            value = inner.variant();
        } else
            break;
    }
    return value;
}
} // namespace

SystemAppearancePortal::SystemAppearancePortal(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(service, path, interface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    read(appearanceGroup, colorSchemeKey);
    read(interfaceGroup, animationsKey);
}

void SystemAppearancePortal::read(const QString &group, const QString &key)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Read"));
    message << group << key;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, group, key](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            store(group, key, reply.arguments().constFirst());
    });
}

std::optional<Appearance> SystemAppearancePortal::fromColorScheme(uint value)
{
    if (value == 1)
        return Appearance::dark;
    if (value == 2)
        return Appearance::light;
    return std::nullopt;
}

std::optional<bool> SystemAppearancePortal::fromEnableAnimations(const QVariant &value)
{
    const QVariant plain = unwrap(value);
    if (plain.typeId() != QMetaType::Bool)
        return std::nullopt;
    return plain.toBool();
}

void SystemAppearancePortal::settingChanged(const QString &group, const QString &key, const QDBusVariant &value)
{
    store(group, key, value.variant());
}

void SystemAppearancePortal::store(const QString &group, const QString &key, const QVariant &value)
{
    if (group == appearanceGroup && key == colorSchemeKey) {
        bool ok = false;
        const uint scheme = unwrap(value).toUInt(&ok);
        const auto preference = ok ? fromColorScheme(scheme) : std::nullopt;
        if (preference == m_preference)
            return;
        m_preference = preference;
    } else if (group == interfaceGroup && key == animationsKey) {
        const auto animations = fromEnableAnimations(value);
        if (animations == m_animations)
            return;
        m_animations = animations;
    } else {
        return;
    }
    Q_EMIT changed();
}

} // namespace NativeAppAppearance
