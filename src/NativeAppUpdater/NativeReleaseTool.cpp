#include "NativeAppUpdater/NativeReleaseTool.h"

#include "NativeAppUpdater/Ed25519.h"
#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdatePolicy.h"
#include "NativeAppUpdater/internal/BundlePaths.h"

#include "Platform/PropertyList/PropertyList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater::NativeReleaseTool {

namespace {

[[noreturn]] void fail(const QString &why)
{
    throw std::runtime_error(why.toStdString());
}

void writeFile(const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    file.close();
    file.setPermissions(permissions);
}

// Folders 0755, files 0644 or 0755; links untouched.
void normaliseModes(const QString &root)
{
    ::chmod(QFile::encodeName(root).constData(), 0755);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray path = QFile::encodeName(it.next());
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0)
            fail(QStringLiteral("cannot inspect ") + QFile::decodeName(path));
        if (S_ISLNK(info.st_mode))
            continue;
        const mode_t mode = S_ISDIR(info.st_mode) || (info.st_mode & 0111) ? 0755 : 0644;
        if (::chmod(path.constData(), mode) != 0)
            fail(QStringLiteral("cannot set the mode of ") + QFile::decodeName(path));
    }
}

struct WriterFree {
    void operator()(archive *a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};

la_ssize_t appendToBuffer(archive *, void *buffer, const void *data, size_t size)
{
    static_cast<QByteArray *>(buffer)->append(static_cast<const char *>(data), qsizetype(size));
    return la_ssize_t(size);
}

} // namespace

void writeInfo(const QString &bundlePath, const BundleDescription &description)
{
    QVariantList localizations;
    for (const QString &language : description.localizations)
        localizations << language;
    const QVariantMap info{
        {QStringLiteral("CFBundleIdentifier"), description.identifier},
        {QStringLiteral("CFBundleName"), description.appName},
        {QStringLiteral("CFBundleShortVersionString"), description.version},
        {QStringLiteral("CFBundleVersion"), QString::number(description.build)},
        {QStringLiteral("CFBundleExecutable"), description.executable},
        {QStringLiteral("CFBundleLocalizations"), localizations},
    };
    writeFile(bundlePath + QStringLiteral("/Info.plist"), Platform::encodePropertyList(info),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

void checkBuildFolder(const QString &buildFolder, const BundleDescription &description, const NativeUpdateLimits &limits)
{
    const QString root = QDir::cleanPath(QFileInfo(buildFolder).absoluteFilePath());
    struct stat top {};
    if (::lstat(QFile::encodeName(root).constData(), &top) != 0 || !S_ISDIR(top.st_mode))
        fail(root + QStringLiteral(" is not a folder"));
    const QString bundleName = description.appName + QStringLiteral(".app");
    qint64 entries = 0, total = 0;
    // No link is followed: the walk sees what the copy will copy.
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray native = QFile::encodeName(path);
        const QString relative = path.mid(root.size() + 1);
        if (QFile::encodeName(QFile::decodeName(native)) != native)
            fail(QStringLiteral("the name of %1 is not UTF-8").arg(path));
        if (relative.normalized(QString::NormalizationForm_C) != relative)
            fail(QStringLiteral("the name %1 is in decomposed Unicode: name it in composed form (NFC), as the archive reader reads it")
                     .arg(relative));
        if (!detail::isCanonicalRelativePath(bundleName + QLatin1Char('/') + relative))
            fail(QStringLiteral("the path %1 is too long once %2/ is put before it (at most 1024 bytes, 255 a name)").arg(relative, bundleName));
        if (relative.count(QLatin1Char('/')) + 1 > limits.depth)
            fail(QStringLiteral("%1 lies deeper than %2 folders").arg(relative).arg(limits.depth));
        if (++entries > limits.entries)
            fail(QStringLiteral("the build folder holds more than %1 entries").arg(limits.entries));
        struct stat info {};
        if (::lstat(native.constData(), &info) != 0)
            fail(QStringLiteral("cannot inspect ") + path);
        if (S_ISREG(info.st_mode)) {
            if (info.st_size > limits.fileBytes)
                fail(QStringLiteral("%1 is larger than an update may hold (%2 bytes, at most %3)").arg(relative).arg(info.st_size).arg(limits.fileBytes));
            total += info.st_size;
            if (total > limits.unpackedBytes)
                fail(QStringLiteral("the build folder holds more than an update may (%1 bytes at most)").arg(limits.unpackedBytes));
        } else if (!S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode)) {
            fail(QStringLiteral("cannot put the special file %1 into a bundle").arg(relative));
        }
    }
}

