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

// Refuses, before anything is copied, a build folder that no update could ever install: more
// entries, deeper folders, a larger file or more bytes than `limits` allow (sizes as the files
// claim them, so a sparse file counts in full), a name in decomposed Unicode (the archive reader
// composes names, so the seal would never match), a path that is too long once
// "<appName>.app/" is put before it, a name that is not UTF-8, a special file. Throws
// std::runtime_error saying which.
void checkBuildFolder(const QString &buildFolder, const BundleDescription &description, const NativeUpdateLimits &limits = {});

// Checks the build folder (checkBuildFolder), copies it into the new folder
// "<output>/<appName>.app", writes its Info.plist and gives every folder 0755 and every file
// 0644, or 0755 when it had any execute bit. Returns the bundle's path. Throws
// std::runtime_error; nothing of the bundle is left then.
QString assembleBundle(const QString &buildFolder, const QString &outputFolder, const BundleDescription &description,
                       const NativeUpdateLimits &limits = {});

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

// Refuses a manifest every client would refuse: it must read back from its own encoding (within
// the size a client reads) and pass NativeUpdatePolicy::validate, the clients' own rule. Which
// hosts a client allows is that client's configuration; the download address's own host counts
// as allowed here. Throws std::runtime_error naming the option at fault.
void checkManifest(const NativeUpdateManifest &manifest);

} // namespace NativeAppUpdater::NativeReleaseTool
