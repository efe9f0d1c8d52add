#pragma once
// What the updater must know about the application it updates, as one value.
//
// Beside the fields every updater needs (product word, application name, bundle and team
// identifiers, manifest address, allowed download hosts, whether updating is on), a Linux build
// pins the release keys it trusts: an update's seal must be signed by one of `signingKeys` (the
// team's keys) and countersigned by one of `countersigningKeys` (the release keys standing in
// for the platform's assessment). A configuration without keys refuses every archive; it never
// accepts one, and an updater made from it is a development updater whatever `isEnabled` says
// (it never checks or downloads). `limits` bounds everything read from the network and from archives; tests lower
// them, the application keeps the defaults.

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

namespace NativeAppUpdater {

struct NativeUpdateTrust {
    // Raw 32-byte Ed25519 public keys.
    QList<QByteArray> signingKeys;
    QList<QByteArray> countersigningKeys;

    // True when both lists hold a key that is not weak.
    bool isComplete() const;
    // Reads keys written as base64 of their 32 raw bytes; malformed entries and weak keys (see
    // Ed25519::isWeakPublicKey) are dropped.
    static QList<QByteArray> keysFromBase64(const QStringList &encoded);
};

struct NativeUpdateLimits {
    qint64 manifestBytes = 1024 * 1024;
    qint64 archiveBytes = 512ll * 1024 * 1024;
    int maxRedirects = 5;
    // Qt's transfer timeout: the longest time without any data (Qt's own default is none).
    int manifestIdleTimeoutMs = 20'000;
    int archiveIdleTimeoutMs = 60'000;
    // The overall deadline of a request, however steadily data trickles in.
    int manifestDeadlineMs = 60'000;
    int archiveDeadlineMs = 60 * 60'000;
    // Archive contents: the seal's size, its entry count, the folder depth, one file's size and
    // the unpacked total.
    qint64 sealBytes = 8 * 1024 * 1024;
    qint64 entries = 20'000;
    int depth = 32;
    qint64 fileBytes = 1024ll * 1024 * 1024;
    qint64 unpackedBytes = 2048ll * 1024 * 1024;
};

struct NativeUpdateConfiguration {
    QString product;
    QString appName;
    QString bundleIdentifier;
    QString teamIdentifier;
    QUrl manifestURL;
    QSet<QString> allowedDownloadHosts; // lower case
    bool isEnabled = false;
    NativeUpdateTrust trust;
    NativeUpdateLimits limits;

    NativeUpdateConfiguration() = default;
    NativeUpdateConfiguration(QString product, QString appName, QString bundleIdentifier, QString teamName, QUrl manifestURL,
                              QSet<QString> allowedDownloadHosts, bool isEnabled, NativeUpdateTrust trust = {},
                              NativeUpdateLimits limits = {});

    // The changelog page for a language tag: the manifest address less its last two path
    // components, then "zh-tw/" for Traditional Chinese tags, "zh/" for other Chinese tags and
    // nothing for the rest, then "changelog/".
    QUrl changelogURL(const QString &language) const;
    // The bundle's folder name inside an archive and on disk: appName + ".app".
    QString bundleName() const { return appName + QStringLiteral(".app"); }
};

} // namespace NativeAppUpdater
