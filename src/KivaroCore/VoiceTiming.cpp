#include "KivaroCore/VoiceTiming.h"

#include "KivaroCore/PointerTrace.h"
#include "KivaroCore/LaunchArguments.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace Kivaro::VoiceTiming {

std::optional<QString> folder(const QStringList &arguments)
{
    return detail::PointerTrace::folder(arguments);
}

QByteArray line(const QString &action, double time, double duration)
{
    const QJsonObject object{{QStringLiteral("action"), action}, {QStringLiteral("time"), time}, {QStringLiteral("duration"), duration}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool record(const QString &action, double duration)
{
    const std::optional<QString> traced = folder(PrototypeVerification::processArguments());
    if (!traced)
        return false;
    return detail::PointerTrace::appendTo(*traced, kFileName, line(action, double(QDateTime::currentMSecsSinceEpoch()) / 1000.0, duration));
}

} // namespace Kivaro::VoiceTiming
