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
const QString group = QStringLiteral("org.freedesktop.appearance");
const QString key = QStringLiteral("color-scheme");

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
    QDBusMessage read = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Read"));
    read << group << key;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &SystemAppearancePortal::readFinished);
}

std::optional<Appearance> SystemAppearancePortal::fromColorScheme(uint value)
{
    if (value == 1)
        return Appearance::dark;
    if (value == 2)
        return Appearance::light;
    return std::nullopt;
}

void SystemAppearancePortal::readFinished(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return;
    store(reply.arguments().constFirst());
}

void SystemAppearancePortal::settingChanged(const QString &changedGroup, const QString &changedKey, const QDBusVariant &value)
{
    if (changedGroup == group && changedKey == key)
        store(value.variant());
}

void SystemAppearancePortal::store(const QVariant &value)
{
    const QVariant plain = unwrap(value);
    bool ok = false;
    const uint scheme = plain.toUInt(&ok);
    const auto preference = ok ? fromColorScheme(scheme) : std::nullopt;
    if (preference == m_preference)
        return;
    m_preference = preference;
    Q_EMIT changed();
}

} // namespace NativeAppAppearance
