// kivaro-release: makes a release from a build folder.
//
//   kivaro-release bundle --input <build folder> --output <folder> --identifier <id> --team <team>
//       --version <version> --build <number> --signing-key <team key.pem>
//       --countersigning-key <release key.pem> --download-url <https address of the zip>
//       [--app-name Kivaro] [--product kivaro] [--executable bin/kivaro] [--release-notes <file.md>]
//     writes <output>/<app name>.app (signed), <output>/<app name>-<version>.zip and
//     <output>/update.json, and prints the archive's SHA-256. A manifest no client would accept
//     (a plain http address, say) is refused with the reason before anything is written.
//
//   kivaro-release public-key <key.pem>
//     prints the base64 of a private key's raw public key, the form the build pins
//     (-DKIVARO_UPDATE_SIGNING_KEYS=..., -DKIVARO_UPDATE_COUNTERSIGNING_KEYS=...).
//
// Keys are Ed25519 private keys in PEM, as `openssl genpkey -algorithm ed25519` writes them.

#include "NativeAppUpdater/Ed25519.h"
#include "NativeAppUpdater/NativeReleaseTool.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <stdexcept>

using namespace NativeAppUpdater;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()).toStdString());
    return file.readAll();
}

Ed25519::KeyPair readKey(const QString &path)
{
    const auto pair = Ed25519::fromPem(readFile(path));
    if (!pair)
        throw std::runtime_error(QStringLiteral("%1 holds no Ed25519 private key").arg(path).toStdString());
    return *pair;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

void print(FILE *stream, const QString &text)
{
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
}

int makeBundle(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QStringList required{QStringLiteral("input"),   QStringLiteral("output"),      QStringLiteral("identifier"),
                               QStringLiteral("team"),    QStringLiteral("version"),     QStringLiteral("build"),
                               QStringLiteral("signing-key"), QStringLiteral("countersigning-key"), QStringLiteral("download-url")};
    for (const QString &name : required)
        parser.addOption(QCommandLineOption(name, name, QStringLiteral("value")));
    for (const QString &name : {QStringLiteral("app-name"), QStringLiteral("product"), QStringLiteral("executable"),
                                QStringLiteral("release-notes")})
        parser.addOption(QCommandLineOption(name, name, QStringLiteral("value")));
    if (!parser.parse(arguments))
        throw std::runtime_error(parser.errorText().toStdString());
    for (const QString &name : required) {
        if (!parser.isSet(name))
            throw std::runtime_error(QStringLiteral("--%1 is required").arg(name).toStdString());
    }
    NativeReleaseTool::BundleDescription description;
    description.appName = parser.isSet(QStringLiteral("app-name")) ? parser.value(QStringLiteral("app-name")) : description.appName;
    description.identifier = parser.value(QStringLiteral("identifier"));
    description.team = parser.value(QStringLiteral("team"));
    description.version = parser.value(QStringLiteral("version"));
    if (!NativeUpdatePolicy::isShortVersion(description.version))
        throw std::runtime_error(QStringLiteral("--version must be 1 to %1 printable characters without space at either end")
                                     .arg(NativeUpdatePolicy::maxVersionLength)
                                     .toStdString());
    bool ok = false;
    description.build = parser.value(QStringLiteral("build")).toLongLong(&ok);
    if (!ok || description.build < 1)
        throw std::runtime_error("--build needs a whole number of at least 1");
    if (parser.isSet(QStringLiteral("executable")))
        description.executable = parser.value(QStringLiteral("executable"));
    const QString product = parser.isSet(QStringLiteral("product")) ? parser.value(QStringLiteral("product")) : QStringLiteral("kivaro");
    std::optional<QString> notes;
    if (parser.isSet(QStringLiteral("release-notes")))
        notes = QString::fromUtf8(readFile(parser.value(QStringLiteral("release-notes"))));

    // The manifest this release will publish, refused before anything is made when no client
    // would take it (the archive's digest, known only at the end, is any archive's here).
    NativeReleaseTool::checkManifest(NativeReleaseTool::manifestFor({}, product, description.version, description.build,
                                                                    parser.value(QStringLiteral("download-url")), notes));

    const auto signing = readKey(parser.value(QStringLiteral("signing-key")));
    const auto countersigning = readKey(parser.value(QStringLiteral("countersigning-key")));
    const QString output = parser.value(QStringLiteral("output"));
    if (!QDir().mkpath(output))
        throw std::runtime_error(QStringLiteral("cannot create %1").arg(output).toStdString());
    const QString zipPath = QDir(output).filePath(description.appName + QLatin1Char('-') + description.version + QStringLiteral(".zip"));
    const QString manifestPath = QDir(output).filePath(QStringLiteral("update.json"));
    for (const QString &path : {zipPath, manifestPath}) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            throw std::runtime_error(QStringLiteral("%1 exists already").arg(path).toStdString());
    }
    const QString bundle = NativeReleaseTool::assembleBundle(parser.value(QStringLiteral("input")), output, description);
    NativeUpdateManifest manifest;
    // A release that fails half-way leaves nothing of itself behind.
    try {
        NativeReleaseTool::signBundle(bundle, description.sealHeader(), signing.privateKey, countersigning.privateKey);
        const QByteArray zip = NativeReleaseTool::writeZip(NativeReleaseTool::entriesOfFolder(bundle));
        writeFile(zipPath, zip);
        manifest = NativeReleaseTool::manifestFor(zip, product, description.version, description.build,
                                                  parser.value(QStringLiteral("download-url")), notes);
        NativeReleaseTool::checkManifest(manifest);
        writeFile(manifestPath, manifest.encode());
    } catch (...) {
        QDir(bundle).removeRecursively();
        QFile::remove(zipPath);
        QFile::remove(manifestPath);
        throw;
    }
    print(stdout, bundle);
    print(stdout, zipPath);
    print(stdout, manifest.sha256);
    return 0;
}

int publicKey(const QStringList &arguments)
{
    if (arguments.size() != 3)
        throw std::runtime_error("usage: kivaro-release public-key <key.pem>");
    print(stdout, QString::fromLatin1(readKey(arguments[2]).publicKey.toBase64()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    try {
        if (arguments.size() >= 2 && arguments[1] == QLatin1String("bundle"))
            return makeBundle(arguments.mid(0, 1) + arguments.mid(2));
        if (arguments.size() >= 2 && arguments[1] == QLatin1String("public-key"))
            return publicKey(arguments);
        print(stderr, QStringLiteral("usage: kivaro-release bundle ... | kivaro-release public-key <key.pem>"));
        return 2;
    } catch (const std::exception &error) {
        print(stderr, QStringLiteral("kivaro-release: ") + QString::fromUtf8(error.what()));
        return 1;
    }
}
