#include "NativeAppAppearance/internal/AuditReport.h"

#include "Platform/Files/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
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

std::optional<QString> prepareFolder(const QString &folder)
{
    // A folder the user named is theirs (it may be ~/Desktop): used with the mode it has. The
    // audit's own default folder, and any folder the audit creates, is private.
    if (!folder.isEmpty() && folder != NativeAppearanceAudit::evidenceFolder({})) {
        const QString clean = QDir::cleanPath(folder);
        if (Platform::isSymbolicLink(clean))
            return QStringLiteral("%1 is a symbolic link").arg(folder);
        if (const QFileInfo info(clean); info.exists())
            return info.isDir() ? std::nullopt : std::optional<QString>(QStringLiteral("%1 is not a folder").arg(folder));
    }
    return Platform::ensurePrivateFolder(folder);
}

std::optional<QString> write(const QString &folder, bool passed, const QList<NativeAppearanceAudit::Capture> &captures, const QString &error)
{
    if (const auto problem = prepareFolder(folder))
        return problem;
    return Platform::writePrivateFile(QDir(folder).filePath(QStringLiteral("summary.json")), json(passed, captures, error));
}

} // namespace NativeAppAppearance::AuditReport
