#include "FuzzTargets.h"

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeUpdateInstaller.h"
#include "NativeAppUpdater/UpdateArchive.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace Kivaro::Fuzz {

// An update archive through the archive reader: its signature files, then, when its seal parses
// (the signatures themselves are left out, a fuzzer never forges them), the sealed extraction
// into a fresh folder. Whatever the bytes, nothing may appear beside the bundle's folder.
int fuzzUpdateArchive(const uint8_t *data, size_t size)
{
    using namespace NativeAppUpdater;
    const QByteArray zip(reinterpret_cast<const char *>(data), qsizetype(size));
    NativeUpdateLimits limits;
    limits.entries = 2000;
    limits.sealBytes = 1024 * 1024;
    limits.fileBytes = 8 * 1024 * 1024;
    limits.unpackedBytes = 16 * 1024 * 1024;
    const QString bundle = QStringLiteral("Kivaro.app");

    NativeCodeSignature::SignatureFiles files;
    try {
        files = UpdateArchive::readSignatureFiles(zip, bundle, limits);
    } catch (const NativeUpdateInstaller::Error &) {
        return 0;
    }
    CodeSeal seal;
    try {
        seal = CodeSeal::parse(files.seal, limits);
    } catch (const SealError &) {
        return 0;
    }
    check(CodeSeal::parse(seal.serialize(), limits).entries() == seal.entries(), "a seal reads back as itself");

    const QString staging = scratchFolder() + QStringLiteral("/staging");
    QDir(staging).removeRecursively();
    check(QDir().mkpath(staging), "the staging folder can be made");
    const int fd = ::open(QFile::encodeName(staging).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    check(fd >= 0, "the staging folder opens");
    try {
        UpdateArchive::extractSealedBundle(zip, bundle, seal, files, fd, limits);
    } catch (const NativeUpdateInstaller::Error &) {
    }
    ::close(fd);
    const QStringList left = QDir(staging).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    check(left.isEmpty() || left == QStringList{bundle}, "nothing is written beside the bundle");
    QDir(staging).removeRecursively();
    return 0;
}

} // namespace Kivaro::Fuzz