QString assembleBundle(const QString &buildFolder, const QString &outputFolder, const BundleDescription &description,
                       const NativeUpdateLimits &limits)
{
    checkBuildFolder(buildFolder, description, limits);
    detail::UniqueFd source = detail::openDirectoryPath(QFileInfo(buildFolder).absolutePath());
    detail::UniqueFd target = detail::openDirectoryPath(outputFolder);
    if (!source || !target)
        fail(QStringLiteral("cannot open the build folder or the output folder"));
    const QString bundle = QDir(outputFolder).filePath(description.appName + QStringLiteral(".app"));
    if (QFileInfo::exists(bundle) || QFileInfo(bundle).isSymLink())
        fail(bundle + QStringLiteral(" exists already"));
    // Whatever fails from here, the half-made bundle goes.
    try {
        try {
            detail::copyTreeAt(source.get(), QFile::encodeName(QFileInfo(buildFolder).fileName()), target.get(),
                               QFile::encodeName(QFileInfo(bundle).fileName()));
        } catch (const UpdaterError &error) {
            fail(error.detail());
        }
        writeInfo(bundle, description);
        normaliseModes(bundle);
    } catch (...) {
        detail::removeTreeAt(target.get(), QFile::encodeName(QFileInfo(bundle).fileName()));
        throw;
    }
    return bundle;
}

CodeSeal signBundle(const QString &bundlePath, const SealHeader &header, const QByteArray &signingKey,
                    const QByteArray &countersigningKey, const NativeUpdateLimits &limits)
{
    const CodeSeal seal = CodeSeal::ofFolder(bundlePath, header, limits);
    const QByteArray bytes = seal.serialize();
    const QByteArray signature = Ed25519::sign(signingKey, NativeCodeSignature::signatureMessage(bytes));
    const QByteArray countersignature = Ed25519::sign(countersigningKey, NativeCodeSignature::countersignatureMessage(bytes));
    if (signature.isEmpty() || countersignature.isEmpty())
        fail(QStringLiteral("a signing key is not an Ed25519 private key"));
    const QString folder = bundlePath + QLatin1Char('/') + QLatin1String(CodeSeal::signatureFolder);
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot create ") + folder);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    writeFile(folder + QLatin1Char('/') + QLatin1String(CodeSeal::sealFile), bytes, readable);
    writeFile(folder + QLatin1Char('/') + QLatin1String(CodeSeal::signatureFile), signature, readable);
    writeFile(folder + QLatin1Char('/') + QLatin1String(CodeSeal::countersignatureFile), countersignature, readable);
    return seal;
}

QList<ZipEntry> entriesOfFolder(const QString &folderPath)
{
    const QFileInfo root(folderPath);
    const QString prefix = root.fileName();
    QList<ZipEntry> entries{{prefix, SealEntry::Type::directory, 0755, {}, {}}};
    QDirIterator it(root.absoluteFilePath(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray native = QFile::encodeName(path);
        struct stat info {};
        if (::lstat(native.constData(), &info) != 0)
            fail(QStringLiteral("cannot inspect ") + path);
        ZipEntry entry;
        entry.path = prefix + QLatin1Char('/') + QDir(root.absoluteFilePath()).relativeFilePath(path);
        entry.mode = int(info.st_mode & 07777);
        if (S_ISLNK(info.st_mode)) {
            entry.type = SealEntry::Type::link;
            entry.mode = 0777;
            QByteArray target(4096, Qt::Uninitialized);
            const ssize_t n = ::readlink(native.constData(), target.data(), size_t(target.size()));
            if (n <= 0 || n >= target.size())
                fail(QStringLiteral("cannot read the link ") + path);
            entry.target = QFile::decodeName(target.left(n));
        } else if (S_ISDIR(info.st_mode)) {
            entry.type = SealEntry::Type::directory;
        } else if (S_ISREG(info.st_mode)) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                fail(QStringLiteral("cannot read ") + path);
            entry.data = file.readAll();
        } else {
            fail(QStringLiteral("cannot archive the special file ") + path);
        }
        entries << entry;
    }
    std::sort(entries.begin() + 1, entries.end(), [](const ZipEntry &a, const ZipEntry &b) { return a.path.toUtf8() < b.path.toUtf8(); });
    return entries;
}

