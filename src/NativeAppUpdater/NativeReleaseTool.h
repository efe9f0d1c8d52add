#pragma once
// Making a release: a signed bundle from a build folder, its zip and its manifest. The release
// tool (tools/ReleaseToolMain.cpp, the `kivaro-release` executable) is a thin command line over
// these functions, and the tests make their bundles and archives with them, so what a release
// produces is what the tests verify.

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeUpdateManifest.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace NativeAppUpdater::NativeReleaseTool {

struct BundleDescription {
    QString appName = QStringLiteral("Kivaro");
    QString identifier;
    QString team;
    QString version;
    qint64 build = 0;
    QString executable = QStringLiteral("bin/kivaro");
    QStringList localizations{QStringLiteral("en"), QStringLiteral("zh-Hans"), QStringLiteral("zh-Hant")};

    SealHeader sealHeader() const { return {identifier, team, version, build, executable}; }
};

struct ZipEntry {
    QString path; // as stored, folders without their trailing "/"
    SealEntry::Type type = SealEntry::Type::file;
    int mode = 0644; // every bit is stored as given (tests store hostile ones)
    QByteArray data;
    QString target;
};

// Copies the build folder into the new folder "<output>/<appName>.app", writes its Info.plist
// and gives every folder 0755 and every file 0644, or 0755 when it had any execute bit.
// Returns the bundle's path. Throws std::runtime_error.
QString assembleBundle(const QString &buildFolder, const QString &outputFolder, const BundleDescription &description);

// Writes the Info.plist of a description into a bundle folder. Throws std::runtime_error.
void writeInfo(const QString &bundlePath, const BundleDescription &description);

// Seals the bundle as it is on disk and writes "_CodeSignature" (seal, signature by the raw
// Ed25519 private key `signingKey`, countersignature by `countersigningKey`). Throws SealError or
// std::runtime_error.
CodeSeal signBundle(const QString &bundlePath, const SealHeader &header, const QByteArray &signingKey,
                    const QByteArray &countersigningKey, const NativeUpdateLimits &limits = {});

// The entries of a folder for its zip, below "<folder name>/", in byte order of their paths.
QList<ZipEntry> entriesOfFolder(const QString &folderPath);

// A zip of the entries in the given order. A non-empty passphrase encrypts the files (tests).
// Throws std::runtime_error.
QByteArray writeZip(const QList<ZipEntry> &entries, const QByteArray &passphrase = {});

NativeUpdateManifest manifestFor(const QByteArray &zip, const QString &product, const QString &version, qint64 build,
                                 const QString &downloadURL, const std::optional<QString> &releaseNotes);

} // namespace NativeAppUpdater::NativeReleaseTool
