#include "NativeAppAppearance/internal/AuditReport.h"

#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace NativeAppAppearance::AuditReport {

QByteArray json(bool passed, const QList<NativeAppearanceAudit::Capture> &captures, const QString &error)
{
    QJsonArray records;
    for (const auto &capture : captures) {
        records.append(QJsonObject{{QStringLiteral("scene"), capture.scene},
                                   {QStringLiteral("scheme"), capture.scheme},
                                   {QStringLiteral("screenshot"), capture.screenshot},
                                   {QStringLiteral("width"), capture.width},
                                   {QStringLiteral("height"), capture.height}});
    }
    // QJsonObject keeps its keys sorted, so the output is sorted as the format asks.
    const QJsonObject summary{
        {QStringLiteral("status"), passed ? QStringLiteral("passed") : QStringLiteral("failed")},
        {QStringLiteral("environment"), QStringLiteral("native-linux")},
        {QStringLiteral("systemAppearanceChanged"), false},
        {QStringLiteral("liveAppearanceCycle"), QJsonArray{QStringLiteral("light"), QStringLiteral("dark"), QStringLiteral("light-restored")}},
        {QStringLiteral("captures"), records},
        {QStringLiteral("error"), error},
    };
    return QJsonDocument(summary).toJson(QJsonDocument::Indented);
}

std::optional<QString> write(const QString &folder, bool passed, const QList<NativeAppearanceAudit::Capture> &captures, const QString &error)
{
    if (const auto problem = Platform::ensurePrivateFolder(folder))
        return problem;
    return Platform::writePrivateFile(QDir(folder).filePath(QStringLiteral("summary.json")), json(passed, captures, error));
}

} // namespace NativeAppAppearance::AuditReport