QByteArray writeZip(const QList<ZipEntry> &entries, const QByteArray &passphrase)
{
    std::unique_ptr<archive, WriterFree> writer(archive_write_new());
    QByteArray out;
    if (!writer || archive_write_set_format_zip(writer.get()) != ARCHIVE_OK
        || archive_write_set_options(writer.get(), "zip:hdrcharset=UTF-8") != ARCHIVE_OK)
        fail(QStringLiteral("cannot set up the zip writer"));
    if (!passphrase.isEmpty()
        && (archive_write_set_options(writer.get(), "zip:encryption=zipcrypt") != ARCHIVE_OK
            || archive_write_set_passphrase(writer.get(), passphrase.constData()) != ARCHIVE_OK))
        fail(QStringLiteral("cannot set up zip encryption"));
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    if (archive_write_open(writer.get(), &out, nullptr, appendToBuffer, nullptr) != ARCHIVE_OK)
        fail(QStringLiteral("cannot start the zip"));
    for (const ZipEntry &item : entries) {
        std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        const QByteArray path = (item.type == SealEntry::Type::directory ? item.path + QLatin1Char('/') : item.path).toUtf8();
        archive_entry_set_pathname_utf8(entry.get(), path.constData());
        // A fixed time keeps archives of equal bundles equal.
        archive_entry_set_mtime(entry.get(), 1'577'836'800, 0);
        switch (item.type) {
        case SealEntry::Type::directory:
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            break;
        case SealEntry::Type::file:
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), item.data.size());
            break;
        case SealEntry::Type::link:
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink_utf8(entry.get(), item.target.toUtf8().constData());
            break;
        }
        archive_entry_set_perm(entry.get(), mode_t(item.mode));
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK)
            fail(QStringLiteral("cannot add %1: %2").arg(item.path, QString::fromUtf8(archive_error_string(writer.get()))));
        if (item.type == SealEntry::Type::file && !item.data.isEmpty()
            && archive_write_data(writer.get(), item.data.constData(), size_t(item.data.size())) != item.data.size())
            fail(QStringLiteral("cannot write ") + item.path);
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        fail(QStringLiteral("cannot finish the zip"));
    return out;
}

NativeUpdateManifest manifestFor(const QByteArray &zip, const QString &product, const QString &version, qint64 build,
                                 const QString &downloadURL, const std::optional<QString> &releaseNotes)
{
    NativeUpdateManifest manifest;
    manifest.schemaVersion = 1;
    manifest.product = product;
    manifest.version = version;
    manifest.build = build;
    manifest.downloadURL = downloadURL;
    manifest.sha256 = QString::fromLatin1(QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex());
    manifest.releaseNotes = releaseNotes;
    return manifest;
}

void checkManifest(const NativeUpdateManifest &manifest)
{
    using Failure = NativeUpdatePolicy::Failure;
    NativeUpdateConfiguration clients;
    clients.product = manifest.product;
    if (const QString host = manifest.downloadAddress().host().toLower(); !host.isEmpty())
        clients.allowedDownloadHosts = {host};
    try {
        NativeUpdatePolicy::validate(manifest, clients);
        if (NativeUpdateManifest::decode(manifest.encode()) != manifest)
            fail(QStringLiteral("the manifest does not read back as written"));
    } catch (const ManifestDecodeError &) {
        fail(QStringLiteral("the manifest would be larger than the %1 bytes a client reads: shorten --release-notes")
                 .arg(NativeUpdateManifest::maxBytes));
    } catch (const NativeUpdatePolicy::Error &error) {
        switch (error.failure()) {
        case Failure::invalidDownloadURL:
            fail(QStringLiteral("--download-url must be an https address naming a host (written \"https://\" exactly): every client "
                                "refuses %1")
                     .arg(manifest.downloadURL));
        case Failure::invalidVersion:
            fail(QStringLiteral("--version must be 1 to %1 printable characters without space at either end, and --build at least 1")
                     .arg(NativeUpdatePolicy::maxVersionLength));
        case Failure::wrongProduct:
        case Failure::invalidSchema:
        case Failure::invalidChecksum:
            break;
        }
        fail(QStringLiteral("every client would refuse the manifest: ") + error.detail());
    }
}

} // namespace NativeAppUpdater::NativeReleaseTool
