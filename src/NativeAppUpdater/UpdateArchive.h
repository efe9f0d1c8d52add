#pragma once
// Reading an update archive (zip only, through libarchive) from the very bytes whose digest was
// checked. Nothing is read from disk again.
//
// `readSignatureFiles` finds "<bundle>/_CodeSignature/{CodeResources, CodeSignature,
// CodeCountersignature}" without unpacking anything else. `extractSealedBundle` then unpacks the
// bundle into a folder, refusing the whole archive at the first entry that is not exactly what
// the verified seal names: an entry outside "<bundle>/", an absolute path or one with "." or ".."
// components, an entry the seal does not list (or lists as another kind), a second entry for one
// path, a hard link, an encrypted entry, set-id bits, a link whose target differs from the
// sealed one, a file whose size or SHA-256 differs, and any write that would pass through a link
// (every folder is opened without following links, every file created exclusively). Entry
// counts and sizes are capped by the configuration's limits before anything is decompressed
// beyond them, and permission bits come from the seal, never from the archive. Refusals throw
// NativeUpdateInstaller::Error with `invalidApplication` and a detail.

#include "NativeAppUpdater/CodeSeal.h"
#include "NativeAppUpdater/NativeCodeSignature.h"
#include "NativeAppUpdater/NativeUpdateConfiguration.h"

#include <QByteArray>
#include <QString>

namespace NativeAppUpdater::UpdateArchive {

NativeCodeSignature::SignatureFiles readSignatureFiles(const QByteArray &zip, const QString &bundleName,
                                                       const NativeUpdateLimits &limits);

// Creates `bundleName` below `folderFd` (which must not hold it yet) and fills it.
void extractSealedBundle(const QByteArray &zip, const QString &bundleName, const CodeSeal &seal,
                         const NativeCodeSignature::SignatureFiles &files, int folderFd, const NativeUpdateLimits &limits);

} // namespace NativeAppUpdater::UpdateArchive
