#include "NativeAppUpdater/NativeUpdateManifest.h"

#include "NativeAppUpdater/UpdaterCopy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace NativeAppUpdater {

namespace {

const char *reasonText(ManifestDecodeError::Reason reason)
{
    switch (reason) {
    case ManifestDecodeError::Reason::notJson:
        return "not a JSON object";
    case ManifestDecodeError::Reason::missingKey:
        return "missing key";
    case ManifestDecodeError::Reason::wrongType:
        return "wrong type for key";
    case ManifestDecodeError::Reason::tooLarge:
        return "manifest too large";
    }
    return "";
}

QJsonValue required(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        throw ManifestDecodeError(ManifestDecodeError::Reason::missingKey, key);
    return value;
}

QString requiredString(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = required(object, key);
    if (!value.isString())
        throw ManifestDecodeError(ManifestDecodeError::Reason::wrongType, key);
    return value.toString();
}

// A JSON integer: Qt keeps integral numbers that fit 64 bits as integers; fractions and
// numbers beyond the range arrive as doubles and are refused.
qint64 requiredInteger(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = required(object, key);
    if (!value.isDouble() || value.toVariant().typeId() != QMetaType::LongLong)
        throw ManifestDecodeError(ManifestDecodeError::Reason::wrongType, key);
    return value.toInteger();
}

} // namespace

ManifestDecodeError::ManifestDecodeError(Reason reason, QString key)
    : UpdaterError(QString::fromLatin1(reasonText(reason)) + (key.isEmpty() ? QString() : QStringLiteral(" ") + key)),
      m_reason(reason), m_key(std::move(key))
{
}

QString ManifestDecodeError::localizedDescription() const
{
    switch (m_reason) {
    case Reason::missingKey:
        return updaterFormat("更新清单缺少“%@”。", {m_key});
    case Reason::wrongType:
        return updaterFormat("更新清单中“%@”的类型不对。", {m_key});
    case Reason::tooLarge:
        return updaterCopy("下载的内容超过了大小上限。");
    case Reason::notJson:
        break;
    }
    return updaterCopy("更新清单不是有效的 JSON。");
}

NativeUpdateManifest NativeUpdateManifest::decode(const QByteArray &json)
{
    if (json.size() > maxBytes)
        throw ManifestDecodeError(ManifestDecodeError::Reason::tooLarge, {});
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw ManifestDecodeError(ManifestDecodeError::Reason::notJson, {});
    const QJsonObject object = document.object();

    NativeUpdateManifest manifest;
    manifest.schemaVersion = requiredInteger(object, QStringLiteral("schemaVersion"));
    manifest.product = requiredString(object, QStringLiteral("product"));
    manifest.version = requiredString(object, QStringLiteral("version"));
    manifest.build = requiredInteger(object, QStringLiteral("build"));
    manifest.downloadURL = requiredString(object, QStringLiteral("downloadURL"));
    // A URL string must read as a URL at all; whether it is an acceptable one is the policy's.
    if (manifest.downloadURL.isEmpty() || !manifest.downloadAddress().isValid())
        throw ManifestDecodeError(ManifestDecodeError::Reason::wrongType, QStringLiteral("downloadURL"));
    manifest.sha256 = requiredString(object, QStringLiteral("sha256"));
    const QJsonValue notes = object.value(QStringLiteral("releaseNotes"));
    if (notes.isString())
        manifest.releaseNotes = notes.toString();
    else if (!notes.isUndefined() && !notes.isNull())
        throw ManifestDecodeError(ManifestDecodeError::Reason::wrongType, QStringLiteral("releaseNotes"));
    return manifest;
}

QByteArray NativeUpdateManifest::encode() const
{
    QJsonObject object{
        {QStringLiteral("schemaVersion"), schemaVersion},
        {QStringLiteral("product"), product},
        {QStringLiteral("version"), version},
        {QStringLiteral("build"), build},
        {QStringLiteral("downloadURL"), downloadURL},
        {QStringLiteral("sha256"), sha256},
    };
    if (releaseNotes)
        object.insert(QStringLiteral("releaseNotes"), *releaseNotes);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

} // namespace NativeAppUpdater
