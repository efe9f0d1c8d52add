#include "NativeAppUpdater/NativeCodeSignature.h"

#include "NativeAppUpdater/Ed25519.h"
#include "NativeAppUpdater/NativeBundle.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/internal/BundlePaths.h"

#include "Platform/PropertyList/PropertyList.h"

#include <QFile>
#include <QSet>

#include <cstring>

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NativeAppUpdater::NativeCodeSignature {

namespace {

using Failure = NativeUpdateInstaller::Failure;

[[noreturn]] void refuse(const QString &why)
{
    throw NativeUpdateInstaller::Error(Failure::invalidApplication, why);
}

bool verifiesWithAny(const QList<QByteArray> &keys, const QByteArray &message, const QByteArray &signature)
{
    for (const QByteArray &key : keys) {
        if (Ed25519::verify(key, message, signature))
            return true;
    }
    return false;
}

bool writableByOthers(mode_t mode)
{
    return mode & (S_IWGRP | S_IWOTH | S_ISUID | S_ISGID | S_ISVTX);
}

SignatureFiles readSignatureFolder(int rootFd, const NativeUpdateLimits &limits)
{
    detail::UniqueFd folder = detail::openDirectoryAt(rootFd, CodeSeal::signatureFolder);
    struct stat info {};
    if (!folder || ::fstat(folder.get(), &info) != 0 || writableByOthers(info.st_mode))
        refuse(QStringLiteral("the bundle has no usable signature folder"));
    const auto names = detail::listFolder(folder.get());
    const QSet<QByteArray> expected{CodeSeal::sealFile, CodeSeal::signatureFile, CodeSeal::countersignatureFile};
    if (!names || QSet<QByteArray>(names->cbegin(), names->cend()) != expected || names->size() != expected.size())
        refuse(QStringLiteral("the signature folder holds other files than the seal and its signatures"));
    for (const QByteArray &name : *names) {
        struct stat file {};
        if (::fstatat(folder.get(), name.constData(), &file, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(file.st_mode)
            || writableByOthers(file.st_mode))
            refuse(QStringLiteral("unacceptable signature file ") + QString::fromLatin1(name));
    }
    SignatureFiles files;
    const auto seal = detail::readSmallFileAt(folder.get(), CodeSeal::sealFile, limits.sealBytes);
    const auto signature = detail::readSmallFileAt(folder.get(), CodeSeal::signatureFile, Ed25519::signatureBytes);
    const auto countersignature = detail::readSmallFileAt(folder.get(), CodeSeal::countersignatureFile, Ed25519::signatureBytes);
    if (!seal || !signature || !countersignature)
        refuse(QStringLiteral("the seal or a signature cannot be read"));
    files.seal = *seal;
    files.signature = *signature;
    files.countersignature = *countersignature;
    return files;
}

struct Walk {
    const CodeSeal &seal;
    const NativeUpdateLimits &limits;
    QSet<QString> seen;
};

void compareFolder(int dirFd, const QString &prefix, int depth, Walk &walk)
{
    QList<detail::SealedName> names;
    if (const QString why = detail::listSealedFolder(dirFd, prefix, depth, walk.limits.depth, names); !why.isEmpty())
        refuse(why);
    for (const auto &[name, path] : std::as_const(names)) {
        if (walk.seen.size() >= walk.limits.entries)
            refuse(QStringLiteral("too many entries"));
        const SealEntry *entry = walk.seal.find(path);
        if (!entry)
            refuse(QStringLiteral("unsealed entry ") + path);
        struct stat info {};
        if (::fstatat(dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            refuse(QStringLiteral("cannot inspect ") + path);
        switch (entry->type) {
        case SealEntry::Type::directory: {
            if (!S_ISDIR(info.st_mode) || int(info.st_mode & 07777) != entry->mode)
                refuse(QStringLiteral("folder differs from the seal: ") + path);
            detail::UniqueFd child = detail::openDirectoryAt(dirFd, name);
            if (!child)
                refuse(QStringLiteral("cannot open ") + path);
            walk.seen.insert(path);
            compareFolder(child.get(), path, depth + 1, walk);
            break;
        }
        case SealEntry::Type::file: {
            if (!S_ISREG(info.st_mode) || int(info.st_mode & 07777) != entry->mode || info.st_size != entry->size)
                refuse(QStringLiteral("file differs from the seal: ") + path);
            detail::UniqueFd file(::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
            qint64 size = 0;
            const auto digest = file ? detail::sha256OfDescriptor(file.get(), entry->size, &size) : std::nullopt;
            if (!digest || size != entry->size || *digest != entry->sha256)
                refuse(QStringLiteral("file contents differ from the seal: ") + path);
            walk.seen.insert(path);
            break;
        }
        case SealEntry::Type::link: {
            if (!S_ISLNK(info.st_mode))
                refuse(QStringLiteral("expected a link: ") + path);
            QByteArray target(4096, Qt::Uninitialized);
            const ssize_t n = ::readlinkat(dirFd, name.constData(), target.data(), size_t(target.size()));
            if (n <= 0 || n >= target.size() || QFile::decodeName(target.left(n)) != entry->target)
                refuse(QStringLiteral("link differs from the seal: ") + path);
            walk.seen.insert(path);
            break;
        }
        }
    }
}

// Info.plist, read through the bundle's own folder handle.
void checkInfo(int rootFd, const CodeSeal &seal)
{
    const auto bytes = detail::readSmallFileAt(rootFd, NativeBundle::infoFileName, NativeBundle::maxInfoBytes);
    QVariantMap info;
    try {
        Platform::PropertyListLimits limits;
        limits.maxBytes = NativeBundle::maxInfoBytes;
        limits.maxNodes = 10'000;
        if (bytes)
            info = Platform::decodePropertyList(*bytes, limits).toMap();
    } catch (const Platform::PropertyListError &) {
    }
    if (info.isEmpty())
        refuse(QStringLiteral("the bundle's Info.plist cannot be read"));
    const auto text = [&info](const char *key) -> std::optional<QString> {
        const QVariant value = info.value(QLatin1String(key));
        return value.typeId() == QMetaType::QString ? std::optional<QString>(value.toString()) : std::nullopt;
    };
    const SealHeader &header = seal.header();
    if (text("CFBundleIdentifier") != header.identifier)
        refuse(QStringLiteral("Info.plist names another identifier"));
    if (text("CFBundleShortVersionString") != header.version)
        refuse(QStringLiteral("Info.plist names another version"));
    const auto build = text("CFBundleVersion");
    if (!build || parseDecimalInteger(*build) != header.build)
        refuse(QStringLiteral("Info.plist names another build"));
    if (text("CFBundleExecutable") != header.executable)
        refuse(QStringLiteral("Info.plist names another executable"));
}

// Every name below `dirFd` is in the seal, of the sealed kind.
bool onlySealedNames(int dirFd, const QString &prefix, int depth, const CodeSeal &seal, const NativeUpdateLimits &limits, qint64 &count)
{
    QList<detail::SealedName> names;
    if (!detail::listSealedFolder(dirFd, prefix, depth, limits.depth, names).isEmpty())
        return false;
    for (const auto &[name, path] : std::as_const(names)) {
        const SealEntry *entry = seal.find(path);
        struct stat info {};
        if (!entry || ++count > limits.entries || ::fstatat(dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        const bool kindMatches = entry->type == SealEntry::Type::directory ? S_ISDIR(info.st_mode)
                                 : entry->type == SealEntry::Type::file    ? S_ISREG(info.st_mode)
                                                                           : S_ISLNK(info.st_mode);
        if (!kindMatches)
            return false;
        if (entry->type == SealEntry::Type::directory) {
            detail::UniqueFd child = detail::openDirectoryAt(dirFd, name);
            if (!child || !onlySealedNames(child.get(), path, depth + 1, seal, limits, count))
                return false;
        }
    }
    return true;
}

} // namespace

std::optional<CodeSeal> sealIfOnlySealed(int rootFd, const NativeUpdateLimits &limits)
{
    try {
        const SignatureFiles files = readSignatureFolder(rootFd, limits);
        const CodeSeal seal = CodeSeal::parse(files.seal, limits);
        qint64 count = 0;
        if (!onlySealedNames(rootFd, QString(), 1, seal, limits, count))
            return std::nullopt;
        return seal;
    } catch (const UpdaterError &) {
        return std::nullopt;
    } catch (const SealError &) {
        return std::nullopt;
    }
}

QByteArray signatureMessage(const QByteArray &seal)
{
    return QByteArrayLiteral("Kivaro bundle signature\n") + seal;
}

QByteArray countersignatureMessage(const QByteArray &seal)
{
    return QByteArrayLiteral("Kivaro bundle countersignature\n") + seal;
}

void requireTrust(const NativeUpdateConfiguration &configuration)
{
    if (!configuration.trust.isComplete())
        throw NativeUpdateInstaller::Error(Failure::noReleaseKeys, QStringLiteral("no release keys are built in"));
}

CodeSeal verifiedSeal(const SignatureFiles &files, const NativeUpdateConfiguration &configuration, const Expectation &expected)
{
    requireTrust(configuration);
    if (!verifiesWithAny(configuration.trust.signingKeys, signatureMessage(files.seal), files.signature))
        refuse(QStringLiteral("the seal's signature does not verify with a pinned signing key"));
    if (!verifiesWithAny(configuration.trust.countersigningKeys, countersignatureMessage(files.seal), files.countersignature))
        refuse(QStringLiteral("the seal's countersignature does not verify with a pinned release key"));
    CodeSeal seal;
    try {
        seal = CodeSeal::parse(files.seal, configuration.limits);
    } catch (const SealError &error) {
        refuse(QStringLiteral("unacceptable seal: ") + QString::fromUtf8(error.what()));
    }
    const SealHeader &header = seal.header();
    if (header.identifier != configuration.bundleIdentifier)
        refuse(QStringLiteral("sealed for another identifier"));
    if (header.team != configuration.teamIdentifier)
        refuse(QStringLiteral("sealed for another team"));
    if (expected.version && header.version != *expected.version)
        refuse(QStringLiteral("sealed for another version"));
    if (expected.build && header.build != *expected.build)
        refuse(QStringLiteral("sealed for another build"));
    return seal;
}

CodeSeal verifyBundle(const QString &bundlePath, const NativeUpdateConfiguration &configuration, const Expectation &expected)
{
    requireTrust(configuration);
    detail::UniqueFd root = detail::openDirectoryPath(bundlePath);
    if (!root)
        refuse(QStringLiteral("the bundle folder cannot be opened"));
    return verifyOpenBundle(root.get(), configuration, expected);
}

CodeSeal verifyOpenBundle(int rootFd, const NativeUpdateConfiguration &configuration, const Expectation &expected)
{
    requireTrust(configuration);
    struct stat info {};
    if (::fstat(rootFd, &info) != 0 || !S_ISDIR(info.st_mode))
        refuse(QStringLiteral("the bundle folder cannot be opened"));
    if (info.st_uid != ::geteuid() || writableByOthers(info.st_mode))
        refuse(QStringLiteral("the bundle folder belongs to someone else or is writable by others"));
    const CodeSeal seal = verifiedSeal(readSignatureFolder(rootFd, configuration.limits), configuration, expected);
    Walk walk{seal, configuration.limits, {}};
    compareFolder(rootFd, QString(), 1, walk);
    if (walk.seen.size() != seal.entries().size())
        refuse(QStringLiteral("sealed entries are missing"));
    // Everything through the folder's handle: a path could lead elsewhere by now.
    checkInfo(rootFd, seal);
    QByteArray head;
    if (const detail::UniqueFd executable = detail::openFileBelow(rootFd, seal.header().executable)) {
        head.resize(sizeof(Elf64_Ehdr));
        const ssize_t n = ::pread(executable.get(), head.data(), size_t(head.size()), 0);
        head.truncate(n > 0 ? qsizetype(n) : 0);
    }
    if (!isExecutableForThisMachine(head))
        refuse(QStringLiteral("the executable is not an ELF program for this machine"));
    return seal;
}

bool isExecutableForThisMachine(const QByteArray &header)
{
#if defined(__x86_64__)
    constexpr int machine = EM_X86_64;
#elif defined(__aarch64__)
    constexpr int machine = EM_AARCH64;
#elif defined(__i386__)
    constexpr int machine = EM_386;
#else
#error "Name this machine's ELF code for the updater's executable check"
#endif
#if __SIZEOF_POINTER__ == 8
    constexpr unsigned char elfClass = ELFCLASS64;
    using Header = Elf64_Ehdr;
#else
    constexpr unsigned char elfClass = ELFCLASS32;
    using Header = Elf32_Ehdr;
#endif
    if (header.size() < qsizetype(sizeof(Header)))
        return false;
    Header elf;
    std::memcpy(&elf, header.constData(), sizeof elf);
    if (std::memcmp(elf.e_ident, ELFMAG, SELFMAG) != 0 || elf.e_ident[EI_CLASS] != elfClass)
        return false;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (elf.e_ident[EI_DATA] != ELFDATA2LSB)
        return false;
#else
    if (elf.e_ident[EI_DATA] != ELFDATA2MSB)
        return false;
#endif
    return elf.e_machine == machine && (elf.e_type == ET_EXEC || elf.e_type == ET_DYN);
}

} // namespace NativeAppUpdater::NativeCodeSignature
