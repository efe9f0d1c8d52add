#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include "NativeAppUpdater/Ed25519.h"

#include <QStringList>

#include <algorithm>

namespace NativeAppUpdater {

QList<QByteArray> NativeUpdateTrust::keysFromBase64(const QStringList &encoded)
{
    QList<QByteArray> keys;
    for (const QString &text : encoded) {
        const auto decoded = QByteArray::fromBase64Encoding(text.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && decoded.decoded.size() == 32 && !Ed25519::isWeakPublicKey(decoded.decoded))
            keys << decoded.decoded;
    }
    return keys;
}

bool NativeUpdateTrust::isComplete() const
{
    const auto anyStrong = [](const QList<QByteArray> &keys) {
        return std::any_of(keys.cbegin(), keys.cend(), [](const QByteArray &key) { return !Ed25519::isWeakPublicKey(key); });
    };
    return anyStrong(signingKeys) && anyStrong(countersigningKeys);
}

NativeUpdateConfiguration::NativeUpdateConfiguration(QString product, QString appName, QString bundleIdentifier, QString teamName,
                                                     QUrl manifestURL, QSet<QString> allowedDownloadHosts, bool isEnabled,
                                                     NativeUpdateTrust trust, NativeUpdateLimits limits)
    : product(std::move(product)), appName(std::move(appName)), bundleIdentifier(std::move(bundleIdentifier)),
      teamIdentifier(std::move(teamName)), manifestURL(std::move(manifestURL)),
      allowedDownloadHosts(std::move(allowedDownloadHosts)), isEnabled(isEnabled), trust(std::move(trust)),
      limits(limits)
{
}

QUrl NativeUpdateConfiguration::changelogURL(const QString &language) const
{
    const QString tag = language.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
    QString prefix;
    if (tag.startsWith(QLatin1String("zh"))) {
        prefix = QStringLiteral("zh/");
        for (const char *traditional : {"zh-hant", "zh-tw", "zh-hk", "zh-mo"}) {
            if (tag.startsWith(QLatin1String(traditional))) {
                prefix = QStringLiteral("zh-tw/");
                break;
            }
        }
    }
    QStringList components = manifestURL.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int i = 0; i < 2 && !components.isEmpty(); ++i)
        components.removeLast();
    QString path = QStringLiteral("/") + components.join(QLatin1Char('/'));
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    QUrl url = manifestURL;
    url.setQuery(QString());
    url.setFragment(QString());
    url.setPath(path + prefix + QStringLiteral("changelog/"));
    return url;
}

} // namespace NativeAppUpdater
